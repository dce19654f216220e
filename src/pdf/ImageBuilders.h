#pragma once

#include "ImageDictionary.h"
#include "raster/DecodeProblem.h"
#include "raster/RasterImage.h"
#include "raster/WorkBudget.h"

#include <QImage>

#include <cstdint>

namespace zembrix {

class ColorTransformCache;

// The builders of an image's picture from its decoded data and its
// dictionary (ImageDictionary.h): the routes by the decoded data's format
// (JPEG, JPEG 2000, samples) and, for samples, by colour space. Each gives a
// null picture when it cannot build one.

// How a picture is built.
struct PictureOptions {
    // 0: the full picture. > 0: a reduced copy instead, long edge at most that
    // many pixels, made the cheap way where the codec allows (scaled JPEG
    // decoding); the same images are refused. kCheckOnlyEdge: only whether the
    // image can be built: a 1 x 1 stand-in when it can (small pictures, which
    // are built whole anyway, come as they are).
    int reduceToEdge = 0;
    // The transforms the image's colour profiles are applied with
    // (ImageColorProfiles.h); null gives the uncalibrated conversions.
    ColorTransformCache *colors = nullptr;
    // The file's budget for tint transforms (the run's is spent too); null
    // gives the image a budget of its own.
    WorkBudget *tintBudget = nullptr;
};
inline constexpr int kCheckOnlyEdge = -1;

// The route is chosen by what the stream decoder delivered. `report`, when
// given, gets why the picture could not be built, and the rows of samples
// that were missing and padded (DecodeProblem.h).
QImage buildPicture(const ImageDictionary &image, const PdfStreamData &data, const PictureOptions &options = {},
                    DecodeReport *report = nullptr);

// Coded photographs: JPEG data (or a JPEG 2000 codestream behind /DCTDecode,
// or any other picture the general decoder reads), drawn at the dictionary's size.
QImage jpegPicture(const ImageDictionary &image, const PdfStreamData &data, const PictureOptions &options,
                   DecodeCause *cause = nullptr);
// A JPEG 2000 codestream of the dictionary's size. With an Indexed
// `indexedSpace`, its samples are that space's indices.
QImage jpeg2000Picture(const ImageDictionary &image, const PdfStreamData &data, const PictureOptions &options,
                       const TColorSpace *indexedSpace = nullptr, DecodeCause *cause = nullptr);

// Samples laid out by the dictionary's own integer entries, in a device,
// calibrated, ICC-based or Lab space; null for the others (the raw route of
// buildPicture() takes them).
RasterImage samplesRaster(const ImageDictionary &image, const PdfStreamData &data, ColorTransformCache *colors);
// Indices of `bps` bits (JPEG 2000 indices: the codestream's own) expanded
// through the image's Indexed space.
RasterImage indexedRaster(const ImageDictionary &image, const QByteArray &indices, int width, int height,
                          std::int32_t bps, bool jpeg2000, const PictureOptions &options, DecodeCause *cause = nullptr);
// The /Decode array, as renderers apply it.
void applyImageDecode(RasterImage &raster, const ImageDictionary &image, bool jpeg2000);

// Whether a build would give a picture, decided without building it, as the
// routes of buildPicture() decide: for samples from their decoded byte count
// alone (short ones padded as the build pads them), for coded data
// (endsInCodedPicture()) from its headers. What the data turns out to hold is
// only found when the picture is built.
bool samplesWouldBuild(const ImageDictionary &image, qint64 count, DecodeReport *report = nullptr);
bool codedPictureWouldBuild(const ImageDictionary &image, const PdfStreamData &data);
// DCTDecode or JPXDecode last (a Crypt step aside).
bool endsInCodedPicture(const ImageDictionary &image);

// Eight-bit gray or RGB samples laid out by the dictionary, decoded straight
// into the full-size picture (their decoded bytes are never held beside it).
// Null for any other kind, or short data. `fourBytes` gives an RGB32 picture
// (for a picture that is to get an alpha channel).
QImage streamedSamplePicture(const ImageDictionary &image, bool fourBytes = false);
// The same for an Indexed image of 8-bit indices over a gray or RGB table.
QImage streamedIndexedPicture(const ImageDictionary &image);
// Whether an Indexed image's samples fit, as indexedRaster() lays them out,
// over a table that is not a spot colour space.
bool indexedSamplesFit(const ImageDictionary &image, qint64 count);

} // namespace zembrix
