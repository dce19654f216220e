#pragma once

class QApplication;

namespace zembrix {

// The window's look: Fusion with a dark grey palette and light grey text, and
// one style sheet for the few details a palette cannot say.
void applyDarkStyle(QApplication &app);

} // namespace zembrix
