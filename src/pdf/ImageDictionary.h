#pragma once

#include "PdfObject.h"
#include "PdfStreamDecoder.h"
#include "TColorSpace.h"

#include <QList>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace zembrix {

// The dictionary of one candidate stream (an image, a form, a pattern),
// read once, entry by entry, into typed values that the walk and the picture
// builders take instead of looking the keys up again.
struct ImageDictionary {
    PdfObject stream;
    bool isImage = false;   // /Subtype /Image
    bool isContent = false; // a form or a tiling pattern, whose content may hold inline images
    // /Width, /Height and /BitsPerComponent as numbers, truncated towards zero
    // and clamped to 32 bits; 0 when absent or not a number.
    double width = 0;
    double height = 0;
    std::int32_t bitsPerComponent = 0;
    // The same entries when they are integer objects, as the builders that lay
    // samples out from the dictionary need them; none otherwise.
    std::optional<std::int32_t> integerWidth;
    std::optional<std::int32_t> integerHeight;
    std::optional<std::int32_t> integerBitsPerComponent;
    bool imageMask = false; // /ImageMask true
    // The /Filter names as written ("/FlateDecode"), none without the entry;
    // and the filter steps the stream decoder undoes, with their parameters.
    std::optional<QStringList> filters;
    QList<PdfFilterStep> filterSteps;
    // /ColorTransform of the /DecodeParms dictionary (JPEG data).
    std::optional<std::int32_t> colorTransform;
    // The /ColorSpace entry and its record, resolved once; no record without the entry.
    PdfObject colorSpaceEntry;
    std::shared_ptr<const TColorSpace> colorSpace;
    // /Decode: up to 64 finite numbers; empty when absent or not all numbers.
    std::vector<double> decode;
    // The /SMask stream, else the /Mask stream (a colour key array is not
    // one), and which of the two.
    PdfObject mask;
    bool softMask = true;
    std::optional<std::int32_t> length; // /Length

    enum class ColorSpaceRecord { Resolve, Skip };
    // `Skip` leaves the record unresolved, for a caller that has it already.
    static ImageDictionary read(const PdfObject &stream, ColorSpaceRecord record = ColorSpaceRecord::Resolve);

    // The size when it is one a picture can have (1 to 1e6 pixels a side).
    bool hasSaneSize() const { return width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6; }
};

// A numeric entry as the dictionary reading takes it: an integer as it is, a
// real truncated towards zero (1e+08 stays 100000000), both clamped to 32
// bits; 0 for anything else.
std::int32_t wholeNumberOf(const PdfObject &value);

// The /Decode array of a stream, as ImageDictionary::decode reads it.
std::vector<double> decodeArrayOf(const PdfObject &stream);

} // namespace zembrix
