#pragma once

#include "PdfObject.h"
#include "TColorSpace.h"

#include <QImage>
#include <QSize>

namespace zembrix {

// A mask stream of more pixels than this, and than the picture it masks, is
// brought to the picture's size while it decodes instead of being built at
// its own size (a 20000 x 20000 soft mask on a 4 x 4 image is 400 MB of
// samples that the 4 x 4 picture does not need).
inline constexpr qint64 kStreamedMaskPixels = qint64(16) << 20;

// Whether a mask of width x height pixels is reduced while it decodes when
// it masks a picture of `target`.
bool isStreamedMask(double width, double height, QSize target);

// Whether a mask stream is read as a stencil (ISO 32000-1 8.9.6.3): an image
// mask, or any /Mask stream of one bit per sample, which a /Mask stream must
// be; its /ImageMask false and its colour space are then passed over.
bool isStencilMask(const PdfObject &stream, int bitsPerComponent, bool softMask);

// The mask stream (plain gray or image-mask samples of 1 to 8 bits under
// general filters, or CCITT and JBIG2 data) as a Grayscale8 picture of
// `target`: a soft mask averaged, a stencil sampled at pixel centres, with
// its /Decode array applied (a stencil's sample 0 gives 0, which lets the
// image show, unless the array is [1 0]). Null when the stream is of another
// kind or its data cannot be read or is short.
QImage streamedMaskPicture(const PdfObject &stream, const TColorSpace *colorSpace, int width, int height,
                           int bitsPerComponent, QSize target, bool softMask);

// Masks an opaque ARGB32 picture of the mask stream's own size row by row
// while the mask decodes, so that the mask never exists whole: the alpha
// maskImage() would give. False when the stream is of another kind, or its
// data cannot be read or is short; the picture is then opaque as it was.
bool applyStreamedMask(QImage &picture, const PdfObject &stream, const TColorSpace *colorSpace, int bitsPerComponent,
                       bool softMask);

} // namespace zembrix
