#pragma once

#include "PdfObject.h"
#include "raster/IccProfileSpace.h"
#include "raster/RasterImage.h"

#include <QByteArray>

#include <array>
#include <optional>
#include <vector>

namespace zembrix {

class ColorTransformCache;

// The data colour space that the profile of an ICC-based space declares in
// its header; Unknown when the space is not ICC-based or its profile cannot
// be read.
IccDataSpace iccDataSpace(const PdfObject &iccBasedSpace);

// A CIE L*a*b* space as image samples use it: a /Lab space, or an ICC-based
// space whose profile's data colour space is Lab. Samples, lookup entries and
// tint outputs of such a space are carried as 8-bit values: L from 0..100,
// a and b from the space's range, to 0..255.
struct LabColorSpace {
    std::array<double, 4> range{-100, 100, -100, 100}; // a min, a max, b min, b max
    std::array<double, 3> white{0.9642, 1.0, 0.8249};  // XYZ; D50 for a profile
    QByteArray profile;                                // empty for /Lab

    // None for any other space. The range of an ICC-based space is its /Range
    // (a and b from its last four values), else -128..127 as the profile's
    // own Lab encoding has it, which renderers use too.
    static std::optional<LabColorSpace> of(const PdfObject &colorSpace);

    // A /Decode array of the space's samples, which maps them to L*, a* and
    // b* values (ISO 32000-1 8.9.5.2), as the 0..1 mapping to the encoding
    // above that applyDecodeArray() applies.
    std::vector<double> encodedDecode(const std::vector<double> &decode) const;

    // 8-bit samples in the encoding above to RGB: through the colour engine
    // (the profile, or a Lab profile of the white point) with the transforms
    // of `colors` when given, else, or when the engine fails, by the CIE formulas. Null when the
    // samples are not 8-bit with three components.
    RasterImage toRgb(const RasterImage &samples, ColorTransformCache *colors, qint64 maxBytes) const;
};

} // namespace zembrix
