#pragma once

#include "PdfObject.h"
#include "raster/RasterImage.h"

namespace zembrix {

class ColorTransformCache;

// The profiles an image stream's samples are converted to sRGB through: the
// embedded profile of the ICC-based space the samples are in; for CMYK
// samples with none of their own, the document's output intent, then a CMYK
// profile of the system. An image none applies to keeps the uncalibrated
// conversion. The samples' space is the image's own, the base of an Indexed
// space, or the alternate of a Separation or DeviceN space.

// Whether the samples of an image whose /ColorSpace entry is `colorSpace` are
// in an ICC-based space (the routes that copy samples straight into a picture
// cannot convert them).
bool hasEmbeddedProfile(const PdfObject &colorSpace);

// Converts the decoded samples of the image stream, whose /ColorSpace entry is
// `colorSpace`, to sRGB through the profile that applies (see above), with
// the transforms of `colors`. The
// raster is left as it is when none applies or none loads. `inverted`: the
// samples are still to be inverted (a /Decode of [1 0 ...]); done within the
// conversion, or on its own when none applies.
void manageImageColour(ColorTransformCache &colors, RasterImage &raster, const PdfObject &colorSpace,
                       const PdfObject &stream, qint64 maxBytes, bool inverted = false);

} // namespace zembrix
