#pragma once

#include "PdfObject.h"
#include "raster/RasterImage.h"

#include <QByteArray>

// The profiles an image stream's samples are converted to sRGB through:
// the embedded profile of an ICC-based colour space; for CMYK samples with
// none of their own, the document's output intent, then a CMYK profile of
// the system. An image none applies to keeps the uncalibrated conversion.

// The profile an ICC-based space array ([/ICCBased stream]) embeds; empty
// for another space or an unreadable profile.
QByteArray embeddedIccProfile(const PdfObject &colorSpace);

// The space an image's decoded samples are in: its colour space, the base of
// an Indexed space, or the alternate of a Separation or DeviceN space.
PdfObject samplesColorSpace(const PdfObject &colorSpace);

// Whether the image's samples are in an ICC-based space (the routes that copy
// samples straight into a picture cannot convert them).
bool hasEmbeddedProfile(const PdfObject &stream);

// The /DestOutputProfile of the first output intent in the catalogue of the
// document that holds `object`; empty when there is none.
QByteArray outputIntentProfile(const PdfObject &object);

// Converts the raster to sRGB through the profile that applies to it (see
// above). The raster is left as it is when none applies or none loads.
void manageImageColour(RasterImage &raster, const PdfObject &stream, qint64 maxBytes);

// The same for samples of the given colour space (an image's own, or the
// alternate of a spot-colour space); `documentObject` is any object of the
// document, for its output intent.
void manageColour(RasterImage &raster, const PdfObject &colorSpace, const PdfObject &documentObject, qint64 maxBytes);
