#pragma once

#include <QByteArray>
#include <QImage>

namespace zembrix {

// Encodes an image as a JP2 file with OpenJPEG: lossless (reversible 5/3
// wavelet, one quality layer), sRGB or grayscale, alpha kept as a fourth
// component marked as opacity, 16 bits per component for 16-bit images and 8
// otherwise. The DPI goes into a 'res ' box in the 'jp2h' header box.
// Empty on failure. Any thread.
QByteArray encodeJpeg2000(const QImage &image, float dpi);

} // namespace zembrix
