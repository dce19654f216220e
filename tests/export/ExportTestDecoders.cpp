#include "ExportTestDecoders.h"

#include "ExportTestImages.h"

#include "raster/Jpeg2000Decoder.h"

#include <libheif/heif.h>

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace exporttest {

namespace {

const uchar *u8(const QByteArray &bytes)
{
    return reinterpret_cast<const uchar *>(bytes.constData());
}

// The payload of the first box of `type` among the boxes that make up `bytes`.
std::optional<QByteArray> findBox(const QByteArray &bytes, const char *type)
{
    for (const auto &[boxType, content] : jp2Boxes(bytes).value_or(std::vector<std::pair<QByteArray, QByteArray>>{}))
        if (boxType == type)
            return content;
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::pair<QByteArray, QByteArray>>> jp2Boxes(const QByteArray &bytes)
{
    std::vector<std::pair<QByteArray, QByteArray>> boxes;
    for (qsizetype pos = 0; pos < bytes.size();) {
        const quint32 length = pos + 8 <= bytes.size() ? qFromBigEndian<quint32>(u8(bytes) + pos) : 0;
        if (length < 8 || pos + qsizetype(length) > bytes.size())
            return std::nullopt;
        boxes.emplace_back(bytes.mid(pos + 4, 4), bytes.mid(pos + 8, length - 8));
        pos += length;
    }
    return boxes;
}

std::optional<Jp2Decoded> decodeJp2(const QByteArray &file)
{
    const RasterImage raster = decodeJpeg2000(file);
    if (raster.isNull() || !file.startsWith(QByteArray("\0\0\0\x0cjP  ", 8)))
        return std::nullopt;
    return Jp2Decoded{rasterToQImage(raster), raster.samplesPerPixel(), raster.bitsPerComponent, raster.hasAlpha};
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
    // A deep copy: the plane goes with the heif_image.
    result.image = QImage(plane, width, height, stride, QImage::Format_RGBA8888).convertToFormat(QImage::Format_ARGB32);
    return result;
}

namespace {

// The value when horizontal and vertical agree.
std::optional<double> same(double x, double y)
{
    return x == y ? std::optional(x) : std::nullopt;
}

} // namespace

std::optional<double> pngDpi(const QByteArray &file)
{
    // pHYs: length 9, X and Y pixels per unit, unit 1 (metre).
    const qsizetype at = file.indexOf("pHYs");
    if (at < 4 || at + 13 > file.size() || qFromBigEndian<quint32>(u8(file) + at - 4) != 9 || file[at + 12] != 1)
        return std::nullopt;
    return same(qFromBigEndian<quint32>(u8(file) + at + 4) * 0.0254, qFromBigEndian<quint32>(u8(file) + at + 8) * 0.0254);
}

std::optional<double> jpegDpi(const QByteArray &file)
{
    // SOI, then APP0 "JFIF\0", version, units (1: inch), X density, Y density.
    if (file.size() < 20 || !file.startsWith("\xff\xd8\xff\xe0") || file.mid(6, 5) != QByteArray("JFIF\0", 5) || file[13] != 1)
        return std::nullopt;
    return same(qFromBigEndian<quint16>(u8(file) + 14), qFromBigEndian<quint16>(u8(file) + 16));
}

std::optional<double> bmpDpi(const QByteArray &file)
{
    if (file.size() < 54 || !file.startsWith("BM"))
        return std::nullopt;
    return same(qFromLittleEndian<qint32>(u8(file) + 38) * 0.0254, qFromLittleEndian<qint32>(u8(file) + 42) * 0.0254);
}

std::optional<double> tiffDpi(const QByteArray &file)
{
    const std::optional<TiffResolution> resolution = readTiffResolution(file);
    return resolution && resolution->unit == 2 ? same(resolution->x, resolution->y) : std::nullopt;
}

std::optional<double> jp2Dpi(const QByteArray &file)
{
    const std::optional<QByteArray> resc = findBox(findBox(findBox(file, "jp2h").value_or(""), "res ").value_or(""), "resc");
    if (!resc || resc->size() != 10)
        return std::nullopt;
    // Vertical numerator, denominator, horizontal numerator, denominator, exponents: per metre.
    const auto *p = u8(*resc);
    return same(double(qFromBigEndian<quint16>(p)) / qFromBigEndian<quint16>(p + 2) * std::pow(10.0, qint8(p[8])) * 0.0254,
                double(qFromBigEndian<quint16>(p + 4)) / qFromBigEndian<quint16>(p + 6) * std::pow(10.0, qint8(p[9])) * 0.0254);
}

std::optional<double> heicDpi(const QByteArray &file)
{
    const std::optional<HeicDecoded> decoded = decodeHeic(file);
    return decoded ? tiffDpi(decoded->exif) : std::nullopt;
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
    QBuffer buffer;
    buffer.setData(file);
    return QImageReader(&buffer, formats[formatIndex]).read();
}

} // namespace exporttest
