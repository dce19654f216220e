#include "ExportTestDecoders.h"

#include "raster/Jpeg2000Decoder.h"

#include <libheif/heif.h>

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <cmath>
#include <memory>

using namespace zembrix;

namespace exporttest {

namespace {

const uchar *u8(const QByteArray &bytes)
{
    return reinterpret_cast<const uchar *>(bytes.constData());
}

// Length-prefixed chunks from `pos` to the end: JP2 boxes (length, type) or ICNS elements (type, length).
std::optional<Boxes> chunks(const QByteArray &bytes, qsizetype pos, bool typeFirst)
{
    Boxes out;
    while (pos < bytes.size()) {
        const quint32 length = pos + 8 <= bytes.size() ? qFromBigEndian<quint32>(u8(bytes) + pos + (typeFirst ? 4 : 0)) : 0;
        if (length < 8 || pos + qsizetype(length) > bytes.size())
            return std::nullopt;
        out.emplace_back(bytes.mid(pos + (typeFirst ? 0 : 4), 4), bytes.mid(pos + 8, length - 8));
        pos += length;
    }
    return out;
}

QByteArray findBox(const QByteArray &bytes, const char *type)
{
    for (const auto &[boxType, content] : jp2Boxes(bytes).value_or(Boxes{}))
        if (boxType == type)
            return content;
    return {};
}

std::optional<double> same(double x, double y)
{
    return x == y ? std::optional(x) : std::nullopt;
}

// X/YResolution of a big-endian TIFF structure (the Exif block), in inches (ResolutionUnit 2,
// also when absent).
std::optional<double> tiffDpi(const QByteArray &tiff)
{
    const auto u16 = [&](qsizetype at) -> quint32 { return qFromBigEndian<quint16>(u8(tiff) + at); };
    const auto u32 = [&](qsizetype at) -> quint32 { return qFromBigEndian<quint32>(u8(tiff) + at); };
    if (tiff.size() < 8 || !tiff.startsWith(QByteArray("MM\0*", 4)))
        return std::nullopt;
    const qsizetype ifd = u32(4);
    if (ifd + 2 > tiff.size() || ifd + 2 + qsizetype(u16(ifd)) * 12 > tiff.size())
        return std::nullopt;
    double resolution[2] = {-1, -1};
    quint32 unit = 2;
    for (quint32 i = 0; i < u16(ifd); ++i) {
        const qsizetype entry = ifd + 2 + qsizetype(i) * 12;
        const quint32 tag = u16(entry), type = u16(entry + 2);
        if ((tag == 0x011A || tag == 0x011B) && type == 5) { // RATIONAL
            const qsizetype at = u32(entry + 8);
            if (at + 8 > tiff.size() || u32(at + 4) == 0)
                return std::nullopt;
            resolution[tag - 0x011A] = double(u32(at)) / double(u32(at + 4));
        } else if (tag == 0x0128 && type == 3) {
            unit = u16(entry + 8);
        }
    }
    return unit == 2 && resolution[0] >= 0 ? same(resolution[0], resolution[1]) : std::nullopt;
}

} // namespace

QImage gradientImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int a = x < width / 4 && y < height / 4 ? 0 : y >= height - height / 8 ? 128
                                                                                         : 255;
            image.setPixel(x, y, qRgba(width > 1 ? x * 255 / (width - 1) : 0, height > 1 ? y * 255 / (height - 1) : 0, 96, a));
        }
    return image;
}

QImage opaqueGradientImage(int width, int height)
{
    QImage image = gradientImage(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, image.pixel(x, y) | 0xFF000000u);
    return image.convertToFormat(QImage::Format_RGB32);
}

std::optional<Boxes> jp2Boxes(const QByteArray &bytes)
{
    return chunks(bytes, 0, false);
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
    heif_image_handle *rawHandle = nullptr;
    if (heif_context_read_from_memory_without_copy(context.get(), file.constData(), size_t(file.size()), nullptr).code
            != heif_error_Ok
        || heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle *)> handle(rawHandle, heif_image_handle_release);

    HeicDecoded result;
    result.hasAlpha = heif_image_handle_has_alpha_channel(handle.get());
    heif_item_id exifId = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle.get(), "Exif", &exifId, 1) == 1) {
        QByteArray block(qsizetype(heif_image_handle_get_metadata_size(handle.get(), exifId)), '\0');
        if (heif_image_handle_get_metadata(handle.get(), exifId, block.data()).code == heif_error_Ok && block.size() >= 4) {
            result.exifOffset = qFromBigEndian<quint32>(u8(block));
            result.exif = block.mid(4 + qsizetype(result.exifOffset));
        }
    }
    heif_image *rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code
        != heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_image, void (*)(const heif_image *)> image(rawImage, heif_image_release);
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!plane || width <= 0 || height <= 0)
        return std::nullopt;
    // A deep copy: the plane goes with the heif_image.
    result.image = QImage(plane, width, height, stride, QImage::Format_RGBA8888).convertToFormat(QImage::Format_ARGB32);
    return result;
}

std::optional<double> dpiOfFile(int formatIndex, const QByteArray &file)
{
    if (formatIndex == 1) { // 'resc' in 'res ' in 'jp2h': vertical, horizontal fractions per metre, exponents
        const QByteArray resc = findBox(findBox(findBox(file, "jp2h"), "res "), "resc");
        if (resc.size() != 10)
            return std::nullopt;
        const uchar *p = u8(resc);
        const auto perInch = [p](int at, int exponent) {
            return double(qFromBigEndian<quint16>(p + at)) / qFromBigEndian<quint16>(p + at + 2)
                   * std::pow(10.0, qint8(p[exponent])) * 0.0254;
        };
        return same(perInch(0, 8), perInch(4, 9));
    }
    if (formatIndex == 6) {
        const std::optional<HeicDecoded> decoded = decodeHeic(file);
        return decoded ? tiffDpi(decoded->exif) : std::nullopt;
    }
    if (formatIndex == 5)
        return std::nullopt;
    // Qt's readers keep the field in whole dots per metre.
    const QImage image = decodeExportFile(formatIndex, file);
    return image.isNull() ? std::nullopt : same(image.dotsPerMeterX() * 0.0254, image.dotsPerMeterY() * 0.0254);
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

std::optional<std::vector<IcnsElement>> parseIcns(const QByteArray &file)
{
    if (file.size() < 8 || !file.startsWith("icns") || qFromBigEndian<quint32>(u8(file) + 4) != quint32(file.size()))
        return std::nullopt;
    const std::optional<Boxes> found = chunks(file, 8, true);
    if (!found)
        return std::nullopt;
    std::vector<IcnsElement> elements;
    for (const auto &[type, data] : *found)
        elements.push_back({type, data});
    return elements;
}

QList<QByteArray> icnsTypes(const QByteArray &file)
{
    QList<QByteArray> types;
    for (const IcnsElement &element : parseIcns(file).value_or(std::vector<IcnsElement>{}))
        types << element.type;
    return types;
}

} // namespace exporttest
