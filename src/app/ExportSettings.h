#pragma once

#include <QString>
#include <QStringList>

namespace zembrix {

// The export resolution field: its list and the check made when typing ends.
namespace ExportSettings {

// "72", "150", "300", "600".
QStringList dpiChoices();
// The list position of a resolution, -1 when it is not one of the four.
int dpiChoiceIndex(float dpi);
// The text the field shows for a resolution: the integer part.
QString dpiText(float dpi);

// What typing `text` into the field and leaving it does.
enum class DpiEdit {
    Apply,       // 72 to 3600: the value becomes the resolution
    SelectFirst, // above 0 and below 72: the field selects 72
    ShowMaximum, // above 3600: the field shows 3600
    ShowCurrent, // 0, below 0, or no number: the field shows the resolution in use
};
// `value` is the number the text starts with (0 when it starts with none).
DpiEdit classifyDpiText(const QString &text, float *value = nullptr);

inline constexpr float kLowestTypedDpi = 72.0f;
inline constexpr float kHighestTypedDpi = 3600.0f;

} // namespace ExportSettings

} // namespace zembrix
