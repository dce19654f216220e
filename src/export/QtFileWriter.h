#pragma once

#include <QByteArray>
#include <QImage>

namespace zembrix {

// Encodes an image as JPEG, TIFF, PNG or BMP (export format indexes 0, 2, 3, 4)
// with Qt's image writers, the DPI written as each format's resolution field:
// JFIF density and TIFF X/YResolution in whole dots per inch, PNG pHYs and
// BMP in whole pels per metre. JPEG and BMP have no alpha: a translucent image is flattened
// on white first. Pixel size is never changed. Empty on failure or for any
// other index. Any thread.
QByteArray encodeWithQtWriter(const QImage &image, int formatIndex, float dpi);

// The image composited over opaque white, as RGB32.
QImage flattenedOnWhite(const QImage &image);

} // namespace zembrix
