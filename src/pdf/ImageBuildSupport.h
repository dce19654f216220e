#pragma once

// What the picture builders (ImageBuilders.h) share among their files.

#include "ImageBuilders.h"
#include "SpotColorSpace.h"

#include <QImage>
#include <QSize>

#include <optional>

namespace zembrix {

namespace imagebuild {

// Every picture and raster is limited to the decoded-stream cap.
inline qint64 rasterLimit()
{
    return kMaxDecodedStreamBytes;
}

bool isName(const std::optional<QString> &name, const char *text);
bool isSampleDepth(std::int32_t bpc);
bool isSpotBase(const TBaseColor &base);

// The colour components of an image's own colour space, as the dictionary
// builder uses them; 0 when it cannot lay them out itself (Indexed,
// Separation, DeviceN, Pattern and unknown spaces).
int streamBuilderComponents(const PdfObject &colorSpace, int bpc, ColorModel *model, bool *lab);
// The component count of a device, calibrated or ICC-based space record; 0 for the others.
int deviceComponents(const TColorSpace &colorSpace);
// The colour components per sample of a colour space; 0 when unknown.
int spaceComponents(const PdfObject &colorSpace);
ColorModel modelWithComponents(int components);
// The bytes per lookup entry of an Indexed space's base, and whether the
// base is CMYK-like. A gray base has one byte per entry.
int lookupEntrySize(const TBaseColor &base, bool *cmyk);
// Whether `count` bytes hold h rows of w pixels of `components` samples of
// `bpc` bits, and their raster of `rasterComponents` fits the limit.
bool packedFit(qint64 count, qint64 w, qint64 h, int components, int bpc, int rasterComponents);
// Whether the samples may stream straight into a picture of the
// dictionary's own size: a sane size, stated exactly, and no coded picture.
bool streamableSize(const ImageDictionary &image, std::int32_t *w, std::int32_t *h);

// Samples of a Lab space, /Lab or ICC-based, in RGB (LabColorSpace.h).
RasterImage labRaster(const RasterImage &samples, const PdfObject &colorSpace, ColorTransformCache *colors);
SpotColorSpace::TintBudgets tintBudgets(WorkBudget *file);
// Samples of a Separation or DeviceN image (packed, or a decoded JPEG's
// interleaved 8-bit samples) through the tint transform into the alternate
// space; Lab alternates are made RGB. Null when the space or a tint fails,
// or when `components` (0: any) is not the space's colourant count.
RasterImage spotRaster(QByteArrayView samples, int width, int height, int bpc, const ImageDictionary &image,
                       const PictureOptions &options, int components = 0, DecodeCause *cause = nullptr);

// The size a picture of width x height is built at: itself, or for a reduced
// copy (reduceToEdge > 0) scaled to fit reduceToEdge on its long edge.
QSize builtSize(int width, int height, int reduceToEdge);
// Scales a decoded photograph to the size the dictionary gives (or its
// reduced size), as the image is drawn into a rectangle of that size.
QImage drawnAtSize(const QImage &decoded, QSize size);
// The picture of decoded samples, converted through their profile with the
// transforms of `colors` (null: not converted). `inverted`: the samples' /Decode inversion is
// still to be made (by the conversion, when there is one).
QImage pictureOf(RasterImage raster, const ImageDictionary &image, ColorTransformCache *colors, bool inverted = false);

} // namespace imagebuild

} // namespace zembrix
