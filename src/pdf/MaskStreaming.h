#pragma once

#include "PdfObject.h"
#include "TColorSpace.h"

#include <QImage>
#include <QSize>

// A mask stream of more pixels than this, and than the picture it masks, is
// brought to the picture's size while it decodes instead of being built at
// its own size (a 20000 x 20000 soft mask on a 4 x 4 image is 400 MB of
// samples that the 4 x 4 picture does not need).
inline constexpr qint64 kStreamedMaskPixels = qint64(16) << 20;

// Whether a mask of width x height pixels is reduced while it decodes when
// it masks a picture of `target`.
bool isStreamedMask(double width, double height, QSize target);

// The mask stream (plain gray or image-mask samples of 1 to 8 bits under
// general filters, or CCITT and JBIG2 data) as a Grayscale8 picture of
// `target`: a soft mask averaged, a stencil sampled at pixel centres, with
// its /Decode array applied. Null when the stream is of another kind or its
// data cannot be read or is short.
QImage streamedMaskPicture(const PdfObject &stream, const TColorSpace *colorSpace, int width, int height,
                           int bitsPerComponent, QSize target, bool softMask);
