#pragma once

#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <functional>

// Small pictures for the effects tests, built pixel by pixel.
namespace testpictures {

// An ARGB32 (not premultiplied) picture whose pixel (x, y) is colour(x, y).
inline QImage make(int width, int height, const std::function<QRgb(int, int)> &colour,
                   QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colour(x, y));
    return format == QImage::Format_ARGB32 ? image : image.convertToFormat(format);
}

// Every pixel different: red and green tell the column and row.
inline QImage numbered(int width, int height, QImage::Format format = QImage::Format_ARGB32)
{
    return make(
        width, height, [](int x, int y) { return qRgba(10 + 20 * x, 10 + 20 * y, 90, 255); }, format);
}

// Largest difference of one component between two colours (alpha included).
inline int distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)),
                     std::abs(qAlpha(a) - qAlpha(b))});
}

} // namespace testpictures
