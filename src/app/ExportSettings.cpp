#include "ExportSettings.h"

#include "export/ExportResolution.h"

#include <QRegularExpression>

#include <cmath>

namespace zembrix {

namespace ExportSettings {

QStringList dpiChoices()
{
    return {QStringLiteral("72"), QStringLiteral("150"), QStringLiteral("300"), QStringLiteral("600"),
            QStringLiteral("Auto")};
}

int dpiChoiceIndex(float dpi)
{
    const float choices[] = {72.0f, 150.0f, 300.0f, 600.0f};
    for (int i = 0; i < 4; ++i)
        if (dpi == choices[i])
            return i;
    return dpi == kPlacedDpi ? 4 : -1;
}

QString dpiText(float dpi)
{
    if (dpi == kPlacedDpi)
        return QStringLiteral("Auto");
    if (!std::isfinite(dpi))
        return QStringLiteral("0");
    return QString::number(qint64(dpi));
}

DpiEdit classifyDpiText(const QString &text, float *value)
{
    // The leading number of the text, as a text field's float value reads it:
    // "150 dpi" is 150, "abc" is 0.
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    if (text.trimmed().compare(QLatin1String("Auto"), Qt::CaseInsensitive) == 0) {
        if (value)
            *value = kPlacedDpi;
        return DpiEdit::Apply;
    }
    const QRegularExpressionMatch match = number.match(text);
    float v = match.hasMatch() ? match.captured(0).trimmed().toFloat() : 0.0f;
    if (!std::isfinite(v))
        v = 0.0f;
    if (value)
        *value = v;
    if (v >= kLowestTypedDpi && v <= kHighestTypedDpi)
        return DpiEdit::Apply;
    if (v > 0 && v < kLowestTypedDpi)
        return DpiEdit::SelectFirst;
    if (v > kHighestTypedDpi)
        return DpiEdit::ShowMaximum;
    return DpiEdit::ShowCurrent;
}

} // namespace ExportSettings

} // namespace zembrix
