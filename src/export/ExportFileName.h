#pragma once

#include <QString>

namespace zembrix {

// The file name an image name gives inside the export folder: always exactly one path component,
// so that nothing an image name holds (a pattern "../x_###", a PDF called "...pdf" put in front
// of "/img_###") can place a file outside the folder. A name with separators is reduced to its
// last component; a component that is empty, "." or ".." has its dots and separators replaced
// by "_". NUL characters are dropped.
QString exportFileName(const QString &imageName);

// The longest file name a folder takes, in bytes.
inline constexpr qsizetype kMaxFileNameBytes = 255;
// `base` followed by `tail` (" (2).png"), fitted into kMaxFileNameBytes bytes
// in the file system's encoding: a longer `base` keeps its start and its last
// 16 characters, with "\u2026" (an ellipsis) where the middle was cut, at
// characters' edges.
QString fittedFileName(const QString &base, const QString &tail);

} // namespace zembrix
