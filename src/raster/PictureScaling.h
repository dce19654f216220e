#pragma once

#include <QImage>
#include <QSize>

namespace zembrix {

// A picture scaled to `size` for viewing (reduced copies, pictures drawn at
// their dictionary's size). One-bit pictures are reduced by averaging each
// output pixel's box of bits into a gray level, which is fast and keeps thin
// strokes visible; they are enlarged, and other pictures scaled, smoothly.
// Null for a null picture or an empty size. Thread-safe.
QImage scaledPicture(const QImage &picture, QSize size);

} // namespace zembrix
