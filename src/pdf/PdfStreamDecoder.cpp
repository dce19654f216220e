#include "PdfStreamDecoder.h"

#include "pdf/filters/CcittFaxDecoder.h"
#include "pdf/filters/Jbig2Decoder.h"
#include "pdf/filters/Jbig2StreamScan.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <cmath>
#include <functional>
#include <exception>
#include <stdexcept>
#include <string_view>

namespace zembrix {

namespace {

// Collects a pipeline's output and refuses to grow past a limit. Throwing
// from write() makes the PDF library stop decoding at once.
class LimitedBuffer final : public Pipeline
{
public:
    explicit LimitedBuffer(qint64 limit)
        : Pipeline("limited buffer", nullptr)
        , m_limit(limit)
    {
    }
    void write(unsigned char const *data, size_t len) override
    {
        if (len > size_t(m_limit) || qint64(len) > m_limit - m_data.size()) {
            m_overflow = true;
            throw std::length_error("decoded stream passes its size limit");
        }
        m_data.append(reinterpret_cast<const char *>(data), qsizetype(len));
    }
    void finish() override {}

    QByteArray m_data;
    qint64 m_limit;
    bool m_overflow = false;
};

bool isGeneralFilter(const QByteArray &name)
{
    return name == "FlateDecode" || name == "LZWDecode" || name == "ASCII85Decode" || name == "ASCIIHexDecode"
           || name == "RunLengthDecode";
}

std::int32_t intParam(const PdfObject &parms, const char *key, std::int32_t fallback)
{
    std::int32_t v = 0;
    if (parms.getIntegerEntry(key, &v))
        return v;
    double d = 0;
    if (parms.get(key).getNumber(&d) && std::isfinite(d) && std::fabs(d) < 2e9)
        return std::int32_t(d);
    return fallback;
}

bool boolParam(const PdfObject &parms, const char *key, bool fallback)
{
    bool v = false;
    return parms.getBooleanEntry(key, &v) ? v : fallback;
}

// Predictor parameters the decoder would allocate rows for; refused when a
// row could not be reasonable, before the library sees them.
bool predictorParamsAcceptable(const PdfObject &parms, qint64 maxBytes)
{
    const std::int32_t predictor = intParam(parms, "Predictor", 1);
    if (predictor < 2)
        return true;
    const qint64 colors = intParam(parms, "Colors", 1);
    const qint64 bpc = intParam(parms, "BitsPerComponent", 8);
    const qint64 columns = intParam(parms, "Columns", 1);
    if (colors < 1 || colors > 64 || columns < 1)
        return false;
    if (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16)
        return false;
    const qint64 rowBytes = (columns * colors * bpc + 7) / 8; // fits: columns < 2^31
    return rowBytes <= std::min<qint64>(maxBytes, qint64(64) << 20);
}

// Copies the scalar parameters the general filters read into a new direct
// dictionary, so the scratch stream refers to nothing of the document.
QPDFObjectHandle copyGeneralParms(const PdfObject &parms)
{
    QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
    for (const char *key : {"Predictor", "Colors", "BitsPerComponent", "Columns", "EarlyChange"}) {
        std::int32_t v = 0;
        PdfObject entry = parms.get(key);
        double d = 0;
        if (entry.getInteger(&v))
            dict.replaceKey(std::string("/") + key, QPDFObjectHandle::newInteger(v));
        else if (entry.getNumber(&d) && std::isfinite(d) && std::fabs(d) < 2e9)
            dict.replaceKey(std::string("/") + key, QPDFObjectHandle::newInteger(static_cast<long long>(d)));
    }
    return dict;
}

// Gives a pipeline's output to a function as it comes and refuses to pass a
// limit, as LimitedBuffer does, without keeping it.
class ForwardingSink final : public Pipeline
{
public:
    ForwardingSink(qint64 limit, const std::function<void(QByteArrayView)> &sink)
        : Pipeline("forwarding sink", nullptr)
        , m_limit(limit)
        , m_sink(sink)
    {
    }
    void write(unsigned char const *data, size_t len) override
    {
        if (len > size_t(m_limit) || qint64(len) > m_limit - m_total) {
            m_overflow = true;
            throw std::length_error("decoded stream passes its size limit");
        }
        m_total += qint64(len);
        m_sink(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(len)));
    }
    void finish() override {}

    qint64 m_limit;
    qint64 m_total = 0;
    bool m_overflow = false;
    const std::function<void(QByteArrayView)> &m_sink;
};

// Runs a run of general filters through the PDF library's own decoders, on a
// scratch stream that holds only these bytes and these filters, into `out`.
// False when the parameters are refused or the library did not start. A
// decoder that stops on bad data, or warns about it, notes its cause.
bool pipeGeneral(const QByteArray &input, const QList<PdfFilterStep> &steps, qint64 maxBytes, Pipeline &out,
                 DecodeCause *cause = nullptr)
{
    for (const PdfFilterStep &step : steps)
        if (!predictorParamsAcceptable(step.parms, maxBytes))
            return false;
    bool attempted = false;
    try {
        QPDF scratch;
        scratch.setSuppressWarnings(true);
        scratch.emptyPDF();
        QPDFObjectHandle stream = scratch.newStream(std::string(input.constData(), size_t(input.size())));
        QPDFObjectHandle filters = QPDFObjectHandle::newArray();
        QPDFObjectHandle parms = QPDFObjectHandle::newArray();
        for (const PdfFilterStep &step : steps) {
            filters.appendItem(QPDFObjectHandle::newName("/" + step.name.toStdString()));
            parms.appendItem(step.parms.type() == PdfTypeDictionary ? copyGeneralParms(step.parms)
                                                                    : QPDFObjectHandle::newNull());
        }
        QPDFObjectHandle dict = stream.getDict();
        dict.replaceKey("/Filter", filters);
        dict.replaceKey("/DecodeParms", parms);
        if (!stream.pipeStreamData(&out, &attempted, 0, qpdf_dl_specialized, true, false) || scratch.anyWarnings())
            noteDecodeCause(cause, DecodeCause::DamagedFile);
    } catch (const std::length_error &) {
        // The size limit: no damage.
    } catch (const std::exception &e) {
        // Falls through: the output so far is what could be decoded.
        const std::string_view what(e.what());
        const bool lzwFull = what.find("LZW") != std::string_view::npos
                             && (what.find("table full") != std::string_view::npos
                                 || what.find("table overflow") != std::string_view::npos);
        noteDecodeCause(cause, lzwFull ? DecodeCause::LzwTableOverflow : DecodeCause::DamagedFile);
    }
    return attempted;
}

std::optional<QByteArray> decodeGeneral(const QByteArray &input, const QList<PdfFilterStep> &steps, qint64 maxBytes,
                                        DecodeCause *cause = nullptr)
{
    LimitedBuffer out(maxBytes);
    if (!pipeGeneral(input, steps, maxBytes, out, cause) || out.m_overflow)
        return std::nullopt;
    if (out.m_data.isEmpty() && !input.isEmpty())
        return std::nullopt;
    return std::move(out.m_data);
}

std::optional<QByteArray> decodeCcitt(const QByteArray &input, const PdfObject &parms, qint64 maxBytes,
                                      DecodeCause *cause)
{
    CcittFaxParams p;
    p.k = intParam(parms, "K", 0);
    p.columns = intParam(parms, "Columns", 1728);
    p.rows = intParam(parms, "Rows", 0);
    p.endOfLine = boolParam(parms, "EndOfLine", false);
    p.encodedByteAlign = boolParam(parms, "EncodedByteAlign", false);
    p.endOfBlock = boolParam(parms, "EndOfBlock", true);
    p.blackIs1 = boolParam(parms, "BlackIs1", false);
    p.damagedRowsBeforeError = intParam(parms, "DamagedRowsBeforeError", 0);
    if (p.columns < 1 || p.rows < 0) {
        noteDecodeCause(cause, DecodeCause::BadFaxData);
        return std::nullopt;
    }
    bool damaged = false;
    std::optional<QByteArray> rows = decodeCcittFax(QByteArrayView(input), p, maxBytes, &damaged);
    if (damaged)
        noteDecodeCause(cause, DecodeCause::BadFaxData);
    return rows;
}

std::optional<PdfStreamData> decodeStreamChain(const PdfObject &stream, qint64 maxBytes, bool allowJbig2,
                                               DecodeCause *cause = nullptr, QString *jbig2Failure = nullptr);

std::optional<QByteArray> decodeJbig2Step(const QByteArray &input, const PdfObject &parms, qint64 maxBytes,
                                          DecodeCause *cause, QString *failure)
{
    QByteArray globals;
    PdfObject globalsStream = parms.get("JBIG2Globals");
    if (globalsStream.type() == PdfTypeStream) {
        // Globals are plain segment data; a globals stream that is itself
        // JBIG2-coded (possibly naming itself as its globals) is refused
        // instead of followed.
        std::optional<PdfStreamData> g = decodeStreamChain(globalsStream, kMaxAuxiliaryStreamBytes, false);
        if (g && g->format == PdfStreamFormat::Raw)
            globals = g->bytes;
    }
    std::optional<QByteArray> page = decodeJbig2(QByteArrayView(input), QByteArrayView(globals), maxBytes, failure);
    if (!page)
        noteDecodeCause(cause, DecodeCause::BadJbig2Data);
    return page;
}

// Collects a stream's raw bytes.
class RawBuffer final : public Pipeline
{
public:
    RawBuffer()
        : Pipeline("raw buffer", nullptr)
    {
    }
    void write(unsigned char const *data, size_t len) override
    {
        m_data.append(reinterpret_cast<const char *>(data), qsizetype(len));
    }
    void finish() override {}

    QByteArray m_data;
};

std::optional<QByteArray> rawStreamBytes(const PdfObject &stream, DecodeCause *cause = nullptr)
{
    const QPDFObjectHandle *h = stream.handle();
    if (!h)
        return std::nullopt;
    try {
        // Read straight into one buffer of the stated length (the library's
        // own buffer grows by copies, and would be copied once more).
        QPDFObjectHandle object = *h;
        RawBuffer out;
        std::int32_t length = 0;
        if (stream.getIntegerEntry("Length", &length) && length > 0)
            out.m_data.reserve(std::min<qsizetype>(length, qsizetype(64) << 20));
        bool attempted = false;
        if (object.pipeStreamData(&out, &attempted, 0, qpdf_dl_none, true, false))
            return std::move(out.m_data);
    } catch (const std::exception &) {
    }
    noteDecodeCause(cause, DecodeCause::DamagedFile);
    return std::nullopt;
}

int colorComponentsOf(const PdfObject &cs)
{
    if (std::optional<QByteArray> n = cs.name()) {
        if (*n == "DeviceGray" || *n == "CalGray" || *n == "G" || *n == "Indexed" || *n == "I")
            return 1;
        if (*n == "DeviceRGB" || *n == "CalRGB" || *n == "RGB" || *n == "Lab")
            return 3;
        return 4;
    }
    if (cs.type() == PdfTypeArray) {
        std::optional<QByteArray> family = cs.at(0).name();
        if (!family)
            return 4;
        if (*family == "ICCBased") {
            std::int32_t n = 0;
            if (cs.at(1).getIntegerEntry("N", &n) && n >= 1 && n <= 32)
                return n;
            return 4;
        }
        if (*family == "DeviceN") {
            const int n = cs.at(1).arrayCount();
            return n >= 1 && n <= 32 ? n : 32;
        }
        if (*family == "Indexed" || *family == "I" || *family == "Separation" || *family == "CalGray")
            return 1;
        if (*family == "CalRGB" || *family == "Lab")
            return 3;
        return 4;
    }
    return 4;
}

} // namespace

QByteArray expandFilterAbbreviation(const QByteArray &name)
{
    if (name == "Fl")
        return "FlateDecode";
    if (name == "AHx")
        return "ASCIIHexDecode";
    if (name == "A85")
        return "ASCII85Decode";
    if (name == "LZW")
        return "LZWDecode";
    if (name == "RL")
        return "RunLengthDecode";
    if (name == "CCF")
        return "CCITTFaxDecode";
    if (name == "DCT")
        return "DCTDecode";
    return name;
}

QList<PdfFilterStep> pdfStreamFilters(const PdfObject &stream)
{
    QList<PdfFilterStep> steps;
    const PdfObject filter = stream.get("Filter");
    const PdfObject parms = stream.get("DecodeParms");
    if (std::optional<QByteArray> single = filter.name()) {
        PdfObject p = parms.type() == PdfTypeArray ? parms.at(0) : parms;
        steps.append({expandFilterAbbreviation(*single), p});
    } else if (filter.type() == PdfTypeArray) {
        const int n = filter.arrayCount();
        for (int i = 0; i < n; ++i) {
            std::optional<QByteArray> name = filter.at(i).name();
            // A non-name element cannot be a filter: the chain is unreadable.
            PdfObject p = parms.type() == PdfTypeArray ? parms.at(i) : (i == 0 ? parms : PdfObject());
            steps.append({name ? expandFilterAbbreviation(*name) : QByteArray(), p});
        }
    }
    return steps;
}

std::optional<PdfStreamData> decodePdfStream(const PdfObject &stream, qint64 maxBytes, DecodeCause *cause)
{
    return decodeStreamChain(stream, maxBytes, true, cause);
}

namespace {

std::optional<PdfStreamData> decodeStreamChain(const PdfObject &stream, qint64 maxBytes, bool allowJbig2,
                                               DecodeCause *cause, QString *jbig2Failure)
{
    if (maxBytes <= 0)
        return std::nullopt;
    std::optional<QByteArray> raw = rawStreamBytes(stream, cause);
    if (!raw)
        return std::nullopt;
    // /Crypt was undone when the raw bytes were read: a chain with it inside
    // is the chain around it, one run of general filters streaming through
    // each other instead of one whole result per run.
    QList<PdfFilterStep> steps = pdfStreamFilters(stream);
    steps.removeIf([](const PdfFilterStep &step) { return step.name == "Crypt"; });

    QByteArray bytes = std::move(*raw);
    qsizetype i = 0;
    while (i < steps.size()) {
        const QByteArray &name = steps[i].name;
        // Coded pictures end the chain; a filter listed after one would have
        // to undo the decoded pixels, which no writer means: unreadable.
        if (name == "DCTDecode" || name == "JPXDecode") {
            if (i + 1 != steps.size())
                return std::nullopt;
            return PdfStreamData{bytes, name == "DCTDecode" ? PdfStreamFormat::JPEG : PdfStreamFormat::JPEG2000};
        }
        std::optional<QByteArray> next;
        if (isGeneralFilter(name)) {
            qsizetype j = i;
            while (j < steps.size() && isGeneralFilter(steps[j].name))
                ++j;
            next = decodeGeneral(bytes, steps.mid(i, j - i), maxBytes, cause);
            i = j;
        } else if (name == "CCITTFaxDecode") {
            next = decodeCcitt(bytes, steps[i].parms, maxBytes, cause);
            ++i;
        } else if (name == "JBIG2Decode" && allowJbig2) {
            next = decodeJbig2Step(bytes, steps[i].parms, maxBytes, cause, jbig2Failure);
            ++i;
        } else {
            return std::nullopt;
        }
        if (!next)
            return std::nullopt;
        bytes = std::move(*next);
    }
    if (bytes.size() > maxBytes)
        return std::nullopt;
    return PdfStreamData{bytes, PdfStreamFormat::Raw};
}

} // namespace

QString jbig2StreamFailure(const PdfObject &stream, qint64 maxBytes)
{
    QString failure;
    return decodeStreamChain(stream, maxBytes, true, nullptr, &failure) ? QString() : failure;
}

std::optional<PdfCodedPicture> codedPictureOfStream(const PdfObject &stream, qint64 maxBytes)
{
    if (maxBytes <= 0)
        return std::nullopt;
    QList<PdfFilterStep> steps = pdfStreamFilters(stream);
    steps.removeIf([](const PdfFilterStep &step) { return step.name == "Crypt"; });
    if (steps.isEmpty())
        return std::nullopt;
    PdfFilterStep coding = steps.takeLast();
    if (coding.name != "DCTDecode" && coding.name != "JPXDecode" && coding.name != "CCITTFaxDecode")
        return std::nullopt;
    if (!std::all_of(steps.begin(), steps.end(), [](const PdfFilterStep &step) { return isGeneralFilter(step.name); }))
        return std::nullopt;
    std::optional<QByteArray> raw = rawStreamBytes(stream);
    if (!raw)
        return std::nullopt;
    if (!steps.isEmpty())
        raw = decodeGeneral(*raw, steps, maxBytes);
    if (!raw || raw->isEmpty() || raw->size() > maxBytes)
        return std::nullopt;
    return PdfCodedPicture{std::move(*raw), std::move(coding)};
}

namespace {

// Keeps the first bytes of what passes and stops the read once it has them.
class HeadBuffer final : public Pipeline
{
public:
    explicit HeadBuffer(qint64 limit)
        : Pipeline("head buffer", nullptr)
        , m_limit(limit)
    {
    }
    void write(unsigned char const *data, size_t len) override
    {
        const qint64 room = m_limit - m_data.size();
        m_data.append(reinterpret_cast<const char *>(data), qsizetype(std::min<qint64>(room, qint64(len))));
        if (m_data.size() >= m_limit) {
            m_full = true;
            throw std::length_error("head read");
        }
    }
    void finish() override { m_finished = true; }

    QByteArray m_data;
    qint64 m_limit;
    bool m_full = false;
    bool m_finished = false;
};

} // namespace

std::optional<PdfStreamData> codedPictureHead(const PdfObject &stream, qint64 bytes)
{
    QList<PdfFilterStep> steps = pdfStreamFilters(stream);
    steps.removeIf([](const PdfFilterStep &step) { return step.name == "Crypt"; });
    const QPDFObjectHandle *h = stream.handle();
    if (steps.size() != 1 || (steps[0].name != "DCTDecode" && steps[0].name != "JPXDecode") || !h || bytes <= 0)
        return std::nullopt;
    HeadBuffer head(bytes);
    bool read = false;
    try {
        // The raw (decrypted) bytes, as getRawStreamData() gives them.
        bool attempted = false;
        read = const_cast<QPDFObjectHandle *>(h)->pipeStreamData(&head, &attempted, 0, qpdf_dl_none, true, false);
    } catch (const std::exception &) {
    }
    if (!(read || head.m_full) || head.m_data.isEmpty())
        return std::nullopt;
    return PdfStreamData{std::move(head.m_data),
                         steps[0].name == "DCTDecode" ? PdfStreamFormat::JPEG : PdfStreamFormat::JPEG2000};
}

std::optional<qint64> jbig2DecodedSizeFromHeaders(const PdfObject &stream)
{
    QList<PdfFilterStep> steps = pdfStreamFilters(stream);
    steps.removeIf([](const PdfFilterStep &step) { return step.name == "Crypt"; });
    if (steps.size() != 1 || steps[0].name != "JBIG2Decode")
        return std::nullopt;
    std::vector<std::uint32_t> known;
    const PdfObject globalsStream = steps[0].parms.get("JBIG2Globals");
    if (globalsStream.type() == PdfTypeStream) {
        const std::optional<PdfStreamData> g = decodeStreamChain(globalsStream, kMaxAuxiliaryStreamBytes, false);
        if (!g || g->format != PdfStreamFormat::Raw)
            return std::nullopt;
        const Jbig2StreamScan globals = scanJbig2Stream(QByteArrayView(g->bytes));
        if (globals.refersToMissing || globals.acceptedLength != g->bytes.size())
            return std::nullopt;
        known = globals.numbers;
    }
    const std::optional<QByteArray> raw = rawStreamBytes(stream);
    if (!raw)
        return std::nullopt;
    const Jbig2StreamScan scan = scanJbig2Stream(QByteArrayView(*raw), known);
    if (!scan.hasPage || !scan.pageBytes || scan.refersToMissing || scan.acceptedLength != raw->size()
        || *scan.pageBytes == 0 || *scan.pageBytes > std::uint64_t(kMaxDecodedStreamBytes))
        return std::nullopt;
    return qint64(*scan.pageBytes);
}

qint64 pdfStreamDecodedSizeLimit(const PdfObject &stream)
{
    QByteArray subtype;
    if (!stream.getName("Subtype", &subtype) || subtype != "Image")
        return kMaxAuxiliaryStreamBytes;
    double w = 0, h = 0;
    if (!stream.get("Width").getNumber(&w) || !stream.get("Height").getNumber(&h) || !(w >= 1) || !(h >= 1))
        return kMaxAuxiliaryStreamBytes;
    bool imageMask = false;
    stream.getBooleanEntry("ImageMask", &imageMask);
    double bpc = 8;
    stream.get("BitsPerComponent").getNumber(&bpc);
    if (imageMask)
        bpc = 1;
    if (!(bpc >= 1 && bpc <= 16))
        bpc = 16;
    const double components = imageMask ? 1 : colorComponentsOf(stream.get("ColorSpace"));
    const double rowBytes = std::ceil(std::floor(w) * components * bpc / 8.0);
    const double expected = rowBytes * std::floor(h);
    // Twice the need and a fixed slack cover padded rows and trailing bytes.
    const double limit = expected * 2.0 + double(1 << 20);
    return limit >= double(kMaxDecodedStreamBytes) ? kMaxDecodedStreamBytes : qint64(limit);
}

bool decodePdfStreamTo(const PdfObject &stream, qint64 maxBytes, const std::function<void(QByteArrayView)> &sink,
                       DecodeCause *cause)
{
    if (maxBytes <= 0)
        return false;
    QList<PdfFilterStep> steps = pdfStreamFilters(stream);
    steps.removeIf([](const PdfFilterStep &step) { return step.name == "Crypt"; });
    if (!std::all_of(steps.begin(), steps.end(),
                     [](const PdfFilterStep &step) { return isGeneralFilter(step.name); })) {
        // CCITT and JBIG2 decode whole; coded pictures are no samples.
        const std::optional<PdfStreamData> data = decodePdfStream(stream, maxBytes, cause);
        if (!data || data->format != PdfStreamFormat::Raw)
            return false;
        sink(QByteArrayView(data->bytes));
        return true;
    }
    std::optional<QByteArray> raw = rawStreamBytes(stream, cause);
    if (!raw)
        return false;
    if (steps.isEmpty()) {
        if (raw->size() > maxBytes)
            return false;
        sink(QByteArrayView(*raw));
        return true;
    }
    ForwardingSink out(maxBytes, sink);
    return pipeGeneral(*raw, steps, maxBytes, out, cause) && !out.m_overflow && (out.m_total > 0 || raw->isEmpty());
}

} // namespace zembrix
