#pragma once

#include <QByteArray>
#include <QImage>

namespace zembrix {

// Encodes an image as an HEIC file with libheif's HEVC (x265) encoder at
// quality 90, alpha kept as an alpha auxiliary image when the image has an
// alpha channel. The DPI goes into an Exif block (XResolution, YResolution,
// ResolutionUnit inch) attached to the image. Pixel size is unchanged. Empty
// on failure. Any thread; several encodes may run at the same time. The
// encoder's threads run at a lower scheduling priority than the caller's.
QByteArray encodeHeic(const QImage &image, float dpi);

inline constexpr int kHeicQuality = 90;

// The x265 preset for a picture of this many pixels: none (the encoder's
// own, slow) up to kHeicDefaultPresetPixels, "fast" up to four times that,
// "ultrafast" above, so that no picture takes much more than a few seconds.
inline constexpr qint64 kHeicDefaultPresetPixels = qint64(1) << 20;
const char *heicPresetFor(qint64 pixels);

} // namespace zembrix
