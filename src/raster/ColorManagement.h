#pragma once

#include "RasterImage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

namespace zembrix {

// The files a CMYK profile is looked up in when a document gives none, most
// preferred first.
QStringList fallbackCmykProfilePaths();

// Colour-managed conversion to sRGB through ICC profiles. The colour engine
// stays behind this class: no header of ours includes its API.
//
// Transforms are costly to build and a document usually repeats one profile
// on every page, so they are kept in a small cache keyed by a hash of the
// profile bytes and the pixel layout they convert. The cache is safe to use
// from several threads; a profile that fails to load is remembered as such.
// One run of the application shares one (CoreContext): what it holds depends
// only on the profiles, never on who asks.
class ColorTransformCache
{
public:
    // `fallbackPaths`: where fallbackCmykProfile() looks, most preferred first.
    explicit ColorTransformCache(QStringList fallbackPaths = fallbackCmykProfilePaths());
    ~ColorTransformCache();
    ColorTransformCache(const ColorTransformCache &) = delete;
    ColorTransformCache &operator=(const ColorTransformCache &) = delete;

    // Converts a Gray, RGB or CMYK raster (8 or 16 bits, alpha kept) in place
    // into an RGB raster through the given source profile, at perceptual
    // intent with black-point compensation. False, with the raster untouched,
    // when the profile does not load, its colour space does not match the
    // raster's model, or the result would exceed maxBytes. `inverted`: the
    // samples are to be taken as 1 - value first (an image's /Decode of
    // [1 0 ...]); 8-bit CMYK has it folded into its table.
    bool convertToSrgb(RasterImage &raster, QByteArrayView profile, qint64 maxBytes, bool inverted = false);

    // 8-bit Lab samples (L 0..255 for 0..100, a and b mapped from range to
    // 0..255) converted through the engine's Lab profile with the given white
    // point (XYZ), or through `profile` when one is given (an ICC profile
    // whose data colour space is Lab; the white point is then its own).
    // Null on failure, a profile of another colour space included.
    RasterImage labToSrgb(const RasterImage &lab, const std::array<double, 4> &range,
                          const std::array<double, 3> &white, qint64 maxBytes, QByteArrayView profile = {});

    // The system's CMYK profile for images that carry none: the first of
    // the fallback paths that holds one, read once; empty when none does.
    QByteArray fallbackCmykProfile();

    // How many conversions reused a transform, and how many were built.
    std::uint64_t hits() const;
    std::uint64_t builds() const;
    void clear();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace zembrix
