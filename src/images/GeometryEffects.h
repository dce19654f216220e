#pragma once

#include <QImage>
#include <QSize>

namespace zembrix {

// Geometry steps of the effects chain. Both work in a y-up picture space, as
// the picture is seen on screen: a positive angle turns it counter-clockwise.
// A null image gives a null image. Safe on any thread; no state is kept.

// Turns `image` counter-clockwise by `angleDegrees` about its centre. The result
// holds the bounding box of the turned picture, moved so that it starts at the
// origin; for angles that are not multiples of 90 degrees its size is that box
// rounded up to whole pixels, the turned picture sits at the box's lower left
// (y-up), and everything outside the source is transparent.
//
// Angle 0 (or any multiple of 360, or a non-finite angle) returns `image`
// itself. Multiples of 90 degrees move pixels exactly and keep the pixel format
// (1-bit images come back as 8-bit indexed). Other angles resample bilinearly
// in premultiplied colour and return Format_ARGB32_Premultiplied; images with
// more than 8 bits per component are reduced to 8 bits for that. A result
// wider or taller than 2^20 pixels, or larger than 2^29 pixels, is not made:
// the result is null.
QImage rotate(QImage image, float angleDegrees);

// Mirrors `image` by a mirror code: bit value 1 top to bottom, bit value 2 left
// to right, 3 both (the same as a half turn). As in the chain's definition, only
// the codes 1 to 3 mirror anything; 0 and any other value return `image` itself.
// Keeps the pixel format.
QImage mirror(QImage image, int code);

} // namespace zembrix
