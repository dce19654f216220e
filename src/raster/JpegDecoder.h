#pragma once

#include "RasterImage.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace zembrix {

struct JpegDecodeOptions {
    // /ColorTransform of the stream's /DecodeParms: -1 absent, 0 no
    // transform, 1 YCbCr (3 components) or YCCK (4 components). An Adobe
    // marker in the data overrides it.
    int colorTransform = -1;
    // Limit on the decoded samples; libjpeg's own working memory (the
    // coefficient buffers of a progressive image) gets the same limit plus
    // 1 MiB for its tables.
    qint64 maxBytes = 1LL << 30;
    // When positive: a reduced picture is wanted, and libjpeg's scaled DCT
    // decoding gives the smallest of 1/2, 1/4 and 1/8 of the size whose long
    // edge is still at least three quarters of this. All of the coded data is
    // still read, so damage is found as at full size.
    int reduceToEdge = 0;
    // Only whether the data can be decoded matters: the header is read, the
    // full-size limits are checked and the first rows are decoded (at the
    // reduced size), which decides it as a whole decode would (a decode
    // keeps the rows before a later error). The rest of the picture is the
    // mid-gray fill.
    bool checkOnly = false;
};

// Where the JPEG data starts: the offset of its SOI marker (FF D8 FF), 0 when
// it comes first, -1 when there is none. Bytes before it (a stray line end
// or blanks a PDF writer left, a header of another format) are skipped by the
// usual readers, and by every reader of JPEG data here.
qsizetype jpegStartOffset(QByteArrayView data);

// Decodes baseline, extended and progressive 8-bit JPEG data into Gray,
// RGB or CMYK samples as stored. Whether three components are YCbCr and
// four are YCCK is taken from the Adobe APP14 marker's transform flag when
// the data has one (it overrides /ColorTransform, ISO 32000-1 table 13),
// else from options.colorTransform when given, else three components are YCbCr
// (unless their identifiers are 'R', 'G', 'B' and there is no JFIF marker)
// and four are plain CMYK. CMYK samples are not inverted: a PDF /Decode
// array decides their meaning.
//
// Damaged data: rows that libjpeg decoded before a fatal error are kept and
// the rest is filled with the mid value 128, as libjpeg fills data missing
// at the end of a file; an error before the first row gives a null image.
// Thread-safe: every call has its own decoder state.
RasterImage decodeJpeg(QByteArrayView data, const JpegDecodeOptions &options = {});

// What the header alone says of a decode: the pixel size and component
// count when the header reads and passes the checks decodeJpeg() makes
// before decoding (component count, size within options.maxBytes); none
// otherwise. Nothing of the picture's size is allocated.
struct JpegHeaderFacts {
    int width = 0;
    int height = 0;
    int components = 0;
};
std::optional<JpegHeaderFacts> jpegHeaderFacts(QByteArrayView data, const JpegDecodeOptions &options = {});

// The braces part of the image description (see formatPropertiesText())
// from the JPEG header: colour model by component count, depth, pixel
// size, and the JFIF density when its unit is inch or centimetre.
// std::nullopt when the header cannot be read.
std::optional<QString> jpegPropertiesText(QByteArrayView data);

} // namespace zembrix
