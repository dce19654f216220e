#include "BitmapImageRep.h"

#include <cstring>

namespace zembrix {

namespace {

BitmapImageRep copyRows(const QImage &image, int bitsPerSample, int samplesPerPixel, int bitsPerPixel,
                        bool premultiplied)
{
    BitmapImageRep rep;
    rep.pixelsWide = image.width();
    rep.pixelsHigh = image.height();
    rep.bitsPerSample = bitsPerSample;
    rep.samplesPerPixel = samplesPerPixel;
    rep.bitsPerPixel = bitsPerPixel;
    rep.alphaPremultiplied = premultiplied;
    rep.bytesPerRow = (qsizetype(image.width()) * bitsPerPixel + 7) / 8;
    rep.bitmapData.resize(rep.bytesPerRow * image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(rep.bitmapData.data() + qsizetype(y) * rep.bytesPerRow, image.constScanLine(y),
                    size_t(rep.bytesPerRow));
    return rep;
}

} // namespace

BitmapImageRep BitmapImageRep::fromImage(const QImage &image)
{
    if (image.isNull())
        return {};
    switch (image.format()) {
    case QImage::Format_Mono: return copyRows(image, 1, 1, 1, false);
    case QImage::Format_MonoLSB: return copyRows(image.convertToFormat(QImage::Format_Mono), 1, 1, 1, false);
    case QImage::Format_Grayscale8: return copyRows(image, 8, 1, 8, false);
    case QImage::Format_Grayscale16: return copyRows(image, 16, 1, 16, false);
    case QImage::Format_RGB888: return copyRows(image, 8, 3, 24, false);
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
        return copyRows(image.convertToFormat(QImage::Format_RGBA64_Premultiplied), 16, 4, 64, true);
    default: return copyRows(image.convertToFormat(QImage::Format_RGBA8888_Premultiplied), 8, 4, 32, true);
    }
}

QImage BitmapImageRep::toImage() const
{
    if (isNull() || planar || bitsPerSample != 8 || samplesPerPixel != 4 || bitsPerPixel != 32 || !alphaPremultiplied
        || bytesPerRow < qsizetype(pixelsWide) * 4 || bitmapData.size() < bytesPerRow * pixelsHigh)
        return {};
    QImage image(pixelsWide, pixelsHigh, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull())
        return {};
    for (int y = 0; y < pixelsHigh; ++y)
        std::memcpy(image.scanLine(y), row(y), size_t(pixelsWide) * 4);
    return image;
}

} // namespace zembrix
