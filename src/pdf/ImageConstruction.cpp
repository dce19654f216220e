#include "PDFFileStruct.h"

#include "ImageBuilders.h"

namespace zembrix {

// The image construction operations of the record, over the picture builders
// (ImageBuilders.h): the dictionary is read from the stream, with the facts
// the caller gives in place of its own.

namespace {

ImageDictionary describedImage(const PdfObject &stream, double width, double height, std::int32_t bps,
                               const TColorSpace *colorSpace)
{
    ImageDictionary image = ImageDictionary::read(stream, ImageDictionary::ColorSpaceRecord::Skip);
    image.width = width;
    image.height = height;
    image.bitsPerComponent = bps;
    // Not owned: the caller's record outlives the call.
    image.colorSpace =
        colorSpace ? std::shared_ptr<const TColorSpace>(std::shared_ptr<const TColorSpace>(), colorSpace) : nullptr;
    return image;
}

} // namespace

void PDFFileStruct::applyImageDecode(RasterImage &raster, const PdfObject &stream, bool jpeg2000)
{
    zembrix::applyImageDecode(raster, ImageDictionary::read(stream, ImageDictionary::ColorSpaceRecord::Skip), jpeg2000);
}

RasterImage PDFFileStruct::makeImageFromStream(const PdfObject &stream, const PdfStreamData &data,
                                               ColorTransformCache *colors)
{
    return samplesRaster(ImageDictionary::read(stream, ImageDictionary::ColorSpaceRecord::Skip), data, colors);
}

RasterImage PDFFileStruct::makeIndexedImage(const QByteArray &data, int width, int height, std::int32_t bps,
                                            const TColorSpace &colorSpace, const PdfObject &stream,
                                            ColorTransformCache *colors, bool jpeg2000, DecodeCause *cause,
                                            WorkBudget *tintBudget)
{
    return indexedRaster(describedImage(stream, width, height, bps, &colorSpace), data, width, height, bps, jpeg2000,
                         {0, colors, tintBudget}, cause);
}

bool PDFFileStruct::samplesWouldBuild(const PdfObject &stream, const TColorSpace *colorSpace, std::int32_t bps,
                                      double width, double height, qint64 count, DecodeReport *report)
{
    return zembrix::samplesWouldBuild(describedImage(stream, width, height, bps, colorSpace), count, report);
}

bool PDFFileStruct::endsInCodedPicture(const PdfObject &stream)
{
    return zembrix::endsInCodedPicture(ImageDictionary::read(stream, ImageDictionary::ColorSpaceRecord::Skip));
}

bool PDFFileStruct::codedPictureWouldBuild(const PdfStreamData &data, double width, double height,
                                           const PdfObject &stream)
{
    ImageDictionary image = ImageDictionary::read(stream, ImageDictionary::ColorSpaceRecord::Skip);
    image.width = width;
    image.height = height;
    return zembrix::codedPictureWouldBuild(image, data);
}

QImage PDFFileStruct::streamedIndexedImage(const PdfObject &stream, const TColorSpace *colorSpace, std::int32_t bps,
                                           double width, double height)
{
    return streamedIndexedPicture(describedImage(stream, width, height, bps, colorSpace));
}

bool PDFFileStruct::indexedSamplesFit(const TColorSpace *colorSpace, std::int32_t bps, double width, double height,
                                      qint64 count, const PdfObject &stream)
{
    return zembrix::indexedSamplesFit(describedImage(stream, width, height, bps, colorSpace), count);
}

QImage PDFFileStruct::streamedSampleImage(const PdfObject &stream, double width, double height, bool fourBytes)
{
    ImageDictionary image = ImageDictionary::read(stream, ImageDictionary::ColorSpaceRecord::Skip);
    image.width = width;
    image.height = height;
    return streamedSamplePicture(image, fourBytes);
}

QImage PDFFileStruct::jpegImage(const PdfStreamData &data, int width, int height, const PdfObject &stream,
                                int reduceToEdge, ColorTransformCache *colors, DecodeCause *cause,
                                WorkBudget *tintBudget)
{
    ImageDictionary image = ImageDictionary::read(stream, ImageDictionary::ColorSpaceRecord::Skip);
    image.width = width;
    image.height = height;
    return jpegPicture(image, data, {reduceToEdge, colors, tintBudget}, cause);
}

QImage PDFFileStruct::jpeg2000Image(const PdfStreamData &data, int width, int height, const PdfObject &stream,
                                    int reduceToEdge, ColorTransformCache *colors, const TColorSpace *colorSpace,
                                    DecodeCause *cause)
{
    return jpeg2000Picture(describedImage(stream, width, height, 0, colorSpace), data, {reduceToEdge, colors},
                           colorSpace, cause);
}

QImage PDFFileStruct::addOnlyPdfNewImage(const PdfStreamData &data, const QStringList *filters, double width,
                                         double height, const TColorSpace *colorSpace, std::int32_t bps,
                                         const PdfObject &stream, int reduceToEdge, ColorTransformCache *colors,
                                         DecodeReport *report, WorkBudget *tintBudget)
{
    ImageDictionary image = describedImage(stream, width, height, bps, colorSpace);
    image.filters = filters ? std::optional(*filters) : std::nullopt;
    return buildPicture(image, data, {reduceToEdge, colors, tintBudget}, report);
}

} // namespace zembrix
