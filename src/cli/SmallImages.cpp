#include "SmallImages.h"

#include "images/PDFImageStruct.h"

#include <QRegularExpression>

namespace zembrix {

namespace SmallImages {

std::optional<QSize> parseSize(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,6})\\s*[xX]\\s*(\\d{1,6})\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int w = m.captured(1).toInt(), h = m.captured(2).toInt();
    if (w < 1 || h < 1 || w > 100000 || h > 100000)
        return std::nullopt;
    return QSize(w, h);
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

bool isSmall(const PDFImageStruct &image, QSize minimum)
{
    if (minimum.isEmpty())
        return false;
    const ImageSource source = image.source();
    QSizeF size(source.width, source.height);
    // A record not made by a walk knows only its picture.
    if (!(size.width() > 0 && size.height() > 0))
        size = image.image().size();
    return size.width() < minimum.width() || size.height() < minimum.height();
}

ImageRecordList withoutSmall(const ImageRecordList &images, QSize minimum)
{
    if (minimum.isEmpty())
        return images;
    ImageRecordList kept;
    for (const auto &image : images)
        if (image && !isSmall(*image, minimum))
            kept << image;
    return kept;
}

QString hiddenImagesText(int count, QSize minimum)
{
    return QStringLiteral("%1 %2 smaller than %3")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("image") : QStringLiteral("images"), sizeText(minimum));
}

} // namespace SmallImages

} // namespace zembrix
