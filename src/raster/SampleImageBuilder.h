#pragma once

#include "RasterImage.h"

#include <QByteArrayView>

namespace zembrix {

// The colour model asked of the raw-sample builder. The numeric values are
// those the image construction has always used.
enum class SampleColorMode { RGB = 0, CMYK = 1, Gray = 2 };

// Builds an image from raw samples whose layout is inferred from the byte
// count rather than taken from the image dictionary:
//
//   bits per pixel  = count * 8 / (width * height), truncated; from 8 up
//                     rounded down to a multiple of 8 (12 -> 8, 24 stays)
//   bits per sample = 1 when bits per pixel is 1, else bitsPerComponent
//   model           = gray in Gray mode or at 1 bit per sample, else the
//                     mode's RGB or CMYK
//   alpha           = bits per pixel is exactly 32 and the mode is not CMYK
//   bytes per row   = count / height
//
// The layout is refused (null result) unless the bits per sample are 1, 2,
// 4, 8 or 16, the samples per pixel (bits per pixel / bits per sample) less
// the alpha sample equal the model's component count, and a row of
// count / height bytes holds width pixels. From 8 bits per pixel up the
// samples must fill the pixel exactly. Below 8 the padding of short rows can
// raise the inferred value by a few bits (a 3-pixel row of 4-bit gray takes
// 2 bytes: 5 bits per pixel); the samples are then read packed and the
// surplus is taken as row padding.
//
// The samples are read as PDF stores them: high-order bits first within a
// byte, 16-bit samples big-endian, no decode array. The result has 8-bit
// samples (1, 2 and 4-bit values scaled to 0..255, gray 0 black) or 16-bit
// samples, and owns a copy of them.
//
// count is the number of bytes of `bytes` that belong to the image; a count
// beyond bytes.size() is refused. Nothing is allocated unless width and
// height are positive and the result's size is at most maxBytes.
// Thread-safe.
RasterImage makeImageFromSamples(QByteArrayView bytes, qint64 count, int bitsPerComponent, SampleColorMode mode,
                                 int width, int height, qint64 maxBytes);

// Whether makeImageFromSamples() accepts the layout of `count` bytes (and so
// builds an image from any bytes of that count), decided without them.
bool sampleLayoutAccepted(qint64 count, int bitsPerComponent, SampleColorMode mode, int width, int height,
                          qint64 maxBytes);

} // namespace zembrix
