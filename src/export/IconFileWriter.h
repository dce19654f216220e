#pragma once

#include <QByteArray>
#include <QImage>

namespace zembrix {

// The ICNS file the image writer makes of one image: a single square icon of
// the size getIconSize chooses for the image's smaller side, the image fitted
// and centred in it (scaleImage). The element holding it:
//   1024, 512, 256, 128: PNG in 'ic10', 'ic09', 'ic08', 'ic07';
//   48: packed RGB 'ih32' with its 8-bit alpha 'h8mk';
//   16: packed RGB 'is32' with its 8-bit alpha 's8mk'.
// ICNS has no resolution field, so no DPI is written. Empty on failure.
// Any thread.
QByteArray encodeSingleIconFile(const QImage &image);

} // namespace zembrix
