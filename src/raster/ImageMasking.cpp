#include "ImageMasking.h"

#include <vector>

namespace zembrix {

namespace {

// The soft mask at the image's size: the mask itself, or the mask scaled
// smoothly to that size, as Grayscale8.
QImage softMaskAtSize(const QImage &gray, QSize size)
{
    if (gray.size() == size)
        return gray;
    return gray.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_Grayscale8);
}

// Nearest-neighbour source position of every destination position, each
// destination sampled at its centre.
std::vector<int> nearestPositions(int destination, int source)
{
    std::vector<int> positions(static_cast<size_t>(destination));
    for (int i = 0; i < destination; ++i)
        positions[size_t(i)] = int((2 * qint64(i) + 1) * source / (2 * qint64(destination)));
    return positions;
}

// The image at `size`: itself, or scaled smoothly in a 32-bit format (which
// becomes ARGB32 without a copy).
QImage imageAtSize(QImage image, QSize size)
{
    if (image.size() == size)
        return image;
    const QImage::Format wide = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    return image.convertToFormat(wide).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

QSize maskedPictureSize(QSize image, QSize mask)
{
    return qint64(mask.width()) * mask.height() > qint64(image.width()) * image.height() ? mask : image;
}

QImage maskImage(QImage image, const QImage &mask, bool softMask)
{
    if (image.isNull())
        return {};
    if (!mask.isNull()) {
        const QSize size = maskedPictureSize(image.size(), mask.size());
        image = imageAtSize(std::move(image), size);
    }
    QImage result = std::move(image).convertToFormat(QImage::Format_ARGB32);
    if (result.isNull() || mask.isNull())
        return result;
    const QImage gray = mask.convertToFormat(QImage::Format_Grayscale8);
    if (gray.isNull())
        return result;
    const int width = result.width(), height = result.height();

    if (softMask) {
        const QImage scaled = softMaskAtSize(gray, result.size());
        if (scaled.isNull())
            return result;
        for (int y = 0; y < height; ++y) {
            QRgb *pixel = reinterpret_cast<QRgb *>(result.scanLine(y));
            const uchar *sample = scaled.constScanLine(y);
            for (int x = 0; x < width; ++x) {
                const int alpha = (qAlpha(pixel[x]) * sample[x] + 127) / 255;
                pixel[x] = (pixel[x] & 0x00ffffffu) | (QRgb(alpha) << 24);
            }
        }
        return result;
    }

    const std::vector<int> columns = nearestPositions(width, gray.width());
    const std::vector<int> rows = nearestPositions(height, gray.height());
    for (int y = 0; y < height; ++y) {
        QRgb *pixel = reinterpret_cast<QRgb *>(result.scanLine(y));
        const uchar *sample = gray.constScanLine(rows[size_t(y)]);
        for (int x = 0; x < width; ++x)
            if (sample[columns[size_t(x)]] >= 128)
                pixel[x] &= 0x00ffffffu;
    }
    return result;
}

} // namespace zembrix
