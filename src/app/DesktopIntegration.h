#pragma once

#include <QIcon>
#include <QString>

namespace zembrix {

// Where the installed pieces of the application are, and the help entry.
namespace DesktopIntegration {

// The help page main.html: the installed one (share/zembrix/help beside the
// binary's prefix), else the one of the source tree the binary was built
// from. Empty when neither is there.
QString helpPagePath();

// Opens the help page in the desktop's browser; false when there is none.
bool openHelp();

// The application icon, drawn at the usual sizes.
QIcon applicationIcon();

} // namespace DesktopIntegration

} // namespace zembrix
