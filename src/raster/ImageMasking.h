#pragma once

#include <QImage>

namespace zembrix {

// Combines a built image with its mask picture (ISO 32000-1 11.6.5.2 soft
// masks, 8.9.6.2 stencil masks) into a picture with transparency.
//
// mask: the mask stream built as a picture, read as gray (any format is
// converted to Grayscale8 first; a 1-bit mask arrives as 0 and 255), with
// its /Decode array already applied by the caller.
//
// The picture has the size of the larger of the two (by pixel count): a mask
// finer than its image is not coarsened, the image is scaled up to it (as a
// reader draws both into one rectangle), so the shape the mask cuts is kept.
// The smaller one is scaled to that size: a soft mask or an image smoothly,
// a stencil with nearest-neighbour sampling (a half-size stencil decides
// 2 x 2 blocks).
//
// softMask true (/SMask): the alpha of every pixel is the soft-mask sample,
// 0 transparent .. 255 opaque, so 128 gives alpha 128.
//
// softMask false (/Mask stencil): a mask sample of 128 or more (the 1 of a
// 1-bit mask) removes the pixel (alpha 0), a lower one lets it show.
//
// An alpha the image already has is multiplied with the mask's. A null mask
// leaves the image unmasked. The result is always QImage::Format_ARGB32 (not
// premultiplied, 8 bits per channel; 16-bit images are reduced), or null for
// a null image. An image handed over as the only reference to an RGB32 or
// ARGB32 picture of the result's size becomes the result in place, with no
// second copy of its pixels. Thread-safe.
QImage maskImage(QImage image, const QImage &mask, bool softMask);

// The size maskImage() gives for an image and a mask of these sizes.
QSize maskedPictureSize(QSize image, QSize mask);

} // namespace zembrix
