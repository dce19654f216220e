#pragma once

#include "images/EmbeddedPicture.h"

#include <QByteArray>
#include <QString>

namespace zembrix {

// The file an image's stored coded data makes on its own, with only its
// resolution fields set to the DPI: JPEG data as a .jpg (JFIF density),
// a JP2 file as a .jp2 ('res ' box) or a bare codestream as a .j2k (which
// has no resolution field), a CCITT fax strip wrapped unchanged in a .tif
// (X/YResolution). The coded data itself is never changed.
struct OriginalFile {
    QByteArray bytes;  // empty when the data cannot stand on its own
    QString extension; // without the dot
    QString obstacle;  // why not, when bytes is empty
    QString note;      // something the user should know about a file that was made
};

OriginalFile originalFile(const EmbeddedPicture &picture, float dpi);

} // namespace zembrix
