#pragma once

#include <QString>

namespace zembrix {

// One field of a --list line: a tab, a newline and a backslash are written as
// \t, \n and \\, so that every image stays one line of tab-separated fields
// whatever its file is called.
QString listField(const QString &text);

} // namespace zembrix
