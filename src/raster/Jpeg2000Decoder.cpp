#include "Jpeg2000Decoder.h"

#include "IccProfileSpace.h"
#include "ImageProperties.h"
#include "Jp2HeaderBoxes.h"

#include <QThread>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "OpenJpegHandles.h"

namespace zembrix {

namespace {

constexpr OPJ_SIZE_T kStreamChunk = 1 << 20;
// The most OpenJPEG may set up for the tiles of a header before decoding.
constexpr qint64 kMaxTileSetupBytes = qint64(256) << 20;

enum class Container { None, J2K, JP2 };

Container detectContainer(QByteArrayView data)
{
    static const uchar jp2Signature[12] = {0x00, 0x00, 0x00, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    static const uchar socSiz[4] = {0xFF, 0x4F, 0xFF, 0x51};
    if (data.size() >= 12 && std::memcmp(data.data(), jp2Signature, 12) == 0)
        return Container::JP2;
    if (data.size() >= 4 && std::memcmp(data.data(), socSiz, 4) == 0)
        return Container::J2K;
    return Container::None;
}

quint64 bigEndian(const uchar *p, int bytes)
{
    quint64 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

// The codestream of J2K data, or of a JP2 file's first 'jp2c' box (ISO/IEC
// 15444-1 annex I: boxes of a 32-bit length, 1 for a 64-bit one after the
// type, 0 for the rest of the file).
QByteArrayView codestreamOf(QByteArrayView data, Container container)
{
    if (container == Container::J2K)
        return data;
    qint64 at = 0;
    while (at + 8 <= data.size()) {
        const uchar *box = reinterpret_cast<const uchar *>(data.data()) + at;
        qint64 length = qint64(bigEndian(box, 4));
        qint64 header = 8;
        if (length == 1) {
            if (at + 16 > data.size() || bigEndian(box + 8, 8) > quint64(data.size()))
                return {};
            length = qint64(bigEndian(box + 8, 8));
            header = 16;
        } else if (length == 0) {
            length = data.size() - at;
        }
        if (length < header || length > data.size() - at)
            return {};
        if (std::memcmp(box + 4, "jp2c", 4) == 0)
            return data.sliced(at + header, length - header);
        at += length;
    }
    return {};
}

// What OpenJPEG sets up for every tile while it reads the main header (coding
// parameters per tile and per component of each tile), estimated from the
// SIZ marker: a header of tens of thousands of tiles takes hundreds of
// megabytes before a single sample is decoded. 0 when there is no SIZ.
qint64 tileSetupBytes(QByteArrayView data, Container container)
{
    const QByteArrayView codestream = codestreamOf(data, container);
    // SOC, SIZ marker and length, Rsiz, then eight 32-bit sizes and Csiz.
    if (codestream.size() < 4 + 2 + 2 + 32 + 2 || !codestream.startsWith(QByteArrayView("\xff\x4f\xff\x51", 4)))
        return 0;
    const uchar *siz = reinterpret_cast<const uchar *>(codestream.data()) + 8;
    const quint64 xsiz = bigEndian(siz, 4), ysiz = bigEndian(siz + 4, 4);
    const quint64 xosiz = bigEndian(siz + 8, 4), yosiz = bigEndian(siz + 12, 4);
    const quint64 xtsiz = bigEndian(siz + 16, 4), ytsiz = bigEndian(siz + 20, 4);
    const quint64 xtosiz = bigEndian(siz + 24, 4), ytosiz = bigEndian(siz + 28, 4);
    const quint64 components = bigEndian(siz + 32, 2);
    if (xtsiz == 0 || ytsiz == 0 || xsiz <= xtosiz || ysiz <= ytosiz || xosiz >= xsiz || yosiz >= ysiz)
        return 0; // OpenJPEG refuses these itself
    const quint64 across = (xsiz - xtosiz + xtsiz - 1) / xtsiz, down = (ysiz - ytosiz + ytsiz - 1) / ytsiz;
    constexpr quint64 kPerTile = 6 << 10, kPerTileComponent = 2 << 10;
    const long double bytes = (long double)(across)*down * (kPerTile + kPerTileComponent * components);
    return bytes > 0x1p62 ? qint64(1) << 62 : qint64(bytes);
}

// The encoded bytes as an OpenJPEG input stream.
struct MemorySource {
    const uchar *data = nullptr;
    quint64 size = 0;
    quint64 pos = 0;
};

OPJ_SIZE_T readSource(void *buffer, OPJ_SIZE_T count, void *user)
{
    auto *source = static_cast<MemorySource *>(user);
    if (source->pos >= source->size)
        return OPJ_SIZE_T(-1);
    const quint64 n = std::min<quint64>(count, source->size - source->pos);
    std::memcpy(buffer, source->data + source->pos, size_t(n));
    source->pos += n;
    return OPJ_SIZE_T(n);
}

// Skipping past the end succeeds, like a file seek; the next read reports
// the end.
OPJ_OFF_T skipSource(OPJ_OFF_T count, void *user)
{
    auto *source = static_cast<MemorySource *>(user);
    if (count < 0) {
        if (quint64(-count) > source->pos)
            return -1;
        source->pos -= quint64(-count);
        return count;
    }
    source->pos = std::min(source->size, source->pos + std::min<quint64>(quint64(count), source->size));
    return count;
}

OPJ_BOOL seekSource(OPJ_OFF_T offset, void *user)
{
    auto *source = static_cast<MemorySource *>(user);
    if (offset < 0 || quint64(offset) > source->size)
        return OPJ_FALSE;
    source->pos = quint64(offset);
    return OPJ_TRUE;
}

using namespace openjpeg;

// One OpenJPEG decoder over one buffer. Members are destroyed image first,
// codec last, as OpenJPEG requires.
class OpenJpegReader
{
public:
    // paletteIndices: a JP2 palette and channel definitions are left unapplied.
    // forDecoding: the codec gets its worker threads (a header alone needs none).
    bool readHeader(QByteArrayView data, bool paletteIndices = false, bool forDecoding = false)
    {
        const Container container = detectContainer(data);
        if (container == Container::None || tileSetupBytes(data, container) > kMaxTileSetupBytes)
            return false;
        source_ = {reinterpret_cast<const uchar *>(data.data()), quint64(data.size()), 0};

        codec_.reset(opj_create_decompress(container == Container::JP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
        if (!codec_)
            return false;
        opj_set_info_handler(codec_.get(), ignoreMessage, nullptr);
        opj_set_warning_handler(codec_.get(), ignoreMessage, nullptr);
        opj_set_error_handler(codec_.get(), ignoreMessage, nullptr);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        if (paletteIndices)
            parameters.flags |= OPJ_DPARAMETERS_IGNORE_PCLR_CMAP_CDEF_FLAG;
        if (!opj_setup_decoder(codec_.get(), &parameters))
            return false;
        // Damaged or truncated codestreams give what could be decoded.
        opj_decoder_set_strict_mode(codec_.get(), OPJ_FALSE);
        // OpenJPEG's own workers decode the code blocks on every core: a
        // single large picture (a thumbnail, the last image of an export)
        // does not wait on one.
        opj_codec_set_threads(codec_.get(), forDecoding ? std::max(1, QThread::idealThreadCount()) : 0);

        stream_.reset(opj_stream_create(std::min<OPJ_SIZE_T>(kStreamChunk, OPJ_SIZE_T(data.size())), OPJ_TRUE));
        if (!stream_)
            return false;
        opj_stream_set_read_function(stream_.get(), readSource);
        opj_stream_set_skip_function(stream_.get(), skipSource);
        opj_stream_set_seek_function(stream_.get(), seekSource);
        opj_stream_set_user_data(stream_.get(), &source_, nullptr);
        opj_stream_set_user_data_length(stream_.get(), source_.size);

        opj_image_t *image = nullptr;
        const bool ok = opj_read_header(stream_.get(), codec_.get(), &image);
        image_.reset(image);
        return ok && image && image->numcomps > 0 && image->x1 > image->x0 && image->y1 > image->y0
               && image->x1 - image->x0 <= uint(INT_MAX) && image->y1 - image->y0 <= uint(INT_MAX);
    }

    // Decodes the resolution level `factor` steps below the full one; false
    // when the codestream has not that many levels.
    bool setResolutionFactor(int factor) { return opj_set_decoded_resolution_factor(codec_.get(), OPJ_UINT32(factor)); }

    bool decode()
    {
        return opj_decode(codec_.get(), stream_.get(), image_.get()) && opj_end_decompress(codec_.get(), stream_.get());
    }

    const opj_image_t &image() const { return *image_; }
    int width() const { return int(image_->x1 - image_->x0); }
    int height() const { return int(image_->y1 - image_->y0); }

private:
    MemorySource source_;
    std::unique_ptr<opj_codec_t, CodecDeleter> codec_;
    std::unique_ptr<opj_stream_t, StreamDeleter> stream_;
    std::unique_ptr<opj_image_t, ImageDeleter> image_;
};

enum class Space { Unspecified, Gray, RGB, YCC, EYCC, CMYK };

// The colour space from the JP2 'colr' box: an enumerated space, or the
// data colour space field of an ICC profile.
Space spaceOf(const opj_image_t &image)
{
    switch (image.color_space) {
    case OPJ_CLRSPC_SRGB: return Space::RGB;
    case OPJ_CLRSPC_GRAY: return Space::Gray;
    case OPJ_CLRSPC_SYCC: return Space::YCC;
    case OPJ_CLRSPC_EYCC: return Space::EYCC;
    case OPJ_CLRSPC_CMYK: return Space::CMYK;
    default: break;
    }
    switch (iccProfileDataSpace(image.icc_profile_buf, image.icc_profile_len)) {
    case IccDataSpace::Gray: return Space::Gray;
    case IccDataSpace::RGB: return Space::RGB;
    case IccDataSpace::CMYK: return Space::CMYK;
    default: return Space::Unspecified;
    }
}

struct Layout {
    ColorModel model = ColorModel::Gray;
    std::vector<int> channels; // component indices: colour ones, then alpha if any
    bool hasAlpha = false;
};

std::optional<Layout> chooseLayout(int count, const std::vector<bool> &isAlpha, Space space)
{
    Layout layout;
    int alpha = -1;
    for (int i = 0; i < count; ++i) {
        if (!isAlpha[size_t(i)])
            layout.channels.push_back(i);
        else if (alpha < 0)
            alpha = i;
    }
    const bool rgbSpace = space == Space::RGB || space == Space::YCC || space == Space::EYCC;
    if (alpha < 0 && (layout.channels.size() == 2 || (layout.channels.size() == 4 && rgbSpace))) {
        alpha = layout.channels.back();
        layout.channels.pop_back();
    }
    const size_t spaceComponents = space == Space::Gray ? 1 : rgbSpace ? 3 : space == Space::CMYK ? 4 : 0;
    if (layout.channels.size() > 4 && spaceComponents)
        layout.channels.resize(spaceComponents); // extra channels are not shown
    switch (layout.channels.size()) {
    case 1: layout.model = ColorModel::Gray; break;
    case 3: layout.model = ColorModel::RGB; break;
    case 4: layout.model = ColorModel::CMYK; break;
    default: return std::nullopt;
    }
    if (alpha >= 0) {
        layout.channels.push_back(alpha);
        layout.hasAlpha = true;
    }
    return layout;
}

// One decoded component as it is read for each output pixel.
struct Plane {
    const OPJ_INT32 *data = nullptr;
    int width = 0;
    std::vector<int> column;    // component column for each output column
    std::vector<int> row;       // component row for each output row
    int offset = 0;             // added to signed samples
    int max = 0;                // 2^prec - 1
    std::vector<quint16> scale; // value -> output sample
};

// Component sample (x, y) covers the image points [x * dx, (x + 1) * dx),
// so output point p reads sample p / dx - ceil(x0 / dx), clamped.
std::vector<int> replicationIndex(OPJ_UINT32 origin, int count, OPJ_UINT32 step, OPJ_UINT32 planeOrigin,
                                  OPJ_UINT32 planeSize)
{
    std::vector<int> index(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const qint64 at = qint64((quint64(origin) + quint64(i)) / step) - qint64(planeOrigin);
        index[size_t(i)] = int(std::clamp<qint64>(at, 0, qint64(planeSize) - 1));
    }
    return index;
}

std::vector<quint16> scaleTable(int max, int outBits)
{
    const quint32 outMax = (1u << outBits) - 1;
    std::vector<quint16> table(size_t(max) + 1);
    for (int v = 0; v <= max; ++v)
        table[size_t(v)] = quint16((quint64(v) * outMax + quint64(max) / 2) / quint64(max));
    return table;
}

// YCbCr to RGB on samples of the given precision, with the coefficients and
// rounding of OpenJPEG's tools (sYCC: ITU-R BT.601 full range; e-sYCC: IEC
// 61966-2-1 amendment 1).
void yccToRgb(int &y, int &cb, int &cr, int max, bool extended)
{
    const int half = (max + 1) / 2;
    int r, g, b;
    cb -= half;
    cr -= half;
    if (extended) {
        r = int(float(y) - 0.0000368f * float(cb) + 1.40199f * float(cr) + 0.5f);
        g = int(1.0003f * float(y) - 0.344125f * float(cb) - 0.7141128f * float(cr) + 0.5f);
        b = int(0.999823f * float(y) + 1.77204f * float(cb) - 0.000008f * float(cr) + 0.5f);
    } else {
        r = y + int(1.402f * float(cr));
        g = y - int(0.344f * float(cb) + 0.714f * float(cr));
        b = y + int(1.772f * float(cb));
    }
    y = std::clamp(r, 0, max);
    cb = std::clamp(g, 0, max);
    cr = std::clamp(b, 0, max);
}

bool needsYccConversion(const opj_image_t &image, const Layout &layout, Space space)
{
    if (layout.model != ColorModel::RGB)
        return false;
    const opj_image_comp_t &c0 = image.comps[layout.channels[0]];
    const opj_image_comp_t &c1 = image.comps[layout.channels[1]];
    const opj_image_comp_t &c2 = image.comps[layout.channels[2]];
    if (c0.prec != c1.prec || c0.prec != c2.prec)
        return false;
    if (space == Space::YCC || space == Space::EYCC)
        return true;
    // A codestream with no colour space whose chroma is subsampled: YCbCr.
    return space == Space::Unspecified && c0.dx == 1 && c0.dy == 1 && (c1.dx != 1 || c1.dy != 1);
}

// Number of bytes of OpenJPEG's 32-bit planes for the image, or -1 on
// overflow. A paletted JP2 grows to paletteChannels full-size planes.
qint64 planeBytes(const opj_image_t &image, int paletteChannels)
{
    qint64 total = 0;
    const quint64 fullW = image.x1 - image.x0, fullH = image.y1 - image.y0;
    for (OPJ_UINT32 i = 0; i < image.numcomps; ++i) {
        const opj_image_comp_t &c = image.comps[i];
        if (c.dx == 0 || c.dy == 0)
            return -1;
        auto ceilDiv = [](quint64 a, quint64 b) { return (a + b - 1) / b; };
        const qint64 w = qint64(ceilDiv(image.x1, c.dx) - ceilDiv(image.x0, c.dx));
        const qint64 h = qint64(ceilDiv(image.y1, c.dy) - ceilDiv(image.y0, c.dy));
        qint64 bytes = 0;
        if (qMulOverflow(w, h, &bytes) || qMulOverflow(bytes, qint64(4), &bytes) || qAddOverflow(total, bytes, &total))
            return -1;
    }
    qint64 palette = 0;
    if (paletteChannels > 0
        && (qMulOverflow(qint64(fullW * fullH), qint64(4 * paletteChannels), &palette)
            || qAddOverflow(total, palette, &total)))
        return -1;
    return total;
}

// unscaled: samples of up to 8 bits are kept as they are (palette indices).
RasterImage buildRaster(const opj_image_t &image, const Layout &layout, Space space, qint64 maxBytes,
                        bool unscaled = false)
{
    const int width = int(image.x1 - image.x0), height = int(image.y1 - image.y0);
    const int channels = int(layout.channels.size());
    int outBits = 8;
    for (int index : layout.channels) {
        const opj_image_comp_t &c = image.comps[index];
        if (c.prec < 1 || c.prec > 16 || !c.data || c.w == 0 || c.h == 0 || c.dx == 0 || c.dy == 0)
            return {};
        if (c.prec > 8)
            outBits = 16;
    }
    if (unscaled && outBits != 8)
        return {};
    RasterImage raster = RasterImage::create(width, height, layout.model, outBits, layout.hasAlpha, maxBytes);
    if (raster.isNull())
        return {};

    std::vector<Plane> planes(static_cast<size_t>(channels));
    for (int k = 0; k < channels; ++k) {
        const opj_image_comp_t &c = image.comps[layout.channels[size_t(k)]];
        Plane &p = planes[size_t(k)];
        p.data = c.data;
        p.width = int(c.w);
        p.column = replicationIndex(image.x0, width, c.dx, c.x0, c.w);
        p.row = replicationIndex(image.y0, height, c.dy, c.y0, c.h);
        p.max = int((1u << c.prec) - 1);
        p.offset = c.sgnd ? int(1u << (c.prec - 1)) : 0;
        p.scale = scaleTable(p.max, outBits);
        if (unscaled)
            for (int v = 0; v <= p.max; ++v)
                p.scale[size_t(v)] = quint16(v);
    }
    const bool ycc = needsYccConversion(image, layout, space);
    const bool extended = space == Space::EYCC;

    std::vector<std::vector<int>> values(static_cast<size_t>(channels), std::vector<int>(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y) {
        for (int k = 0; k < channels; ++k) {
            const Plane &p = planes[size_t(k)];
            const OPJ_INT32 *src = p.data + qint64(p.row[size_t(y)]) * p.width;
            int *out = values[size_t(k)].data();
            for (int x = 0; x < width; ++x)
                out[x] = int(std::clamp<qint64>(qint64(src[p.column[size_t(x)]]) + p.offset, 0, p.max));
        }
        if (ycc) {
            for (int x = 0; x < width; ++x)
                yccToRgb(values[0][size_t(x)], values[1][size_t(x)], values[2][size_t(x)], planes[0].max, extended);
        }
        if (outBits == 8) {
            uchar *out = raster.row(y);
            for (int x = 0; x < width; ++x)
                for (int k = 0; k < channels; ++k)
                    *out++ = uchar(planes[size_t(k)].scale[size_t(values[size_t(k)][size_t(x)])]);
        } else {
            quint16 *out = reinterpret_cast<quint16 *>(raster.row(y));
            for (int x = 0; x < width; ++x)
                for (int k = 0; k < channels; ++k)
                    *out++ = planes[size_t(k)].scale[size_t(values[size_t(k)][size_t(x)])];
        }
    }
    return raster;
}

std::vector<bool> alphaFlags(const opj_image_t &image)
{
    std::vector<bool> flags(image.numcomps);
    for (OPJ_UINT32 i = 0; i < image.numcomps; ++i)
        flags[i] = image.comps[i].alpha != 0;
    return flags;
}

// Whether a header read fits before decoding: OpenJPEG's planes, and the
// raster of at most five 16-bit channels that could come out.
bool headerFits(const OpenJpegReader &reader, const std::optional<Jp2HeaderBoxes> &boxes, qint64 maxBytes)
{
    const int paletteChannels = boxes ? boxes->paletteChannels : 0;
    const qint64 planes = planeBytes(reader.image(), paletteChannels);
    qint64 pixels = 0, rasterBytes = 0;
    const int channels = std::min(5, std::max(int(reader.image().numcomps), paletteChannels));
    const int sampleBytes = reader.image().comps[0].prec > 8 ? 2 : 1;
    return planes >= 0 && planes <= maxBytes && !qMulOverflow(qint64(reader.width()), qint64(reader.height()), &pixels)
           && !qMulOverflow(pixels, qint64(channels * sampleBytes), &rasterBytes) && rasterBytes <= maxBytes;
}

// The channels the decode will have, from the header: the codestream's
// components, or a JP2 palette's columns, with the header boxes' opacity.
std::optional<Layout> headerLayout(const opj_image_t &image, const std::optional<Jp2HeaderBoxes> &boxes)
{
    int count = int(image.numcomps);
    std::vector<bool> isAlpha = alphaFlags(image);
    if (boxes) {
        if (boxes->paletteChannels > 0)
            count = boxes->paletteChannels;
        isAlpha.assign(size_t(count), false);
        for (int channel : boxes->alphaChannels)
            if (channel >= 0 && channel < count)
                isAlpha[size_t(channel)] = true;
    }
    return chooseLayout(count, isAlpha, spaceOf(image));
}

} // namespace

RasterImage decodeJpeg2000(QByteArrayView data, qint64 maxBytes, bool paletteIndices, DecodeCause *cause)
{
    OpenJpegReader reader;
    if (!reader.readHeader(data, paletteIndices, true) || !headerFits(reader, readJp2HeaderBoxes(data), maxBytes))
        return {};

    if (!reader.decode())
        return {};
    const opj_image_t &image = reader.image();
    if (paletteIndices) {
        if (image.comps[0].prec > 8) // more indices than a palette can have
            noteDecodeCause(cause, DecodeCause::UnsupportedBitsPerComponent);
        return buildRaster(image, Layout{ColorModel::Gray, {0}, false}, Space::Gray, maxBytes, true);
    }
    const Space space = spaceOf(image);
    const auto layout = chooseLayout(int(image.numcomps), alphaFlags(image), space);
    if (!layout)
        return {};
    return buildRaster(image, *layout, space, maxBytes);
}

RasterImage decodeJpeg2000Reduced(QByteArrayView data, int longEdge, qint64 maxBytes)
{
    OpenJpegReader reader;
    if (!reader.readHeader(data, false, true) || !headerFits(reader, readJp2HeaderBoxes(data), maxBytes))
        return {};
    const opj_image_t &header = reader.image();
    bool plain = header.x0 == 0 && header.y0 == 0;
    for (OPJ_UINT32 i = 0; i < header.numcomps; ++i)
        plain = plain && header.comps[i].dx == 1 && header.comps[i].dy == 1;
    const quint32 fullEdge = std::max(header.x1, header.y1);
    int factor = 0;
    while (plain && longEdge > 0 && factor < 30 && ((fullEdge >> (factor + 1)) >= quint32(longEdge)))
        ++factor;
    // The codestream may have fewer levels than that: the most it allows.
    while (factor > 0 && !reader.setResolutionFactor(factor))
        --factor;
    if (!reader.decode())
        return {};
    const Space space = spaceOf(reader.image());
    const auto layout = chooseLayout(int(reader.image().numcomps), alphaFlags(reader.image()), space);
    if (!layout)
        return {};
    if (factor == 0)
        return buildRaster(reader.image(), *layout, space, maxBytes);
    // The planes hold the reduced picture: the image is laid out at their size.
    opj_image_t reduced = reader.image();
    std::vector<opj_image_comp_t> comps(reduced.comps, reduced.comps + reduced.numcomps);
    for (opj_image_comp_t &c : comps) {
        if (c.w != comps[0].w || c.h != comps[0].h)
            return {};
        c.x0 = c.y0 = 0;
    }
    reduced.comps = comps.data();
    reduced.x1 = comps[0].w;
    reduced.y1 = comps[0].h;
    return buildRaster(reduced, *layout, space, maxBytes);
}

std::optional<QSize> jpeg2000Size(QByteArrayView data)
{
    OpenJpegReader reader;
    if (!reader.readHeader(data))
        return std::nullopt;
    return QSize(reader.width(), reader.height());
}

std::optional<QSize> jpeg2000AcceptedSize(QByteArrayView data, qint64 maxBytes)
{
    OpenJpegReader reader;
    if (!reader.readHeader(data))
        return std::nullopt;
    const auto boxes = readJp2HeaderBoxes(data);
    if (!headerFits(reader, boxes, maxBytes) || !headerLayout(reader.image(), boxes))
        return std::nullopt;
    for (OPJ_UINT32 i = 0; i < reader.image().numcomps; ++i)
        if (reader.image().comps[i].prec < 1 || reader.image().comps[i].prec > 16)
            return std::nullopt;
    return QSize(reader.width(), reader.height());
}

std::optional<QString> jpeg2000PropertiesText(QByteArrayView data)
{
    OpenJpegReader reader;
    if (!reader.readHeader(data))
        return std::nullopt;
    const opj_image_t &image = reader.image();

    ImageProperties properties;
    properties.pixelWidth = reader.width();
    properties.pixelHeight = reader.height();
    properties.depth = int(image.comps[0].prec);

    // Before decoding, the channels are the codestream's components; a JP2
    // palette and channel definitions are read from the header boxes.
    const auto boxes = readJp2HeaderBoxes(data);
    if (boxes) {
        if (boxes->paletteChannels > 0)
            properties.depth = boxes->paletteDepth;
        properties.dpiWidth = boxes->dpiWidth;
        properties.dpiHeight = boxes->dpiHeight;
    }
    const auto layout = headerLayout(image, boxes);
    if (!layout)
        return std::nullopt;
    properties.model = layout->model;
    return formatPropertiesText(properties);
}

} // namespace zembrix
