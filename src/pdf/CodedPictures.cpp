#include "ImageBuildSupport.h"

#include "raster/Jpeg2000Decoder.h"
#include "raster/JpegDecoder.h"
#include "raster/QuietImageReading.h"
#include "images/PDFImageStruct.h"

#include <QBuffer>
#include <QImageReader>

namespace zembrix {

using namespace imagebuild;

namespace {

// JPEG data with the stream's /ColorTransform (which the data's own Adobe
// marker overrides).
RasterImage decodeStreamJpeg(const QByteArray &bytes, const ImageDictionary &image, int reduceToEdge)
{
    JpegDecodeOptions options;
    options.maxBytes = rasterLimit();
    options.checkOnly = reduceToEdge < 0;
    options.reduceToEdge = reduceToEdge < 0 ? PDFImageStruct::kReducedEdge : reduceToEdge;
    if (image.colorTransform)
        options.colorTransform = *image.colorTransform;
    return decodeJpeg(QByteArrayView(bytes), options);
}

} // namespace

// Coded photographs: the coded bytes are never taken as samples.
QImage jpegPicture(const ImageDictionary &image, const PdfStreamData &data, const PictureOptions &options,
                   DecodeCause *cause)
{
    const int width = int(image.width), height = int(image.height);
    const QSize size = builtSize(width, height, options.reduceToEdge);
    RasterImage decoded = decodeStreamJpeg(data.bytes, image, options.reduceToEdge);
    if (!decoded.isNull() && SpotColorSpace::isSpotSpace(image.colorSpaceEntry)) {
        // Coded tints: the decoded components are the colourants.
        if (decoded.bitsPerComponent != 8 || decoded.hasAlpha)
            return {};
        RasterImage converted = spotRaster(QByteArrayView(decoded.samples), decoded.width, decoded.height, 8, image,
                                           options, decoded.colorComponents(), cause);
        return converted.isNull() ? QImage()
                                  : drawnAtSize(pictureOf(std::move(converted), image, options.colors), size);
    }
    if (!decoded.isNull()) {
        // The common /Decode of CMYK JPEGs, [1 0 1 0 1 0 1 0], is made within
        // the colour conversion rather than in a pass of its own.
        const bool inverted =
            options.colors && decoded.model == ColorModel::CMYK && invertsEverySample(decoded, image.decode);
        if (!inverted)
            applyImageDecode(decoded, image, false);
        return drawnAtSize(pictureOf(std::move(decoded), image, options.colors, inverted), size);
    }
    const QImage jpx = jpeg2000Picture(image, data, options);
    if (!jpx.isNull())
        return jpx;
    QImage general;
    const QuietImageReading quiet;
    if (general.loadFromData(data.bytes))
        return drawnAtSize(general, size);
    noteDecodeCause(cause, DecodeCause::DamagedFile);
    return {};
}

// A JPEG 2000 codestream carries its own size, which the dictionary's must
// repeat; one that differs is a damaged or mislabelled stream and is refused
// rather than stretched.
QImage jpeg2000Picture(const ImageDictionary &image, const PdfStreamData &data, const PictureOptions &options,
                       const TColorSpace *indexedSpace, DecodeCause *cause)
{
    const int width = int(image.width), height = int(image.height);
    if (jpeg2000Size(QByteArrayView(data.bytes)) != QSize(width, height))
        return {};
    // From here on the data has the image's size: a failure is damage.
    const auto damaged = [cause]() {
        noteDecodeCause(cause, DecodeCause::DamagedFile);
        return QImage();
    };
    // An Indexed space: the codestream's samples are the indices, at the
    // codestream's own precision whatever /BitsPerComponent says.
    if (indexedSpace && isName(indexedSpace->getName(), "/Indexed")) {
        const RasterImage indices = decodeJpeg2000(QByteArrayView(data.bytes), rasterLimit(), true, cause);
        if (indices.isNull() || indices.width != width || indices.height != height)
            return damaged();
        PictureOptions own = options;
        own.tintBudget = nullptr;
        return pictureOf(indexedRaster(image, indices.samples, width, height, 8, true, own, cause), image,
                         options.colors);
    }
    // A smaller copy comes from a lower resolution level of the data (the
    // caller draws it at its size); the picture itself from the whole.
    const int reduceToEdge = options.reduceToEdge;
    if (reduceToEdge > 0 && std::max(width, height) > reduceToEdge) {
        RasterImage reduced = decodeJpeg2000Reduced(QByteArrayView(data.bytes), reduceToEdge, rasterLimit());
        if (reduced.isNull() || reduced.width > width || reduced.height > height)
            return damaged();
        applyImageDecode(reduced, image, true);
        return pictureOf(std::move(reduced), image, options.colors);
    }
    RasterImage decoded = decodeJpeg2000(QByteArrayView(data.bytes), rasterLimit());
    if (decoded.isNull() || decoded.width != width || decoded.height != height)
        return damaged();
    applyImageDecode(decoded, image, true);
    return pictureOf(std::move(decoded), image, options.colors);
}

bool endsInCodedPicture(const ImageDictionary &image)
{
    QList<PdfFilterStep> steps = image.filterSteps;
    steps.removeIf([](const PdfFilterStep &step) { return step.name == "Crypt"; });
    return !steps.isEmpty() && (steps.last().name == "DCTDecode" || steps.last().name == "JPXDecode");
}

bool codedPictureWouldBuild(const ImageDictionary &image, const PdfStreamData &data)
{
    if (!image.hasSaneSize())
        return false;
    const QSize size{int(image.width), int(image.height)};
    const QByteArrayView bytes(data.bytes);
    if (data.format == PdfStreamFormat::JPEG2000)
        return jpeg2000AcceptedSize(bytes, rasterLimit()) == size;
    if (data.format != PdfStreamFormat::JPEG)
        return false;
    // As jpegPicture() tries them: JPEG, a JPEG 2000 codestream, any other picture.
    JpegDecodeOptions options;
    options.maxBytes = rasterLimit();
    if (image.colorTransform)
        options.colorTransform = *image.colorTransform;
    if (const std::optional<JpegHeaderFacts> facts = jpegHeaderFacts(bytes, options)) {
        if (!SpotColorSpace::isSpotSpace(image.colorSpaceEntry))
            return true;
        const std::optional<SpotColorSpace> spot = SpotColorSpace::fromObject(image.colorSpaceEntry);
        return spot && spot->colourants() == facts->components;
    }
    if (jpeg2000AcceptedSize(bytes, rasterLimit()) == size)
        return true;
    QBuffer buffer;
    buffer.setData(data.bytes);
    return buffer.open(QIODevice::ReadOnly) && QImageReader(&buffer).canRead();
}

} // namespace zembrix
