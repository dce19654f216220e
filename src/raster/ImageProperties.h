#pragma once

#include "RasterImage.h"

#include <QString>

#include <optional>

namespace zembrix {

// What a codec's header tells about an image, for the description shown to
// the user ("Properties: " followed by formatPropertiesText()).
struct ImageProperties {
    ColorModel model = ColorModel::Gray;
    int depth = 8; // bits per component as stored
    int pixelWidth = 0;
    int pixelHeight = 0;
    std::optional<double> dpiWidth; // only when the file records a resolution
    std::optional<double> dpiHeight;
};

// The braces part of the description, keys in case-insensitive order, four
// spaces of indent:
//   {
//       ColorModel = RGB;
//       Depth = 8;
//       DPIHeight = 72;
//       DPIWidth = 72;
//       PixelHeight = 480;
//       PixelWidth = 640;
//   }
// Resolutions are given with at most two decimals.
QString formatPropertiesText(const ImageProperties &properties);

} // namespace zembrix
