#include "MaskStreaming.h"

#include "ImageDictionary.h"
#include "PdfStreamDecoder.h"
#include "raster/GrayRowReducer.h"
#include "raster/RasterImage.h"

#include <vector>

namespace zembrix {

namespace {

bool isGraySpace(const TColorSpace *colorSpace)
{
    if (!colorSpace || !colorSpace->getName())
        return false;
    const QString &name = *colorSpace->getName();
    return name == QLatin1String("/DeviceGray") || name == QLatin1String("/CalGray")
           || (name == QLatin1String("/ICCBased") && colorSpace->getBase().count() == 1);
}

// The 256 expanded sample values after the stream's /Decode array.
std::array<uchar, 256> decodeLevels(const PdfObject &stream)
{
    RasterImage ramp = RasterImage::create(256, 1, ColorModel::Gray, 8, false, 256);
    for (int i = 0; i < 256; ++i)
        ramp.row(0)[i] = uchar(i);
    if (const std::vector<double> decode = decodeArrayOf(stream); !decode.empty())
        applyDecodeArray(ramp, decode);
    std::array<uchar, 256> levels{};
    for (int i = 0; i < 256; ++i)
        levels[size_t(i)] = ramp.row(0)[i];
    return levels;
}

} // namespace

bool isStencilMask(const PdfObject &stream, int bitsPerComponent, bool softMask)
{
    bool imageMask = false;
    stream.getBooleanEntry("ImageMask", &imageMask);
    return imageMask || (!softMask && bitsPerComponent == 1);
}

bool isStreamedMask(double width, double height, QSize target)
{
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6))
        return false;
    const double pixels = width * height;
    return pixels > double(kStreamedMaskPixels) && pixels > double(target.width()) * target.height();
}

QImage streamedMaskPicture(const PdfObject &stream, const TColorSpace *colorSpace, int width, int height,
                           int bitsPerComponent, QSize target, bool softMask)
{
    const bool stencil = isStencilMask(stream, bitsPerComponent, softMask);
    const int bits = stencil ? 1 : bitsPerComponent;
    if (!stencil && !isGraySpace(colorSpace))
        return {};
    GrayRowReducer reducer(width, height, bits, target,
                           softMask ? GrayRowReducer::Sampling::Averaged : GrayRowReducer::Sampling::Nearest,
                           decodeLevels(stream));
    if (!reducer.isValid())
        return {};
    const bool decoded =
        decodePdfStreamTo(stream, stream.decodedSizeLimit(), [&reducer](QByteArrayView bytes) { reducer.add(bytes); });
    return decoded ? reducer.result() : QImage();
}

bool applyStreamedMask(QImage &picture, const PdfObject &stream, const TColorSpace *colorSpace, int bitsPerComponent,
                       bool softMask)
{
    const bool stencil = isStencilMask(stream, bitsPerComponent, softMask);
    const int bits = stencil ? 1 : bitsPerComponent;
    if (picture.format() != QImage::Format_ARGB32 || (!stencil && !isGraySpace(colorSpace))
        || (bits != 1 && bits != 2 && bits != 4 && bits != 8))
        return false;
    const std::array<uchar, 256> levels = decodeLevels(stream);
    const int width = picture.width(), height = picture.height(), largest = (1 << bits) - 1;
    std::vector<uchar> row(size_t((qint64(width) * bits + 7) / 8));
    size_t filled = 0;
    int y = 0;
    const bool decoded = decodePdfStreamTo(stream, stream.decodedSizeLimit(), [&](QByteArrayView bytes) {
        for (qsizetype i = 0; i < bytes.size() && y < height; ++i) {
            row[filled++] = uchar(bytes[i]);
            if (filled < row.size())
                continue;
            QRgb *pixel = reinterpret_cast<QRgb *>(picture.scanLine(y++));
            for (int x = 0; x < width; ++x) {
                const qint64 bit = qint64(x) * bits;
                const uchar level =
                    levels[size_t(((row[size_t(bit / 8)] >> (8 - bits - bit % 8)) & largest) * 255 / largest)];
                const int alpha = softMask ? level : (level >= 128 ? 0 : 255);
                pixel[x] = (pixel[x] & 0x00ffffffu) | (QRgb(alpha) << 24);
            }
            filled = 0;
        }
    });
    if (decoded && y == height)
        return true;
    for (int masked = 0; masked < y; ++masked) {
        QRgb *pixel = reinterpret_cast<QRgb *>(picture.scanLine(masked));
        for (int x = 0; x < width; ++x)
            pixel[x] |= 0xff000000u;
    }
    return false;
}

} // namespace zembrix
