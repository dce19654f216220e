#pragma once

#include <QImage>
#include <QSize>
#include <QTransform>

namespace zembrix {

// The icon file types whose square size the image writer chooses.
enum class IconFileType { Icns, Ico };

// The square edge for an icon written by the image writer, n being the
// smaller side of the image in pixels: for ICNS 1024 or 512 when n reaches
// them; then 256 when n > 255, 128 when n >= 128, 48 when n >= 48, otherwise 16.
// ICO never gets more than 256.
int getIconSize(IconFileType type, int smallerSide);

// The uniform scale that fits an image of `imageSize` into a square of `size`:
// the smaller of size / width and size / height (single precision).
QTransform imageTransformToFitView(QSize imageSize, int size);

// A new `size` x `size` image (ARGB32 premultiplied) with the image scaled by
// imageTransformToFitView and centred; the rest of the square is fully
// transparent. Null for a null image or a size outside 1 .. 4096. Any thread.
QImage scaleImage(const QImage &image, int size);

// Draws `image` scaled to `drawnSize` (smoothly unless `smooth` is false) onto
// a transparent `size` x `size` square, centred on whole pixels. The common
// step of scaleImage and the icon family resampling.
QImage drawCentredInSquare(const QImage &image, int size, QSize drawnSize, bool smooth);

inline constexpr int kMaxIconEdge = 4096;

} // namespace zembrix
