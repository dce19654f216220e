#pragma once

#include "DecodeProblem.h"
#include "RasterImage.h"

#include <QByteArrayView>
#include <QSize>
#include <QString>

#include <optional>

namespace zembrix {

// Decodes a JPEG 2000 codestream (J2K) or JP2 file, told apart by their
// signatures, with OpenJPEG.
//
// Channels: a JP2 palette is expanded and the channel definitions applied by
// OpenJPEG. Opacity channels (JP2 'cdef') become alpha; without them two
// components are gray + alpha, four are CMYK, or RGB + alpha when the 'colr'
// box names sRGB or sYCC. sYCC and e-sYCC data, and three-component
// data of no stated colour space whose chroma is subsampled, are converted to
// RGB the way OpenJPEG's own tools do. A JP2 CMYK image stays CMYK.
//
// Samples: subsampled components are replicated to full size, signed ones
// offset to unsigned; precisions up to 8 bits are scaled to full 8-bit
// range, 9 to 16 bits to full 16-bit range (so 12-bit 4095 becomes 65535).
// Precisions above 16 give a null image.
//
// paletteIndices: the samples are indices into a palette that is not the
// data's own (a PDF /Indexed space over JPEG 2000 data): the first component
// is given as stored, one byte per pixel, without scaling and with no JP2
// palette or channel definitions applied. Precisions above 8 then give null
// (and `cause` unsupported bits per component).
//
// maxBytes limits the decoded raster and, separately, OpenJPEG's planes of
// 32-bit samples; both are checked from the header before decoding.
// Thread-safe: every call has its own codec.
RasterImage decodeJpeg2000(QByteArrayView data, qint64 maxBytes = 1LL << 30, bool paletteIndices = false,
                           DecodeCause *cause = nullptr);

// For a smaller copy: the picture decoded at the lowest resolution level of
// the codestream whose long edge is still at least `longEdge` (each level
// halves both sides), which skips the finer wavelet levels; the full picture
// when no level is smaller, the image starts off the canvas origin or its
// components are subsampled. Checks and limits as decodeJpeg2000() (of the
// full size); null on failure.
RasterImage decodeJpeg2000Reduced(QByteArrayView data, int longEdge, qint64 maxBytes = 1LL << 30);

// The pixel size the codestream header gives, without decoding; none when
// the header cannot be read.
std::optional<QSize> jpeg2000Size(QByteArrayView data);

// The same size, but only when the header also passes every check that
// decodeJpeg2000() makes before decoding (sizes within maxBytes, channels it
// can lay out): what can be known of a decode without decoding.
std::optional<QSize> jpeg2000AcceptedSize(QByteArrayView data, qint64 maxBytes = 1LL << 30);

// The braces part of the image description (see formatPropertiesText()) from
// the codestream header and the JP2 header boxes: colour model, depth of the
// first component (of the palette for a paletted JP2), pixel size, and the
// resolution of a JP2 'res ' box. std::nullopt when the header cannot be read.
std::optional<QString> jpeg2000PropertiesText(QByteArrayView data);

} // namespace zembrix
