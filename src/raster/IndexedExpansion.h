#pragma once

#include "RasterImage.h"

#include <QByteArrayView>

namespace zembrix {

// Expansion of Indexed images (ISO 32000-1 8.6.6.3): every index is replaced
// by its lookup entry, taken as stored (no colour conversion, no tint
// transform). The lookup holds entry after entry, 1 byte per entry for a
// Gray base, 3 for RGB and 4 for CMYK; entry k starts at byte k * size.
//
// Indices are 1, 2, 4 or 8 bits, high-order bits first within a byte. With
// fewer than 8 bits every row starts on a byte boundary and the padding bits
// at the end of a row are skipped; 8-bit indices are one per pixel.
//
// The expansion covers m = min(indices the data holds, width * height)
// pixels, where the data's count includes the padding positions of packed
// rows; pixels of that range that the data no longer reaches (a short last
// row) stay zero. When m is below width * height the raw-sample builder
// would infer fewer bits per pixel than the model needs and refuse the
// image, so the result is then null; more data than width * height indices
// is cut at width * height.
//
// An index past the end of the lookup is clamped to its last entry; a
// lookup shorter than one entry gives null. Sizes are checked before the
// result is allocated, which must fit in maxBytes. The result has 8-bit
// samples in the entry model and no alpha. Thread-safe.
RasterImage expandIndexedImage(QByteArrayView lookup, ColorModel entryModel, QByteArrayView indices, int width,
                               int height, int bitsPerIndex, qint64 maxBytes);

// The RGB expansion: 3-byte entries, an RGB result.
RasterImage makeRgbIndexedImage(QByteArrayView lookup, QByteArrayView indices, int width, int height, int bitsPerIndex,
                                qint64 maxBytes);

// The CMYK expansion: 4-byte entries (C, M, Y, K), a CMYK result. Rows are
// read as by the RGB expansion, so odd widths of packed indices work.
RasterImage makeCmykIndexedImage(QByteArrayView lookup, QByteArrayView indices, int width, int height, int bitsPerIndex,
                                 qint64 maxBytes);

} // namespace zembrix
