#pragma once

#include <QByteArray>
#include <QString>

namespace zembrix {

struct CommandLine;

// Command line arguments are bytes, and a file name need not be UTF-8 (a name
// written on a Latin-1 system). Qt gives every path to the system as UTF-8,
// so such a name cannot be reached through its text; it is reached through
// the file itself, opened by its bytes once.

// The argument as text: its valid UTF-8, and every other byte b as the lone
// surrogate U+DC00 + b, so that its bytes can be had back exactly.
QString argumentText(const QByteArray &bytes);
// The bytes argumentText() was given.
QByteArray argumentBytes(const QString &text);

// For the headless modes, after parsing: `paths` and `outPath` get what to
// open (a path Qt reaches; for a name that is not UTF-8, "/proc/self/fd/N" of
// the file or folder opened by its bytes, kept open for the life of the
// process; an --out folder that is not there yet is made first when its
// parent is), and `files` and `outDir` the arguments as they are shown, each
// byte that is not UTF-8 as U+FFFD.
void resolveArgumentPaths(CommandLine &cl);

} // namespace zembrix
