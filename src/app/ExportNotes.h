#pragma once

#include "export/ExportJobResult.h"

#include <QString>

namespace zembrix {

// The text the window shows after an export whose images have notes (the
// Original format's images written as PNG, with the reason): one line per
// image, "NAME: NOTE", the first few of them and a count of the rest.
// Empty when no image has a note.
QString exportNotesText(const ExportJobResult &result, int maxLines = 12);

} // namespace zembrix
