#pragma once

namespace zembrix {

// The DPI written into export files. Stored settings can hold anything, so the
// writers pass every DPI through here first: a value that is not a finite
// positive number becomes 72, values below 1 become 1, and values above 65535
// (the largest density a JFIF header can carry) become 65535.
float exportDpi(float dpi);

inline constexpr float kDefaultExportDpi = 72.0f;
// Asks an export job for each image's resolution where the pages first draw
// it (kDefaultExportDpi for an image drawn nowhere). exportDpi() makes it 72.
inline constexpr float kPlacedDpi = -1.0f;
inline constexpr float kMinimumExportDpi = 1.0f;
inline constexpr float kMaximumExportDpi = 65535.0f;

// Dots per metre for a DPI (as QImage::setDotsPerMeterX wants it), rounded.
int dotsPerMeterForDpi(float dpi);

} // namespace zembrix
