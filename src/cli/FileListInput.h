#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace zembrix {

// The file names of a --files-from list: one a line, or separated by NUL
// bytes (as `find -print0` writes them). `argument` is the list's path as
// argumentText() gives it, or "-" for standard input. Names are bytes: each
// comes back as argumentText() of its bytes, so a name that is not UTF-8
// reaches its file. Empty entries are dropped. None (with the reason in
// `error`) when the list cannot be read.
std::optional<QStringList> readFileList(const QString &argument, bool nullSeparated, QString *error);

} // namespace zembrix
