#pragma once

#include <QByteArray>
#include <QImage>

namespace zembrix {

// The SHA-256 of a picture's pixels, with its size and pixel format: equal
// for two pictures exactly when they hold the same pixels in the same
// layout. Padding bytes at the end of the rows are left out. Any thread.
QByteArray pictureDigest(const QImage &picture);

} // namespace zembrix
