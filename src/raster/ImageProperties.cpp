#include "ImageProperties.h"

#include <QList>
#include <QPair>

#include <algorithm>
#include <cmath>

namespace zembrix {

namespace {

QString modelName(ColorModel model)
{
    switch (model) {
    case ColorModel::Gray: return QStringLiteral("Gray");
    case ColorModel::RGB: return QStringLiteral("RGB");
    case ColorModel::CMYK: return QStringLiteral("CMYK");
    }
    return {};
}

QString resolutionText(double dpi)
{
    return QString::number(std::round(dpi * 100.0) / 100.0, 'g', 12);
}

} // namespace

QString formatPropertiesText(const ImageProperties &properties)
{
    QList<QPair<QString, QString>> entries{
        {QStringLiteral("ColorModel"), modelName(properties.model)},
        {QStringLiteral("Depth"), QString::number(properties.depth)},
        {QStringLiteral("PixelWidth"), QString::number(properties.pixelWidth)},
        {QStringLiteral("PixelHeight"), QString::number(properties.pixelHeight)},
    };
    if (properties.dpiWidth)
        entries.append({QStringLiteral("DPIWidth"), resolutionText(*properties.dpiWidth)});
    if (properties.dpiHeight)
        entries.append({QStringLiteral("DPIHeight"), resolutionText(*properties.dpiHeight)});
    std::sort(entries.begin(), entries.end(),
              [](const auto &a, const auto &b) { return a.first.compare(b.first, Qt::CaseInsensitive) < 0; });

    QString text = QStringLiteral("{\n");
    for (const auto &[key, value] : entries)
        text += QStringLiteral("    ") + key + QStringLiteral(" = ") + value + QStringLiteral(";\n");
    text += QLatin1Char('}');
    return text;
}

} // namespace zembrix
