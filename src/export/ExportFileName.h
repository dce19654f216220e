#pragma once

#include <QString>

// The file name an image name gives inside the export folder: always exactly one path component,
// so that nothing an image name holds (a pattern "../x_###", a PDF called "...pdf" put in front
// of "/img_###") can place a file outside the folder. A name with separators is reduced to its
// last component; a component that is empty, "." or ".." has its dots and separators replaced
// by "_". NUL characters are dropped.
QString exportFileName(const QString &imageName);

// The longest file name a folder takes, in bytes.
inline constexpr qsizetype kMaxFileNameBytes = 255;
// `base` followed by `tail` (" (2).png"), the end of `base` cut off, at a
// character's edge, as far as needed for the whole to fit kMaxFileNameBytes
// bytes in the file system's encoding.
QString fittedFileName(const QString &base, const QString &tail);
