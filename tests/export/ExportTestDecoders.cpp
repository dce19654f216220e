#include "ExportTestDecoders.h"

#include "ExportTestImages.h"

#include <libheif/heif.h>
#include <openjpeg.h>

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace exporttest {

namespace {

struct MemoryInput {
    const QByteArray *bytes;
    qint64 position = 0;
};

OPJ_SIZE_T memoryRead(void *buffer, OPJ_SIZE_T count, void *user)
{
    auto *in = static_cast<MemoryInput *>(user);
    const qint64 left = in->bytes->size() - in->position;
    if (left <= 0)
        return OPJ_SIZE_T(-1);
    const OPJ_SIZE_T n = std::min<OPJ_SIZE_T>(count, OPJ_SIZE_T(left));
    std::memcpy(buffer, in->bytes->constData() + in->position, n);
    in->position += qint64(n);
    return n;
}

OPJ_OFF_T memorySkip(OPJ_OFF_T count, void *user)
{
    auto *in = static_cast<MemoryInput *>(user);
    in->position = std::clamp<qint64>(in->position + count, 0, in->bytes->size());
    return count;
}

OPJ_BOOL memorySeek(OPJ_OFF_T offset, void *user)
{
    auto *in = static_cast<MemoryInput *>(user);
    if (offset < 0 || offset > in->bytes->size())
        return OPJ_FALSE;
    in->position = offset;
    return OPJ_TRUE;
}

const uchar *u8(const QByteArray &bytes)
{
    return reinterpret_cast<const uchar *>(bytes.constData());
}

// The payload of the first box of `type` among the boxes in [begin, end).
std::optional<QByteArray> findBox(const QByteArray &bytes, qsizetype begin, qsizetype end, const char *type)
{
    qsizetype pos = begin;
    while (pos + 8 <= end) {
        const quint32 length = qFromBigEndian<quint32>(u8(bytes) + pos);
        if (length < 8 || pos + qsizetype(length) > end)
            return std::nullopt;
        if (std::memcmp(bytes.constData() + pos + 4, type, 4) == 0)
            return bytes.mid(pos + 8, length - 8);
        pos += length;
    }
    return std::nullopt;
}

} // namespace

std::optional<Jp2Decoded> decodeJp2(const QByteArray &file)
{
    std::unique_ptr<opj_codec_t, void (*)(opj_codec_t *)> codec(opj_create_decompress(OPJ_CODEC_JP2),
                                                                opj_destroy_codec);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!codec || !opj_setup_decoder(codec.get(), &parameters))
        return std::nullopt;

    MemoryInput input{&file};
    std::unique_ptr<opj_stream_t, void (*)(opj_stream_t *)> stream(opj_stream_create(1 << 16, OPJ_TRUE),
                                                                   opj_stream_destroy);
    opj_stream_set_user_data(stream.get(), &input, nullptr);
    opj_stream_set_user_data_length(stream.get(), OPJ_UINT64(file.size()));
    opj_stream_set_read_function(stream.get(), memoryRead);
    opj_stream_set_skip_function(stream.get(), memorySkip);
    opj_stream_set_seek_function(stream.get(), memorySeek);

    opj_image_t *raw = nullptr;
    if (!opj_read_header(stream.get(), codec.get(), &raw))
        return std::nullopt;
    std::unique_ptr<opj_image_t, void (*)(opj_image_t *)> image(raw, opj_image_destroy);
    if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get()))
        return std::nullopt;

    Jp2Decoded result;
    result.components = int(image->numcomps);
    result.precision = int(image->comps[0].prec);
    const int width = int(image->comps[0].w);
    const int height = int(image->comps[0].h);
    const int n = result.components;
    result.hasAlphaComponent = (n == 2 || n == 4) && image->comps[n - 1].alpha;
    const bool wide = result.precision > 8;
    result.image = QImage(width, height, wide ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const qsizetype i = qsizetype(y) * width + x;
            const auto sample = [&](int c) { return image->comps[c].data[i]; };
            int r, g, b, a;
            if (n < 3) {
                r = g = b = sample(0);
                a = n == 2 ? sample(1) : (wide ? 65535 : 255);
            } else {
                r = sample(0);
                g = sample(1);
                b = sample(2);
                a = n == 4 ? sample(3) : (wide ? 65535 : 255);
            }
            if (wide)
                result.image.setPixelColor(x, y, QColor::fromRgba64(quint16(r), quint16(g), quint16(b), quint16(a)));
            else
                result.image.setPixel(x, y, qRgba(r, g, b, a));
        }
    }
    return result;
}

std::optional<HeicDecoded> decodeHeic(const QByteArray &file)
{
    heif_init(nullptr);
    struct Deinit {
        ~Deinit() { heif_deinit(); }
    } deinit;

    std::unique_ptr<heif_context, void (*)(heif_context *)> context(heif_context_alloc(), heif_context_free);
    if (heif_context_read_from_memory_without_copy(context.get(), file.constData(), size_t(file.size()), nullptr)
            .code != heif_error_Ok)
        return std::nullopt;
    heif_image_handle *rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle *)> handle(rawHandle, heif_image_handle_release);

    HeicDecoded result;
    result.hasAlpha = heif_image_handle_has_alpha_channel(handle.get());

    heif_item_id exifId = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle.get(), "Exif", &exifId, 1) == 1) {
        QByteArray block(qsizetype(heif_image_handle_get_metadata_size(handle.get(), exifId)), '\0');
        if (heif_image_handle_get_metadata(handle.get(), exifId, block.data()).code == heif_error_Ok
            && block.size() >= 4) {
            result.exifOffset = qFromBigEndian<quint32>(u8(block));
            result.exif = block.mid(4 + qsizetype(result.exifOffset));
        }
    }

    heif_image *rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code
        != heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_image, void (*)(const heif_image *)> image(rawImage, heif_image_release);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || height <= 0)
        return std::nullopt;
    result.image = QImage(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = plane + qsizetype(y) * stride;
        for (int x = 0; x < width; ++x)
            result.image.setPixel(x, y, qRgba(row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]));
    }
    return result;
}

std::optional<double> pngDpi(const QByteArray &file)
{
    const qsizetype at = file.indexOf("pHYs");
    if (at < 4 || at + 13 > file.size() || qFromBigEndian<quint32>(u8(file) + at - 4) != 9)
        return std::nullopt;
    const quint32 x = qFromBigEndian<quint32>(u8(file) + at + 4);
    const quint32 y = qFromBigEndian<quint32>(u8(file) + at + 8);
    if (x != y || file[at + 12] != 1)
        return std::nullopt;
    return x * 0.0254;
}

std::optional<double> jpegDpi(const QByteArray &file)
{
    // SOI, then APP0 "JFIF\0", version, units, X density, Y density.
    if (file.size() < 20 || u8(file)[0] != 0xFF || u8(file)[1] != 0xD8 || u8(file)[2] != 0xFF
        || u8(file)[3] != 0xE0 || file.mid(6, 5) != QByteArray("JFIF\0", 5))
        return std::nullopt;
    if (file[13] != 1)
        return std::nullopt;
    const quint16 x = qFromBigEndian<quint16>(u8(file) + 14);
    const quint16 y = qFromBigEndian<quint16>(u8(file) + 16);
    if (x != y)
        return std::nullopt;
    return double(x);
}

std::optional<double> bmpDpi(const QByteArray &file)
{
    if (file.size() < 54 || !file.startsWith("BM"))
        return std::nullopt;
    const qint32 x = qFromLittleEndian<qint32>(u8(file) + 38);
    const qint32 y = qFromLittleEndian<qint32>(u8(file) + 42);
    if (x != y)
        return std::nullopt;
    return x * 0.0254;
}

std::optional<double> tiffDpi(const QByteArray &file)
{
    const std::optional<TiffResolution> resolution = readTiffResolution(file);
    if (!resolution || resolution->unit != 2 || resolution->x != resolution->y)
        return std::nullopt;
    return resolution->x;
}

std::optional<double> jp2Dpi(const QByteArray &file)
{
    const std::optional<QByteArray> header = findBox(file, 0, file.size(), "jp2h");
    if (!header)
        return std::nullopt;
    const std::optional<QByteArray> res = findBox(*header, 0, header->size(), "res ");
    if (!res)
        return std::nullopt;
    const std::optional<QByteArray> resc = findBox(*res, 0, res->size(), "resc");
    if (!resc || resc->size() != 10)
        return std::nullopt;
    const auto *p = u8(*resc);
    const double vertical = double(qFromBigEndian<quint16>(p)) / qFromBigEndian<quint16>(p + 2)
                            * std::pow(10.0, qint8(p[8]));
    const double horizontal = double(qFromBigEndian<quint16>(p + 4)) / qFromBigEndian<quint16>(p + 6)
                              * std::pow(10.0, qint8(p[9]));
    if (vertical != horizontal)
        return std::nullopt;
    return horizontal * 0.0254;
}

std::optional<double> heicDpi(const QByteArray &file)
{
    const std::optional<HeicDecoded> decoded = decodeHeic(file);
    if (!decoded)
        return std::nullopt;
    return tiffDpi(decoded->exif);
}

std::optional<double> dpiOfFile(int formatIndex, const QByteArray &file)
{
    switch (formatIndex) {
    case 0: return jpegDpi(file);
    case 1: return jp2Dpi(file);
    case 2: return tiffDpi(file);
    case 3: return pngDpi(file);
    case 4: return bmpDpi(file);
    case 6: return heicDpi(file);
    default: return std::nullopt;
    }
}

QImage decodeExportFile(int formatIndex, const QByteArray &file)
{
    if (formatIndex == 1) {
        const std::optional<Jp2Decoded> decoded = decodeJp2(file);
        return decoded ? decoded->image : QImage();
    }
    if (formatIndex == 6) {
        const std::optional<HeicDecoded> decoded = decodeHeic(file);
        return decoded ? decoded->image : QImage();
    }
    static const char *const formats[] = {"jpeg", nullptr, "tiff", "png", "bmp", "icns"};
    if (formatIndex < 0 || formatIndex > 5)
        return {};
    QByteArray copy = file;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, formats[formatIndex]);
    return reader.read();
}

} // namespace exporttest
