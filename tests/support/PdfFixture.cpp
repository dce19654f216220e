#include "PdfFixture.h"

#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_RunLength.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFWriter.hh>

#include <QDir>
#include <QFile>

#include <cstdint>
#include <random>
#include <stdexcept>

namespace fixture {

namespace {
std::string slashed(const std::string &n)
{
    return n.empty() || n[0] != '/' ? "/" + n : n;
}
} // namespace

Obj name(const std::string &n)
{
    return QPDFObjectHandle::newName(slashed(n));
}
Obj integer(long long v)
{
    return QPDFObjectHandle::newInteger(v);
}
Obj real(double v)
{
    return QPDFObjectHandle::newReal(v, 6);
}
Obj boolean(bool v)
{
    return QPDFObjectHandle::newBool(v);
}
Obj string(const std::string &bytes)
{
    return QPDFObjectHandle::newString(bytes);
}
Obj array(const std::vector<Obj> &items)
{
    return QPDFObjectHandle::newArray(items);
}
Obj numbers(const std::vector<double> &values)
{
    std::vector<Obj> items;
    for (double v : values)
        items.push_back(real(v));
    return array(items);
}
Obj dict(const Dict &items)
{
    std::map<std::string, QPDFObjectHandle> m;
    for (const auto &[k, v] : items)
        m[slashed(k)] = v;
    return QPDFObjectHandle::newDictionary(m);
}

namespace {
// Runs bytes through one of the PDF library's encoding pipelines.
template<typename Encoder, typename... Args>
std::string encoded(const std::string &data, Args... args)
{
    std::string out;
    Pl_String sink("sink", nullptr, out);
    Encoder encoder("encoder", &sink, args...);
    encoder.write(reinterpret_cast<const unsigned char *>(data.data()), data.size());
    encoder.finish();
    return out;
}
} // namespace

std::string flate(const std::string &data)
{
    return encoded<Pl_Flate>(data, Pl_Flate::a_deflate);
}
std::string runLength(const std::string &data)
{
    return encoded<Pl_RunLength>(data, Pl_RunLength::a_encode);
}
std::string asciiHex(const std::string &data)
{
    return QByteArray::fromStdString(data).toHex().toUpper().toStdString() + '>';
}

std::string ascii85(const std::string &data)
{
    std::string out;
    for (size_t i = 0; i < data.size(); i += 4) {
        const size_t n = std::min<size_t>(4, data.size() - i);
        std::uint32_t v = 0;
        for (size_t j = 0; j < 4; ++j)
            v = v << 8 | (j < n ? static_cast<unsigned char>(data[i + j]) : 0u);
        if (n == 4 && v == 0) {
            out += 'z';
            continue;
        }
        char group[5];
        for (int j = 4; j >= 0; --j, v /= 85)
            group[j] = char('!' + v % 85);
        out.append(group, n + 1);
    }
    return out + "~>";
}

std::string lzw(const std::string &data, bool earlyChange)
{
    // A plain LZW coder; the table starts again (clear code) before it is full.
    std::map<std::string, int> table;
    std::string out;
    unsigned long bits = 0;
    int pending = 0, width = 9, next = 258;
    auto put = [&](int code) {
        bits = bits << width | unsigned(code);
        for (pending += width; pending >= 8; pending -= 8)
            out += char((bits >> (pending - 8)) & 0xff);
    };
    auto clear = [&] {
        put(256);
        table.clear();
        for (int c = 0; c < 256; ++c)
            table[std::string(1, char(c))] = c;
        next = 258;
        width = 9;
    };
    auto grow = [&] {
        const int n = ++next + (earlyChange ? 1 : 0);
        width = n > 2048 ? 12 : n > 1024 ? 11
                            : n > 512    ? 10
                                         : 9;
    };
    clear();
    std::string w;
    for (char c : data) {
        if (table.count(w + c)) {
            w += c;
            continue;
        }
        put(table[w]);
        table[w + c] = next;
        grow();
        if (next >= 4094)
            clear();
        w = std::string(1, c);
    }
    if (!w.empty()) {
        put(table[w]);
        grow();
    }
    put(257);
    if (pending > 0)
        out += char((bits << (8 - pending)) & 0xff);
    return out;
}

std::string pngPredict(const std::string &data, int columns, int colors, int bpc, int pngType)
{
    const size_t rowBytes = (size_t(columns) * colors * bpc + 7) / 8;
    const size_t bpp = std::max<size_t>(1, size_t(colors) * bpc / 8);
    std::string out, prev(rowBytes, '\0');
    for (size_t r = 0; r * rowBytes < data.size(); ++r) {
        std::string row = data.substr(r * rowBytes, rowBytes);
        row.resize(rowBytes, '\0');
        out += char(pngType);
        for (size_t i = 0; i < rowBytes; ++i) {
            auto at = [](const std::string &s, size_t k) { return int(static_cast<unsigned char>(s[k])); };
            const int a = i >= bpp ? at(row, i - bpp) : 0, b = at(prev, i), c = i >= bpp ? at(prev, i - bpp) : 0;
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int paeth = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
            const int pred[] = {0, a, b, (a + b) / 2, paeth};
            out += char((at(row, i) - pred[pngType]) & 0xff);
        }
        prev = row;
    }
    return out;
}

std::string tiffPredict(const std::string &data, int columns, int colors, int /*bpc: 8 only*/)
{
    const size_t rowBytes = size_t(columns) * colors;
    std::string out = data;
    for (size_t i = 0; i < data.size(); ++i)
        if (i % rowBytes >= size_t(colors))
            out[i] = char(data[i] - data[i - colors]);
    return out;
}

PdfFixture::PdfFixture()
    : m_pdf(std::make_shared<QPDF>())
{
    m_pdf->emptyPDF();
}

Obj PdfFixture::catalog()
{
    return m_pdf->getRoot();
}
Obj PdfFixture::pagesRoot()
{
    return m_pdf->getRoot().getKey("/Pages");
}

Obj PdfFixture::stream(const std::string &bytes, const Dict &dictionary)
{
    Obj s = m_pdf->newStream(bytes);
    Obj d = s.getDict();
    for (const auto &[k, v] : dictionary)
        d.replaceKey(slashed(k), v);
    return s;
}

Obj PdfFixture::image(int width, int height, int bpc, const Obj &colorSpace, const std::string &samples,
                      const std::vector<std::string> &filters, const Dict &extra)
{
    std::string data = samples;
    // PDF lists filters in decoding order, so the last one was applied first.
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
        const std::string &f = *it;
        if (f == "FlateDecode" || f == "Fl")
            data = flate(data);
        else if (f == "ASCIIHexDecode" || f == "AHx")
            data = asciiHex(data);
        else if (f == "ASCII85Decode" || f == "A85")
            data = ascii85(data);
        else if (f == "RunLengthDecode" || f == "RL")
            data = runLength(data);
        else if (f == "LZWDecode" || f == "LZW")
            data = lzw(data);
        // Anything else (DCT, JPX, CCITT, JBIG2): samples are already coded.
    }
    Dict d{{"Type", name("XObject")}, {"Subtype", name("Image")}, {"Width", integer(width)}, {"Height", integer(height)}};
    if (bpc > 0)
        d["BitsPerComponent"] = integer(bpc);
    if (Obj cs = colorSpace; cs.isInitialized() && !cs.isNull())
        d["ColorSpace"] = colorSpace;
    if (filters.size() == 1) {
        d["Filter"] = name(filters[0]);
    } else if (!filters.empty()) {
        std::vector<Obj> names;
        for (const auto &f : filters)
            names.push_back(name(f));
        d["Filter"] = array(names);
    }
    for (const auto &[k, v] : extra)
        d[k] = v;
    return stream(data, d);
}

namespace {

// A content stream that paints every XObject of the resources once, as a
// real page or form does, so extractors that follow the content find them.
std::string paintAll(const Dict &xobjects)
{
    std::string content;
    for (const auto &[key, value] : xobjects)
        content += "q 100 0 0 100 0 0 cm " + slashed(key) + " Do Q\n";
    return content.empty() ? "q Q\n" : content;
}

} // namespace

Obj PdfFixture::form(const Dict &xobjects, const Dict &extra)
{
    Dict d{{"Type", name("XObject")}, {"Subtype", name("Form")}, {"BBox", array({integer(0), integer(0), integer(10), integer(10)})}, {"Resources", dict({{"XObject", dict(xobjects)}})}};
    for (const auto &[k, v] : extra)
        d[k] = v;
    return stream(paintAll(xobjects), d);
}

Obj PdfFixture::page(const Dict &xobjects, Obj parent)
{
    if (parent.isNull() || !parent.isInitialized())
        parent = pagesRoot();
    Dict d{{"Type", name("Page")}, {"Parent", parent}, {"MediaBox", array({integer(0), integer(0), integer(612), integer(792)})}, {"Contents", stream(paintAll(xobjects))}};
    if (!xobjects.empty())
        d["Resources"] = dict({{"XObject", dict(xobjects)}});
    Obj p = m_pdf->makeIndirectObject(dict(d));
    Obj kids = parent.getKey("/Kids");
    if (!kids.isArray()) {
        kids = QPDFObjectHandle::newArray();
        parent.replaceKey("/Kids", kids);
    }
    kids.appendItem(p);
    parent.replaceKey("/Count", integer(kids.getArrayNItems()));
    return p;
}

Obj PdfFixture::pageTreeNode(Obj parent, const Dict &extra)
{
    if (parent.isNull() || !parent.isInitialized())
        parent = pagesRoot();
    Dict d{{"Type", name("Pages")}, {"Parent", parent}, {"Kids", array({})}, {"Count", integer(0)}};
    for (const auto &[k, v] : extra)
        d[k] = v;
    Obj node = m_pdf->makeIndirectObject(dict(d));
    Obj kids = parent.getKey("/Kids");
    kids.appendItem(node);
    return node;
}

void PdfFixture::setKids(Obj node, const std::vector<Obj> &kids)
{
    node.replaceKey("/Kids", array(kids));
    node.replaceKey("/Count", integer(long(kids.size())));
}

void PdfFixture::setInfo(const Dict &entries)
{
    Obj info = m_pdf->makeIndirectObject(dict(entries));
    m_pdf->getTrailer().replaceKey("/Info", info);
}

std::string PdfFixture::write(const QString &path, const WriteOptions &options)
{
    QPDFWriter writer(*m_pdf);
    writer.setOutputMemory();
    writer.setStreamDataMode(qpdf_s_preserve);
    writer.setObjectStreamMode(qpdf_o_disable);
    writer.setStaticID(true);
    if (!options.version.empty())
        writer.forcePDFVersion(options.version);
    if (options.encrypt) {
        if (options.aes256) {
            writer.setR6EncryptionParameters(options.userPassword.c_str(), options.ownerPassword.c_str(), true, true,
                                             true, true, true, true, qpdf_r3p_full, true);
        } else {
            writer.setR4EncryptionParametersInsecure(options.userPassword.c_str(), options.ownerPassword.c_str(), true,
                                                     true, true, true, true, true, qpdf_r3p_full, true, true);
        }
    }
    writer.write();
    std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
    std::string bytes(reinterpret_cast<const char *>(buffer->getBuffer()), buffer->getSize());
    if (!path.isEmpty() && !writeFile(path, bytes))
        throw std::runtime_error("cannot write fixture file");
    return bytes;
}

bool writeFile(const QString &path, const std::string &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

std::string sampleBytes(size_t n)
{
    std::mt19937 rng(7);
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char(i % 7 == 0 ? rng() & 0xff : (i / 3) & 0xff);
    return s;
}

std::string repeated(const std::string &part, int times)
{
    return QByteArray::fromStdString(part).repeated(times).toStdString();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace fixture
