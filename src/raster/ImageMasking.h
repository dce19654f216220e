#pragma once

#include <QImage>

// Combines a built image with its mask picture (ISO 32000-1 11.6.5.2 soft
// masks, 8.9.6.2 stencil masks) into a picture with transparency.
//
// mask: the mask stream built as a picture, read as gray (any format is
// converted to Grayscale8 first; a 1-bit mask arrives as 0 and 255), with
// its /Decode array already applied by the caller.
//
// softMask true (/SMask): the alpha of every pixel is the soft-mask sample,
// 0 transparent .. 255 opaque, so 128 gives alpha 128. A mask of another size
// is scaled to the image with smooth (bilinear) scaling first.
//
// softMask false (/Mask stencil): a mask sample of 128 or more (the 1 of a
// 1-bit mask) removes the pixel (alpha 0), a lower one lets it show. The
// stencil is stretched over the image with nearest-neighbour sampling, so a
// half-size stencil decides 2 x 2 blocks.
//
// An alpha the image already has is multiplied with the mask's. A null mask
// leaves the image unmasked. The result is always QImage::Format_ARGB32 (not
// premultiplied, 8 bits per channel; 16-bit images are reduced), or null for
// a null image. Thread-safe.
QImage maskImage(const QImage &image, const QImage &mask, bool softMask);
