#pragma once

#include "RasterImage.h"

#include <array>

namespace zembrix {

// Turns an 8-bit CIE L*a*b* raster (as a PDF /Lab image stores it, after its
// decode array maps samples to the /Range) into sRGB. Samples are read as
// L = s0 * 100 / 255, a = amin + s1 * (amax - amin) / 255, likewise b;
// the white point is the colour space's /WhitePoint (XYZ), adapted to the
// sRGB white (D65) with the Bradford transform. Gives a null raster unless
// the input is 8-bit, three components, no alpha.
RasterImage labToRgb(const RasterImage &lab, const std::array<double, 4> &range,
                     const std::array<double, 3> &whitePoint);

} // namespace zembrix
