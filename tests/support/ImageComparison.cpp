#include "ImageComparison.h"

#include <algorithm>
#include <cstdlib>

PixelDifference compareImages(const QImage &a, const QImage &b, bool premultiplied)
{
    if (a.size() != b.size())
        return {256, 256.0};
    const QImage::Format format = premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
    const QImage ia = a.convertToFormat(format), ib = b.convertToFormat(format);
    PixelDifference result;
    double total = 0.0;
    for (int y = 0; y < ia.height(); ++y)
        for (int x = 0; x < ia.width(); ++x) {
            const QRgb pa = ia.pixel(x, y), pb = ib.pixel(x, y);
            for (int shift : {0, 8, 16, 24}) {
                const int d = std::abs(int((pa >> shift) & 0xff) - int((pb >> shift) & 0xff));
                result.maximum = std::max(result.maximum, d);
                total += d;
            }
        }
    result.mean = ia.isNull() ? 0.0 : total / (4.0 * ia.width() * ia.height());
    return result;
}
