// Writes the seed corpus of the fuzz targets: small valid inputs of every kind each target reads.
//
//   fuzz_seeds OUTDIR     makes OUTDIR/<target>/ for pdf_parse, jpeg, jpx, ccitt, jbig2, calculator, raster

#include "Jbig2TestStreams.h"
#include "Jpeg2000Fixtures.h"
#include "JpegFixtures.h"
#include "PdfFixture.h"
#include "TestBitmap.h"
#include "TestFaxEncoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

using namespace fixture;

namespace {

std::string toStd(const QByteArray &a)
{
    return std::string(a.constData(), size_t(a.size()));
}

QByteArray le32(std::int32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(std::uint32_t(v) >> (8 * i));
    return b;
}

// A string literal with its NUL bytes.
template<size_t N>
std::string raw(const char (&s)[N])
{
    return std::string(s, N - 1);
}

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b += char(v);
    return b;
}

QByteArray le16(int v)
{
    return bytesOf({v & 0xff, (v >> 8) & 0xff});
}

class SeedFolder
{
public:
    SeedFolder(const QString &root, const QString &name)
        : m_dir(QDir(root).filePath(name))
    {
        QDir().mkpath(m_dir);
    }
    void add(const QByteArray &bytes)
    {
        QFile file(QDir(m_dir).filePath(QStringLiteral("seed-%1").arg(m_count++, 3, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", qPrintable(file.fileName()));
            std::exit(1);
        }
    }
    int count() const { return m_count; }

private:
    QString m_dir;
    int m_count = 0;
};

struct Bilevel {
    TestBitmap bitmap;
    QByteArray jbig2;
    QByteArray jbig2Globals;
};

std::vector<QByteArray> jpegs()
{
    std::vector<QByteArray> out;
    const JpegStorage storages[] = {JpegStorage::Gray, JpegStorage::YCbCr, JpegStorage::RGB, JpegStorage::CMYK,
                                    JpegStorage::YCCK};
    int i = 0;
    for (JpegStorage storage : storages) {
        JpegFixture f;
        f.width = 9 + i;
        f.height = 7;
        f.storage = storage;
        f.subsampleChroma = i % 2 == 1;
        f.progressive = i == 1 || i == 4;
        f.restartInterval = i == 2 ? 1 : 0;
        f.quality = 75;
        f.densityUnit = i % 3;
        f.xDensity = 72;
        f.yDensity = 96;
        out.push_back(encodeJpeg(gradientSamples(f.width, f.height, inputComponents(storage)), f));
        ++i;
    }
    return out;
}

std::vector<QByteArray> jpeg2000s()
{
    std::vector<QByteArray> out;
    auto component = [](int w, int h, int precision, bool isSigned, int dx, int dy, bool alpha) {
        J2kComponent c;
        c.precision = precision;
        c.isSigned = isSigned;
        c.dx = dx;
        c.dy = dy;
        c.alpha = alpha;
        const int cw = (w + dx - 1) / dx, ch = (h + dy - 1) / dy;
        const int top = isSigned ? (1 << (precision - 1)) : (1 << precision);
        for (int k = 0; k < cw * ch; ++k)
            c.values.push_back((k * 37) % top - (isSigned ? top / 2 : 0));
        return c;
    };
    struct Shape {
        int components;
        J2kSpace space;
        bool jp2;
        int precision;
        bool subsample;
        bool alpha;
        bool isSigned;
    };
    const Shape shapes[] = {
        {1, J2kSpace::Gray, false, 8, false, false, false}, {3, J2kSpace::SRGB, true, 8, false, false, false},
        {3, J2kSpace::SYCC, true, 8, true, false, false},   {4, J2kSpace::CMYK, true, 8, false, false, false},
        {4, J2kSpace::SRGB, true, 8, false, true, false},   {1, J2kSpace::Unspecified, false, 12, false, false, true},
        {2, J2kSpace::Gray, true, 16, false, true, false},  {3, J2kSpace::Unspecified, false, 4, true, false, false},
    };
    for (const Shape &s : shapes) {
        J2kImage image;
        image.width = 11;
        image.height = 6;
        image.space = s.space;
        image.jp2 = s.jp2;
        for (int c = 0; c < s.components; ++c) {
            const bool chroma = s.subsample && c > 0 && c < 3;
            const bool alpha = s.alpha && c == s.components - 1;
            image.components.push_back(
                component(image.width, image.height, s.precision, s.isSigned, chroma ? 2 : 1, chroma ? 2 : 1, alpha));
        }
        out.push_back(encodeJpeg2000(image));
    }
    // A JP2 with a palette box and a resolution box around a plain codestream.
    J2kImage indices;
    indices.width = 5;
    indices.height = 4;
    indices.components.push_back(component(5, 4, 2, false, 1, 1, false));
    const QByteArray codestream = encodeJpeg2000(indices);
    QByteArray pclr;
    pclr += bytesOf({0, 4});        // 4 entries, big-endian
    pclr += char(3);                // 3 columns
    pclr += QByteArray(3, char(7)); // 8-bit unsigned each
    for (int e = 0; e < 4; ++e)
        pclr += bytesOf({e * 60, 255 - e * 60, e * 20});
    QByteArray cmap;
    for (int c = 0; c < 3; ++c)
        cmap += bytesOf({0, 0, 1, c});
    out.push_back(wrapJp2(codestream, 5, 4, 1, 8, 16,
                          jp2Box("pclr", pclr) + jp2Box("cmap", cmap) + jp2ResolutionBox({72, 1, 96, 1, 0, 0}, {})));
    return out;
}

Bilevel bilevel(int w, int h, unsigned seed)
{
    using namespace jbig2test;
    Bilevel b{TestBitmap::randomRuns(w, h, 5, seed), {}, {}};
    const QByteArray t6 = faxEncode(b.bitmap, FaxEncodeOptions{});
    b.jbig2 = segment(0, PageInformation, 1, pageInformation(std::uint32_t(w), std::uint32_t(h)))
              + segment(1, ImmediateLosslessGenericRegion, 1, mmrGenericRegion(b.bitmap, 0, 0, t6))
              + segment(2, EndOfPage, 1, QByteArray());
    return b;
}

// A symbol dictionary in the globals and a text region placing its symbols, plus a page of a
// generic region inside a larger page and a striped page.
std::vector<Bilevel> jbig2Streams()
{
    using namespace jbig2test;
    std::vector<Bilevel> out;
    out.push_back(bilevel(37, 11, 1));

    Bilevel text{TestBitmap(40, 20), {}, segment(1, SymbolDictionary, 0, textSymbolDictionary())};
    text.jbig2 = segment(2, PageInformation, 1, pageInformation(40, 20))
                 + segment(3, ImmediateTextRegion, 1, textRegion(), {1}) + segment(4, EndOfPage, 1, QByteArray());
    out.push_back(text);

    const TestBitmap art = TestBitmap::random(19, 13, 0.3, 5);
    Bilevel inside{TestBitmap(25, 17), {}, {}};
    inside.jbig2 =
        segment(0, PageInformation, 1, pageInformation(25, 17))
        + segment(1, ImmediateLosslessGenericRegion, 1, mmrGenericRegion(art, 3, 2, faxEncode(art, FaxEncodeOptions{})))
        + segment(2, EndOfPage, 1, QByteArray());
    out.push_back(inside);

    const TestBitmap top = TestBitmap::randomRuns(16, 6, 4, 9);
    Bilevel striped{top, {}, {}};
    striped.jbig2 =
        segment(0, PageInformation, 1, pageInformation(16, 0xffffffffu, 0, 0x8000 | 6))
        + segment(1, ImmediateLosslessGenericRegion, 1, mmrGenericRegion(top, 0, 0, faxEncode(top, FaxEncodeOptions{})))
        + segment(2, EndOfStripe, 1, endOfStripe(5)) + segment(3, EndOfPage, 1, QByteArray());
    out.push_back(striped);
    return out;
}

struct FaxCase {
    FaxEncodeOptions options;
    bool blackIs1;
    bool knownRows;
};

const std::vector<FaxCase> &faxCases()
{
    static const std::vector<FaxCase> cases = {
        {{-1, false, false, true}, false, true}, {{-1, false, false, false}, true, true},
        {{0, false, false, true}, false, false}, {{0, true, true, true}, true, true},
        {{2, true, false, true}, false, true},   {{3, true, true, false}, false, true},
        {{-1, true, true, true}, false, false},
    };
    return cases;
}

QByteArray faxParams(const FaxCase &c, int columns, int rows)
{
    const int flags =
        (c.options.eol ? 1 : 0) | (c.options.byteAlign ? 2 : 0) | (c.options.endMarker ? 4 : 0) | (c.blackIs1 ? 8 : 0);
    return le32(c.options.k) + le32(columns) + le32(c.knownRows ? rows : 0) + QByteArray(1, char(flags))
           + QByteArray(1, char(c.options.eol ? 2 : 0)) + QByteArray(2, '\0');
}

void writeCodecSeeds(const QString &root)
{
    SeedFolder jpeg(root, QStringLiteral("jpeg"));
    int t = 0;
    for (const QByteArray &j : jpegs())
        jpeg.add(QByteArray(1, char(t++ % 3)) + j);

    SeedFolder jpx(root, QStringLiteral("jpx"));
    for (const QByteArray &j : jpeg2000s())
        jpx.add(j);

    SeedFolder ccitt(root, QStringLiteral("ccitt"));
    unsigned seed = 1;
    for (const FaxCase &c : faxCases()) {
        const TestBitmap bitmap = TestBitmap::randomRuns(29 + int(seed) * 7, 9, 5, seed);
        ccitt.add(faxParams(c, bitmap.width, bitmap.height) + faxEncode(bitmap, c.options));
        ++seed;
    }

    SeedFolder jbig2(root, QStringLiteral("jbig2"));
    for (const Bilevel &b : jbig2Streams())
        jbig2.add(le16(int(b.jbig2Globals.size())) + b.jbig2Globals + b.jbig2);

    SeedFolder calculator(root, QStringLiteral("calculator"));
    for (const char *program :
         {"{ 1 exch sub }", "{ exch dup 0.5 gt { pop 1 } { 2 mul } ifelse exch 0 3 1 roll 2 copy 1 index }",
          "{ 2 bitshift 3 and 4 idiv 7 mod cvr sqrt ln atan sin cos round truncate cvi not true xor }"})
        calculator.add(QByteArray("\x01\x03") + program);

    SeedFolder raster(root, QStringLiteral("raster"));
    auto sizes = [](int selector, int w, int h) { return QByteArray(1, char(selector)) + le32(w) + le32(h); };
    const QByteArray ramp = [] {
        QByteArray r;
        for (int i = 0; i < 256; ++i)
            r += char(i * 7);
        return r;
    }();
    // makeImageFromSamples: gray 1-bit, RGB 8-bit, RGBA, CMYK 16-bit, padded 4-bit gray.
    const struct {
        int w, h, bpc, mode, bytes;
    } samples[] = {{13, 5, 1, 2, 10}, {4, 3, 8, 0, 36}, {4, 3, 8, 0, 48}, {3, 2, 16, 1, 48}, {3, 4, 4, 2, 8}};
    int decodeBits = 0;
    for (const auto &s : samples)
        raster.add(sizes(0 | (decodeBits++ << 5), s.w, s.h) + char(s.bpc) + char(s.mode) + le16(0)
                   + ramp.left(s.bytes));
    // expandIndexedImage: 1, 2, 4 and 8-bit indices into gray, RGB and CMYK lookups.
    const struct {
        int w, h, bits, model, entries;
    } indexed[] = {{9, 3, 1, 0, 2}, {5, 4, 2, 1, 4}, {7, 2, 4, 2, 16}, {6, 3, 8, 1, 200}};
    for (const auto &x : indexed) {
        const int lookup = x.entries * (x.model == 0 ? 1 : x.model == 1 ? 3 : 4);
        const int rowBytes = (x.w * x.bits + 7) / 8;
        raster.add(sizes(1, x.w, x.h) + char(x.bits) + char(x.model) + le16(lookup) + ramp.repeated(4).left(lookup)
                   + ramp.left(rowBytes * x.h));
    }
    // unpackSamples: every depth with 1, 3 and 4 components.
    const int depths[] = {1, 2, 4, 8, 16};
    int i = 0;
    for (int bpc : depths) {
        const int components = i % 3 == 0 ? 1 : i % 3 == 1 ? 3 : 4;
        const int w = 5, h = 3;
        const int rowBytes = (w * components * bpc + 7) / 8;
        raster.add(sizes(2 | ((i % 4) << 5), w, h) + char(components) + char(bpc) + ramp.left(rowBytes * h));
        ++i;
    }
}

// PDFs: every filter, colour space and mask kind the image construction knows, a few images per
// file so that each seed stays small.
void writePdfSeeds(const QString &root)
{
    SeedFolder pdfs(root, QStringLiteral("pdf_parse"));
    auto addPdf = [&](const std::function<void(PdfFixture &)> &build) {
        PdfFixture pdf;
        build(pdf);
        pdfs.add(QByteArray::fromStdString(pdf.write(QString())));
    };
    const std::string rgb = toStd(QByteArray(4 * 3 * 3, '\x50') + QByteArray(12, '\xa0'));
    const std::string gray = raw("\x00\x40\x80\xc0\xff\x10\x20\x30\x40\x50\x60\x70");

    addPdf([&](PdfFixture &pdf) {
        pdf.setInfo({{"Title", string("seed")},
                     {"Author", string("\xfe\xff\x00Z\x00e")},
                     {"CreationDate", string("D:20240102030405+01'00'")},
                     {"ModDate", string("D:1999")}});
        pdf.page({{"/A", pdf.image(4, 4, 8, name("DeviceRGB"), rgb, {"FlateDecode"})},
                  {"/B", pdf.image(4, 3, 8, name("DeviceGray"), gray, {"LZWDecode"})}});
        pdf.page({{"/C", pdf.image(4, 3, 8, name("DeviceGray"), gray, {"ASCIIHexDecode"})},
                  {"/D", pdf.image(4, 3, 8, name("DeviceGray"), gray, {"ASCII85Decode", "RunLengthDecode"})}});
    });
    addPdf([&](PdfFixture &pdf) {
        const std::string png = pngPredict(rgb, 4, 3, 8, 4);
        const std::string tiff = tiffPredict(rgb, 4, 3, 8);
        // A 4 x 4 RGB image of the given predicted rows, with that predictor.
        const auto predicted = [&pdf](const std::string &rows, int predictor) {
            return pdf.stream(flate(rows), {{"Type", name("XObject")},
                                            {"Subtype", name("Image")},
                                            {"Width", integer(4)},
                                            {"Height", integer(4)},
                                            {"BitsPerComponent", integer(8)},
                                            {"ColorSpace", name("DeviceRGB")},
                                            {"Filter", name("FlateDecode")},
                                            {"DecodeParms", dict({{"Predictor", integer(predictor)},
                                                                  {"Colors", integer(3)},
                                                                  {"Columns", integer(4)}})}});
        };
        pdf.page({{"/P", predicted(png, 15)}, {"/T", predicted(tiff, 2)}});
    });
    // Inline, annotation and pattern images (the all-images walk), and a real RGB profile.
    addPdf([&](PdfFixture &pdf) {
        QFile file(QStringLiteral("/usr/share/color/icc/ghostscript/ps_rgb.icc"));
        const std::string profile = file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "no profile";
        Obj page = pdf.page(
            {{"/A", pdf.image(4, 4, 8, array({name("ICCBased"), pdf.stream(profile, {{"N", integer(3)}})}), rgb)}});
        page.getKey("/Contents")
            .replaceStreamData("/A Do BI /W 2 /H 2 /BPC 8 /CS /G /F /AHx ID 10203040> EI", Obj::newNull(),
                               Obj::newNull());
        const Obj box = array({integer(0), integer(0), integer(4), integer(4)});
        const Obj pattern = pdf.stream(
            "/T Do",
            {{"PatternType", integer(1)},
             {"PaintType", integer(1)},
             {"TilingType", integer(1)},
             {"BBox", box},
             {"XStep", integer(4)},
             {"YStep", integer(4)},
             {"Resources", dict({{"XObject", dict({{"/T", pdf.image(4, 3, 8, name("DeviceGray"), gray)}})}})}});
        page.getKey("/Resources").replaceKey("/Pattern", dict({{"/P", pattern}}));
        page.replaceKey(
            "/Annots",
            array({dict({{"Subtype", name("Stamp")},
                         {"Rect", box},
                         {"AP", dict({{"N", pdf.form({{"/S", pdf.image(3, 4, 8, name("DeviceGray"), gray)}})}})}})}));
    });
    // Colour spaces and depths.
    addPdf([&](PdfFixture &pdf) {
        Obj icc = pdf.stream(flate("not a profile"),
                             {{"N", integer(3)}, {"Alternate", name("DeviceRGB")}, {"Filter", name("FlateDecode")}});
        Obj tint = pdf.stream("{ pop 0 0 0 }", {{"FunctionType", integer(4)}});
        pdf.page({{"/I", pdf.image(4, 4, 8, array({name("ICCBased"), icc}), rgb)},
                  {"/K", pdf.image(3, 2, 8, name("DeviceCMYK"), std::string(24, '\x33'), {"FlateDecode"},
                                   {{"Decode", array({integer(1), integer(0), integer(1), integer(0), integer(1),
                                                      integer(0), integer(1), integer(0)})}})},
                  {"/S", pdf.image(4, 3, 8, array({name("Separation"), name("Spot"), name("DeviceCMYK"), tint}), gray)},
                  {"/N",
                   pdf.image(2, 2, 8,
                             array({name("DeviceN"), array({name("Cyan"), name("Magenta")}), name("DeviceCMYK"), tint}),
                             "\x10\x20\x30\x40\x50\x60\x70\x80")}});
        pdf.page(
            {{"/L",
              pdf.image(2, 1, 8,
                        array({name("Lab"), dict({{"WhitePoint", array({real(0.9642), integer(1), real(0.8249)})}})}),
                        "\x80\x80\x80\x40\x20\xe0")},
             {"/R",
              pdf.image(2, 2, 16,
                        array({name("CalRGB"), dict({{"WhitePoint", array({real(0.95), integer(1), real(1.09)})}})}),
                        std::string(24, '\x7f'))},
             {"/G", pdf.image(7, 3, 1, name("DeviceGray"), "\xaa\x55\xf0\x0f\xcc\x33", {},
                              {{"Decode", array({integer(1), integer(0)})}})},
             {"/H", pdf.image(5, 2, 4, name("DeviceGray"), "\x01\x23\x45\x67\x89\xab")}});
    });
    addPdf([&](PdfFixture &pdf) {
        std::string palette;
        for (int i = 0; i < 16; ++i)
            palette += std::string{char(i * 16), char(255 - i * 16), char(i * 5)};
        Obj lookup = pdf.stream(asciiHex(palette.substr(0, 12)), {{"Filter", name("ASCIIHexDecode")}});
        pdf.page(
            {{"/X", pdf.image(6, 2, 4, array({name("Indexed"), name("DeviceRGB"), integer(15), string(palette)}),
                              "\x01\x23\x45\x67\x89\xab")},
             {"/Y",
              pdf.image(5, 2, 2, array({name("Indexed"), name("DeviceRGB"), integer(3), lookup}), "\x1b\x80\xe4\x40")},
             {"/Z", pdf.image(3, 2, 8,
                              array({name("Indexed"), name("DeviceCMYK"), integer(1),
                                     string(raw("\x00\x10\x20\x30\xff\xee\xdd\xcc"))}),
                              raw("\x00\x01\x01\x00\x05\x00"), {"FlateDecode"})},
             {"/W", pdf.image(8, 1, 1, array({name("Indexed"), name("DeviceGray"), integer(1), string("\x20\xe0")}),
                              "\xa5")}});
    });
    // Spot colours: every tint function type, an Indexed lookup over a Separation.
    addPdf([&](PdfFixture &pdf) {
        auto pairs = [](int n) {
            std::vector<Obj> v;
            for (int i = 0; i < n; ++i)
                v.insert(v.end(), {integer(0), integer(1)});
            return array(v);
        };
        auto separation = [&](const char *alternate, Obj tint) {
            return array({name("Separation"), name("Spot"), name(alternate), tint});
        };
        Obj inverse =
            pdf.stream("{ 1 exch sub }", {{"FunctionType", integer(4)}, {"Domain", pairs(1)}, {"Range", pairs(1)}});
        Obj sampled = pdf.stream(raw("\xff\xff\xff\x00\x00\xff"), {{"FunctionType", integer(0)},
                                                                   {"Domain", pairs(1)},
                                                                   {"Range", pairs(3)},
                                                                   {"Size", array({integer(2)})},
                                                                   {"BitsPerSample", integer(8)}});
        Obj exponential = dict({{"FunctionType", integer(2)},
                                {"Domain", pairs(1)},
                                {"C0", array({integer(0), integer(0), integer(0), integer(0)})},
                                {"C1", array({integer(0), integer(1), integer(0), integer(0)})},
                                {"N", integer(2)}});
        Obj stitched = dict({{"FunctionType", integer(3)},
                             {"Domain", pairs(1)},
                             {"Functions", array({exponential, exponential})},
                             {"Bounds", array({real(0.5)})},
                             {"Encode", pairs(2)}});
        Obj twoInks = array({name("DeviceN"), array({name("A"), name("B")}), name("DeviceRGB"),
                             pdf.stream("{ exch dup 0.5 gt { pop 1 } { 2 mul } ifelse exch 0 }",
                                        {{"FunctionType", integer(4)}, {"Domain", pairs(2)}, {"Range", pairs(3)}})});
        pdf.page({{"/S", pdf.image(4, 1, 4, separation("DeviceGray", inverse), "\x0f\x80")},
                  {"/T", pdf.image(3, 1, 8, separation("DeviceRGB", sampled), raw("\x00\xff\x80"), {"FlateDecode"})},
                  {"/U", pdf.image(3, 1, 8, separation("DeviceCMYK", stitched), raw("\x00\xff\x80"))},
                  {"/V", pdf.image(2, 1, 8, twoInks, raw("\x33\xff\xcc\x00"))},
                  {"/W", pdf.image(2, 1, 8,
                                   array({name("Indexed"), separation("DeviceGray", inverse), integer(1),
                                          string(raw("\x00\xff"))}),
                                   raw("\x01\x00"))}});
    });
    // Masks, forms and shared resources.
    addPdf([&](PdfFixture &pdf) {
        Obj soft = pdf.image(4, 4, 8, name("DeviceGray"), std::string(16, '\x80'), {"FlateDecode"});
        Obj stencil = pdf.stream("\x40\x80", {{"Type", name("XObject")},
                                              {"Subtype", name("Image")},
                                              {"Width", integer(2)},
                                              {"Height", integer(2)},
                                              {"ImageMask", boolean(true)}});
        Obj masked = pdf.image(4, 4, 8, name("DeviceRGB"), rgb, {}, {{"SMask", soft}});
        Obj form = pdf.form({{"/In", masked}, {"/St", stencil}});
        pdf.page(
            {{"/F", form},
             {"/M", pdf.image(4, 4, 8, name("DeviceRGB"), rgb, {}, {{"Mask", stencil}})},
             {"/C", pdf.image(4, 4, 8, name("DeviceRGB"), rgb, {}, {{"Mask", array({integer(0), integer(90)})}})}});
        Obj node = pdf.pageTreeNode();
        pdf.page({{"/F", form}}, node);
    });
    // The still-coded formats.
    int n = 0;
    for (const QByteArray &j : jpegs()) {
        if (n++ % 2 != 0)
            continue;
        addPdf([&](PdfFixture &pdf) {
            Obj space = name(n == 5 ? "DeviceCMYK" : n == 1 ? "DeviceGray" : "DeviceRGB");
            pdf.page({{"/J", pdf.image(8 + n, 7, 8, space, toStd(j), {"DCTDecode"})}});
        });
    }
    const std::vector<QByteArray> jpx = jpeg2000s();
    addPdf([&](PdfFixture &pdf) {
        pdf.page({{"/J", pdf.image(11, 6, 8, name("DeviceGray"), toStd(jpx[0]), {"JPXDecode"})},
                  {"/K",
                   pdf.image(11, 6, 8, name("DeviceRGB"), toStd(jpx[1]), {"JPXDecode"}, {{"SMaskInData", integer(1)}})},
                  {"/L", pdf.stream(toStd(jpx[4]), {{"Type", name("XObject")},
                                                    {"Subtype", name("Image")},
                                                    {"Width", integer(11)},
                                                    {"Height", integer(6)},
                                                    {"Filter", name("JPXDecode")}})}});
    });
    // CCITT and JBIG2.
    int c = 0;
    for (const FaxCase &fax : faxCases()) {
        if (c++ % 2 != 0)
            continue;
        addPdf([&](PdfFixture &pdf) {
            const TestBitmap bitmap = TestBitmap::randomRuns(23, 9, 4, unsigned(c));
            Dict parms{{"K", integer(fax.options.k)},
                       {"Columns", integer(23)},
                       {"BlackIs1", boolean(fax.blackIs1)},
                       {"EndOfLine", boolean(fax.options.eol)},
                       {"EncodedByteAlign", boolean(fax.options.byteAlign)},
                       {"EndOfBlock", boolean(fax.options.endMarker)}};
            if (fax.knownRows)
                parms["Rows"] = integer(9);
            pdf.page({{"/F", pdf.image(23, 9, 1, name("DeviceGray"), toStd(faxEncode(bitmap, fax.options)),
                                       {"CCITTFaxDecode"}, {{"DecodeParms", dict(parms)}})}});
        });
    }
    for (const Bilevel &b : jbig2Streams()) {
        addPdf([&](PdfFixture &pdf) {
            Dict extra;
            if (!b.jbig2Globals.isEmpty())
                extra["DecodeParms"] = dict({{"JBIG2Globals", pdf.stream(toStd(b.jbig2Globals))}});
            pdf.page({{"/B", pdf.image(b.bitmap.width, b.bitmap.height, 1, name("DeviceGray"), toStd(b.jbig2),
                                       {"JBIG2Decode"}, extra)}});
        });
    }
    // An encrypted file that opens with the empty password.
    {
        PdfFixture pdf;
        pdf.page({{"/A", pdf.image(4, 4, 8, name("DeviceRGB"), rgb, {"FlateDecode"})}});
        WriteOptions options;
        options.encrypt = true;
        options.aes256 = false;
        pdfs.add(QByteArray::fromStdString(pdf.write(QString(), options)));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTDIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    writeCodecSeeds(root);
    writePdfSeeds(root);
    QTextStream(stdout) << "seeds written to " << root << '\n';
    return 0;
}
