#include "Jpeg2000FileWriter.h"

#include "ExportResolution.h"
#include "Jp2ResolutionBox.h"

#include "raster/OpenJpegHandles.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace zembrix {

namespace {

// An output stream for OpenJPEG over a growable byte array. The JP2 writer
// seeks back to fill in box lengths, so writes may land before the end.
struct MemoryOutput {
    QByteArray bytes;
    qint64 position = 0;

    bool ensureSize(qint64 size)
    {
        if (size < 0 || size > qint64(std::numeric_limits<qsizetype>::max() / 2))
            return false;
        if (size > bytes.size())
            bytes.resize(qsizetype(size), '\0');
        return true;
    }
};

OPJ_SIZE_T memoryWrite(void *buffer, OPJ_SIZE_T count, void *user)
{
    auto *out = static_cast<MemoryOutput *>(user);
    if (count > OPJ_SIZE_T(std::numeric_limits<qint64>::max() - out->position))
        return OPJ_SIZE_T(-1);
    const qint64 end = out->position + qint64(count);
    if (!out->ensureSize(end))
        return OPJ_SIZE_T(-1);
    std::memcpy(out->bytes.data() + out->position, buffer, count);
    out->position = end;
    return count;
}

OPJ_OFF_T memorySkip(OPJ_OFF_T count, void *user)
{
    auto *out = static_cast<MemoryOutput *>(user);
    const qint64 target = out->position + count;
    if (target < 0 || !out->ensureSize(target))
        return -1;
    out->position = target;
    return count;
}

OPJ_BOOL memorySeek(OPJ_OFF_T offset, void *user)
{
    auto *out = static_cast<MemoryOutput *>(user);
    if (offset < 0 || !out->ensureSize(offset))
        return OPJ_FALSE;
    out->position = offset;
    return OPJ_TRUE;
}

using namespace openjpeg;

enum class Layout { Gray, Rgb, Rgba };

Layout layoutFor(const QImage &image)
{
    if (image.hasAlphaChannel())
        return Layout::Rgba;
    switch (image.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16: return Layout::Gray;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8: return image.isGrayscale() ? Layout::Gray : Layout::Rgb;
    default: return Layout::Rgb;
    }
}

bool isSixteenBit(const QImage &image)
{
    return image.format() == QImage::Format_Grayscale16 || image.depth() >= 48;
}

// The largest resolution count the encoder accepts: the lowest resolution
// level must still be at least one pixel wide and high.
int resolutionCount(int width, int height)
{
    int levels = 1;
    const int smaller = std::min(width, height);
    while (levels < 6 && (smaller >> levels) > 0)
        ++levels;
    return levels;
}

// The image in the component layout and precision to encode, with the samples
// copied into OpenJPEG's planes.
std::unique_ptr<opj_image_t, ImageDeleter> makeOpjImage(const QImage &source)
{
    const Layout layout = layoutFor(source);
    const bool wide = isSixteenBit(source);
    const int components = layout == Layout::Gray ? 1 : layout == Layout::Rgb ? 3 : 4;
    const int width = source.width();
    const int height = source.height();

    QImage::Format format;
    if (layout == Layout::Gray)
        format = wide ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    else if (layout == Layout::Rgb)
        format = wide ? QImage::Format_RGBX64 : QImage::Format_RGB888;
    else
        format = wide ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    const QImage image = source.convertToFormat(format);
    if (image.isNull())
        return nullptr;

    // OpenJPEG holds every sample as a 32-bit integer.
    qsizetype samples = 0;
    if (qMulOverflow(qsizetype(width), qsizetype(height), &samples)
        || qMulOverflow(samples, qsizetype(components) * qsizetype(sizeof(OPJ_INT32)), &samples))
        return nullptr;

    opj_image_cmptparm_t parameters[4];
    std::memset(parameters, 0, sizeof(parameters));
    for (int c = 0; c < components; ++c) {
        parameters[c].dx = 1;
        parameters[c].dy = 1;
        parameters[c].w = OPJ_UINT32(width);
        parameters[c].h = OPJ_UINT32(height);
        parameters[c].prec = wide ? 16 : 8;
        parameters[c].sgnd = 0;
    }
    std::unique_ptr<opj_image_t, ImageDeleter> opjImage(opj_image_create(
        OPJ_UINT32(components), parameters, layout == Layout::Gray ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
    if (!opjImage)
        return nullptr;
    opjImage->x0 = 0;
    opjImage->y0 = 0;
    opjImage->x1 = OPJ_UINT32(width);
    opjImage->y1 = OPJ_UINT32(height);
    if (layout == Layout::Rgba)
        opjImage->comps[3].alpha = 1;

    // Row layouts: Grayscale8 1 byte, RGB888 3, RGBA8888 4 bytes per pixel;
    // Grayscale16 one, RGBX64/RGBA64 four native 16-bit words per pixel.
    const int stride = wide ? (layout == Layout::Gray ? 1 : 4) : components;
    for (int y = 0; y < height; ++y) {
        const qsizetype rowStart = qsizetype(y) * width;
        if (wide) {
            const auto *row = reinterpret_cast<const quint16 *>(image.constScanLine(y));
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < components; ++c)
                    opjImage->comps[c].data[rowStart + x] = row[x * stride + c];
        } else {
            const uchar *row = image.constScanLine(y);
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < components; ++c)
                    opjImage->comps[c].data[rowStart + x] = row[x * stride + c];
        }
    }
    return opjImage;
}

} // namespace

QByteArray encodeJpeg2000(const QImage &image, float dpi)
{
    if (image.isNull())
        return {};
    std::unique_ptr<opj_image_t, ImageDeleter> opjImage = makeOpjImage(image);
    if (!opjImage)
        return {};

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = 0; // 0: lossless
    parameters.cp_disto_alloc = 1;
    parameters.irreversible = 0;
    parameters.numresolution = resolutionCount(image.width(), image.height());

    std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_compress(OPJ_CODEC_JP2));
    if (!codec)
        return {};
    opj_set_error_handler(codec.get(), ignoreMessage, nullptr);
    opj_set_warning_handler(codec.get(), ignoreMessage, nullptr);
    opj_set_info_handler(codec.get(), ignoreMessage, nullptr);
    if (!opj_setup_encoder(codec.get(), &parameters, opjImage.get()))
        return {};

    MemoryOutput output;
    {
        std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
        if (!stream)
            return {};
        opj_stream_set_user_data(stream.get(), &output, nullptr);
        opj_stream_set_write_function(stream.get(), memoryWrite);
        opj_stream_set_skip_function(stream.get(), memorySkip);
        opj_stream_set_seek_function(stream.get(), memorySeek);

        if (!opj_start_compress(codec.get(), opjImage.get(), stream.get()) || !opj_encode(codec.get(), stream.get())
            || !opj_end_compress(codec.get(), stream.get()))
            return {};
    }
    if (output.bytes.isEmpty())
        return {};

    return insertJp2ResolutionBox(output.bytes, jp2ResolutionForDpi(exportDpi(dpi)));
}

} // namespace zembrix
