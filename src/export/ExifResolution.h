#pragma once

#include <QByteArray>

#include <cstdint>

namespace zembrix {

// A minimal Exif block (a big-endian TIFF structure, TIFF 6.0 section 2) whose
// IFD0 holds XResolution, YResolution (RATIONAL) and ResolutionUnit = 2 (inch).
// It starts with the TIFF header "MM\0*"; containers that want an offset or
// "Exif\0\0" prefix add their own.
QByteArray exifResolutionBlock(float dpi);

// A DPI as the RATIONAL Exif stores: whole numbers as n/1, others to three
// decimals, reduced.
struct ExifRational {
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 1;
};
ExifRational exifRationalForDpi(float dpi);

} // namespace zembrix
