#include "IconScaling.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace zembrix {

int getIconSize(IconFileType type, int smallerSide)
{
    if (type == IconFileType::Icns && smallerSide >= 1024)
        return 1024;
    if (type == IconFileType::Icns && smallerSide >= 512)
        return 512;
    if (smallerSide > 255)
        return 256;
    if (smallerSide >= 128)
        return 128;
    if (smallerSide >= 48)
        return 48;
    return 16;
}

QTransform imageTransformToFitView(QSize imageSize, int size)
{
    if (imageSize.isEmpty() || size <= 0)
        return QTransform();
    const float k = std::min(float(size) / float(imageSize.width()), float(size) / float(imageSize.height()));
    return QTransform::fromScale(k, k);
}

QImage drawCentredInSquare(const QImage &image, int size, QSize drawnSize, bool smooth)
{
    if (image.isNull() || size <= 0 || size > kMaxIconEdge)
        return {};
    const QSize drawn(std::clamp(drawnSize.width(), 1, size), std::clamp(drawnSize.height(), 1, size));

    QImage square(size, size, QImage::Format_ARGB32_Premultiplied);
    if (square.isNull())
        return {};
    square.fill(Qt::transparent);

    // QImage::scaled averages over the source when shrinking, where a painter
    // transform would only interpolate between neighbours.
    const QImage scaled =
        image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
            .scaled(drawn, Qt::IgnoreAspectRatio, smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
    if (scaled.isNull())
        return {};

    QPainter painter(&square);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPoint((size - drawn.width()) / 2, (size - drawn.height()) / 2), scaled);
    painter.end();
    return square;
}

QImage scaleImage(const QImage &image, int size)
{
    if (image.isNull() || size <= 0 || size > kMaxIconEdge)
        return {};
    const double k = imageTransformToFitView(image.size(), size).m11();
    const QSize drawn(int(std::lround(k * image.width())), int(std::lround(k * image.height())));
    return drawCentredInSquare(image, size, drawn, true);
}

} // namespace zembrix
