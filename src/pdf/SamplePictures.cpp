#include "ImageBuildSupport.h"

#include "ImageColorProfiles.h"
#include "LabColorSpace.h"
#include "images/PDFImageStruct.h"
#include "raster/SampleImageBuilder.h"

#include <cstring>

namespace zembrix {

using namespace imagebuild;

// The /Decode array is applied here, on every route, as renderers apply it
// (ISO 32000-1 8.9.5.2): on the colour components of device, calibrated and
// ICC-based images and on image masks; not on JPEG 2000 data unless it is an
// image mask (8.9.5.2 lets the codestream decide). Lab samples, whose array
// maps to L*a*b* values, and Indexed and spot-colour samples have their own
// mappings (samplesRaster, indexedRaster, SpotColorSpace).
void applyImageDecode(RasterImage &raster, const ImageDictionary &image, bool jpeg2000)
{
    if (raster.isNull() || (jpeg2000 && !image.imageMask))
        return;
    if (!image.decode.empty())
        applyDecodeArray(raster, image.decode);
}

RasterImage samplesRaster(const ImageDictionary &image, const PdfStreamData &data, ColorTransformCache *colors)
{
    if (!image.isImage || !image.integerWidth || !image.integerHeight || !image.integerBitsPerComponent)
        return {};
    const std::int32_t width = *image.integerWidth, height = *image.integerHeight;
    const std::int32_t bpc = *image.integerBitsPerComponent;
    if (width <= 0 || height <= 0)
        return {};
    ColorModel model = ColorModel::Gray;
    bool lab = false;
    const int components = streamBuilderComponents(image.colorSpaceEntry, bpc, &model, &lab);
    if (components == 0)
        return {}; // the raw path builds it (Indexed through its expansion)

    // Coded data has routes of its own (buildPicture()).
    if (data.format != PdfStreamFormat::Raw || !isSampleDepth(bpc))
        return {};
    RasterImage raster = unpackSamples(QByteArrayView(data.bytes), width, height, components, bpc, rasterLimit());
    if (raster.isNull())
        return {};
    raster.model = model;
    if (!lab) {
        applyImageDecode(raster, image, false);
        return raster;
    }
    const std::optional<LabColorSpace> space = LabColorSpace::of(image.colorSpaceEntry);
    if (!space)
        return {};
    // A Lab /Decode array maps samples to L*a*b* values, not to 0..1.
    if (!image.decode.empty())
        applyDecodeArray(raster, space->encodedDecode(image.decode));
    if (raster.bitsPerComponent == 16) { // the Lab conversion reads 8 bits: the high-order byte
        RasterImage narrow = RasterImage::create(width, height, model, 8, false, rasterLimit());
        if (narrow.isNull())
            return {};
        const auto *wide = reinterpret_cast<const quint16 *>(raster.samples.constData());
        for (qsizetype i = 0; i < narrow.samples.size(); ++i)
            narrow.samples[i] = char(wide[i] >> 8);
        raster = std::move(narrow);
    }
    return space->toRgb(raster, colors, rasterLimit());
}

namespace {

// The picture directImage() fills, still unfilled (or, `fourBytes`, an RGB32
// one for the same samples), and the bytes of one of its rows in the data:
// eight-bit gray or RGB samples without a /Decode array.
QImage directImageOfSize(const ImageDictionary &image, int width, int height, qint64 *rowBytesOut,
                         bool fourBytes = false)
{
    ColorModel model = ColorModel::Gray;
    bool lab = false;
    if (!image.isImage || image.imageMask || image.integerBitsPerComponent != 8 || !image.decode.empty())
        return {};
    const int components = streamBuilderComponents(image.colorSpaceEntry, 8, &model, &lab);
    if (lab || (components != 1 && components != 3))
        return {};
    const qint64 rowBytes = qint64(width) * components;
    if (rowBytes * height > rasterLimit())
        return {};
    *rowBytesOut = rowBytes;
    return QImage(width, height,
                  fourBytes         ? QImage::Format_RGB32
                  : components == 1 ? QImage::Format_Grayscale8
                                    : QImage::Format_RGB888);
}

// Eight-bit gray or RGB samples copied straight into the picture the
// dictionary builder would give (one copy of the pixels instead of two).
// Null for any other kind, or short data.
QImage directImage(const ImageDictionary &image, const QByteArray &data, int width, int height)
{
    qint64 rowBytes = 0;
    QImage picture = directImageOfSize(image, width, height, &rowBytes);
    if (picture.isNull() || rowBytes * height > data.size())
        return {};
    for (int y = 0; y < height; ++y)
        memcpy(picture.scanLine(y), data.constData() + rowBytes * y, size_t(rowBytes));
    return picture;
}

// A one-bit gray picture kept at one bit per pixel (scanned pages are
// mostly this kind; eight times less memory than gray bytes). PDF's 0 is
// black unless the /Decode array is [1 0]. Null when the data is short.
QImage monoImage(const QByteArray &data, int width, int height, const ImageDictionary &image)
{
    const qint64 rowBytes = (qint64(width) + 7) / 8;
    if (rowBytes * height > data.size())
        return {};
    QImage picture(width, height, QImage::Format_Mono);
    if (picture.isNull())
        return {};
    const std::vector<double> &decode = image.decode;
    const bool inverted = decode.size() >= 2 && decode[0] > decode[1];
    picture.setColorTable(
        {inverted ? qRgb(255, 255, 255) : qRgb(0, 0, 0), inverted ? qRgb(0, 0, 0) : qRgb(255, 255, 255)});
    for (int y = 0; y < height; ++y)
        memcpy(picture.scanLine(y), data.constData() + rowBytes * y, size_t(rowBytes));
    return picture;
}

// Samples that end within the image, after at least one whole row, are
// padded with zero samples (which the /Decode array then maps, so usually
// black, or a palette's first entry), as viewers show them; the report gets
// the rows padded. Other data is given as it is.
PdfStreamData paddedSamples(const PdfStreamData &data, const ImageDictionary &image, int width, int height, int bpc,
                            DecodeReport *report)
{
    int components = 1;
    if (image.imageMask)
        bpc = 1;
    else
        components = spaceComponents(image.colorSpaceEntry);
    if (components == 0 || !isSampleDepth(bpc))
        return data;
    const qint64 rowBytes = (qint64(width) * components * bpc + 7) / 8;
    const qint64 count = data.bytes.size();
    if (count >= rowBytes * height || count < rowBytes || rowBytes * height > rasterLimit())
        return data;
    if (report) {
        report->rows = height;
        report->paddedRows = height - int(count / rowBytes);
    }
    PdfStreamData padded = data;
    padded.bytes.append(QByteArray(qsizetype(rowBytes * height - count), '\0'));
    return padded;
}

// The raw path: the layout is inferred from the data length. Samples of
// fewer than 8 bits: the inference cannot tell 2-bit RGB from 8-bit gray, so
// device and ICC-based images of 1, 2 and 4 bits are laid out from the
// dictionary's own sizes.
QImage rawSamplePicture(const ImageDictionary &image, const PdfStreamData &data, int w, int h,
                        const PictureOptions &options, DecodeCause *cause)
{
    const TColorSpace *colorSpace = image.colorSpace.get();
    const std::int32_t bps = image.bitsPerComponent;
    RasterImage raster;
    const QByteArrayView bytes(data.bytes);
    const qint64 count = data.bytes.size();
    if (!colorSpace || bps < 1) {
        raster = makeImageFromSamples(bytes, count, 8, SampleColorMode::RGB, w, h, rasterLimit());
        applyImageDecode(raster, image, false);
        return pictureOf(std::move(raster), image, options.colors);
    }
    const std::optional<QString> &name = colorSpace->getName();
    if (bps < 8) {
        const int components = deviceComponents(*colorSpace);
        if (components > 0) {
            raster = unpackSamples(bytes, w, h, components, bps, rasterLimit());
            if (!raster.isNull()) {
                raster.model = modelWithComponents(components);
                applyImageDecode(raster, image, false);
                return pictureOf(std::move(raster), image, options.colors);
            }
        }
    }
    if (!name || *name == QLatin1String("/DeviceCMYK")) {
        raster = makeImageFromSamples(bytes, count, bps, SampleColorMode::CMYK, w, h, rasterLimit());
    } else if (*name == QLatin1String("/DeviceGray") || *name == QLatin1String("/CalGray")) {
        raster = makeImageFromSamples(bytes, count, bps, SampleColorMode::Gray, w, h, rasterLimit());
    } else if (*name == QLatin1String("/DeviceRGB") || *name == QLatin1String("/CalRGB")) {
        raster = makeImageFromSamples(bytes, count, bps, SampleColorMode::RGB, w, h, rasterLimit());
    } else if (*name == QLatin1String("/ICCBased")) {
        for (SampleColorMode mode : {SampleColorMode::CMYK, SampleColorMode::RGB, SampleColorMode::Gray}) {
            raster = makeImageFromSamples(bytes, count, bps, mode, w, h, rasterLimit());
            if (!raster.isNull())
                break;
        }
    } else if (*name == QLatin1String("/Indexed")) {
        return pictureOf(indexedRaster(image, data.bytes, w, h, bps, false, options, cause), image, options.colors);
    } else {
        return {};
    }
    applyImageDecode(raster, image, false);
    return pictureOf(std::move(raster), image, options.colors);
}

// Decoded samples: an image mask, spot colours, one-bit gray, samples the
// dictionary lays out, else the raw path.
QImage samplePicture(const ImageDictionary &image, const PdfStreamData &stored, int w, int h,
                     const PictureOptions &options, DecodeReport *report)
{
    DecodeCause *const cause = report ? &report->cause : nullptr;
    const std::int32_t bps = image.bitsPerComponent;
    if (!image.imageMask && !isSampleDepth(bps))
        noteDecodeCause(cause, DecodeCause::UnsupportedBitsPerComponent);
    const PdfStreamData data = paddedSamples(stored, image, w, h, bps, report);

    // An image mask is one bit per pixel, rows padded to whole bytes.
    if (image.imageMask) {
        RasterImage mask = unpackSamples(QByteArrayView(data.bytes), w, h, 1, 1, rasterLimit());
        applyImageDecode(mask, image, false);
        return rasterToQImage(std::move(mask));
    }
    if (SpotColorSpace::isSpotSpace(image.colorSpaceEntry))
        return pictureOf(spotRaster(QByteArrayView(data.bytes), w, h, bps, image, options, 0, cause), image,
                         options.colors);
    // One-bit gray stays at one bit per pixel.
    if (image.colorSpace && bps == 1 && deviceComponents(*image.colorSpace) == 1) {
        QImage mono = monoImage(data.bytes, w, h, image);
        if (!mono.isNull())
            return mono;
    }
    // The dictionary builder lays the samples out; the raw path takes what it
    // cannot (Indexed, and data of another length).
    if (image.integerWidth == w && image.integerHeight == h) {
        const QImage direct = options.colors && hasEmbeddedProfile(image.colorSpaceEntry)
                                  ? QImage()
                                  : directImage(image, data.bytes, w, h);
        if (!direct.isNull())
            return direct;
    }
    RasterImage built = samplesRaster(image, data, options.colors);
    if (!built.isNull())
        return pictureOf(std::move(built), image, options.colors);
    return rawSamplePicture(image, data, w, h, options, cause);
}

QImage buildFullPicture(const ImageDictionary &image, const PdfStreamData &data, const PictureOptions &options,
                        DecodeReport *report)
{
    // Sizes are checked before anything is built.
    if (!image.hasSaneSize())
        return {};
    const int w = int(image.width), h = int(image.height);
    DecodeCause *const cause = report ? &report->cause : nullptr;
    switch (data.format) {
    case PdfStreamFormat::JPEG: return jpegPicture(image, data, options, cause);
    case PdfStreamFormat::JPEG2000: return jpeg2000Picture(image, data, options, image.colorSpace.get(), cause);
    case PdfStreamFormat::Raw: break;
    }
    return samplePicture(image, data, w, h, options, report);
}

} // namespace

// The route is chosen by what the stream decoder delivered, not by the filter
// names that led there: [/ASCIIHexDecode /DCTDecode] is JPEG data as much as
// [/DCTDecode] is. The filter list only describes the image.
QImage buildPicture(const ImageDictionary &image, const PdfStreamData &data, const PictureOptions &options,
                    DecodeReport *report)
{
    const QImage built = buildFullPicture(image, data, options, report);
    const int reduceToEdge = options.reduceToEdge;
    if (built.isNull() || reduceToEdge == 0)
        return built;
    if (reduceToEdge == kCheckOnlyEdge)
        return built.width() <= PDFImageStruct::kReducedEdge && built.height() <= PDFImageStruct::kReducedEdge
                   ? built
                   : QImage(1, 1, QImage::Format_Grayscale8);
    return drawnAtSize(built, builtSize(built.width(), built.height(), reduceToEdge));
}

QImage streamedSamplePicture(const ImageDictionary &image, bool fourBytes)
{
    std::int32_t w = 0, h = 0;
    if (!streamableSize(image, &w, &h))
        return {};
    qint64 rowBytes = 0;
    QImage picture = directImageOfSize(image, w, h, &rowBytes, fourBytes);
    if (picture.isNull())
        return {};
    const bool gray = rowBytes == w;
    // Four bytes a pixel: each row of samples is gathered, then widened into the picture.
    std::vector<uchar> samples(fourBytes ? size_t(rowBytes) : 0);
    const qint64 needed = rowBytes * h;
    qint64 filled = 0;
    const PdfObject &stream = image.stream;
    const bool decoded = decodePdfStreamTo(stream, stream.decodedSizeLimit(), [&](QByteArrayView bytes) {
        const char *in = bytes.data();
        qint64 left = std::min<qint64>(bytes.size(), needed - filled);
        while (left > 0) {
            const qint64 column = filled % rowBytes;
            const qint64 n = std::min(left, rowBytes - column);
            const int y = int(filled / rowBytes);
            memcpy((fourBytes ? samples.data() : picture.scanLine(y)) + column, in, size_t(n));
            in += n;
            left -= n;
            filled += n;
            if (fourBytes && column + n == rowBytes) {
                QRgb *pixel = reinterpret_cast<QRgb *>(picture.scanLine(y));
                for (int x = 0; x < w; ++x)
                    pixel[x] =
                        gray ? qRgb(samples[size_t(x)], samples[size_t(x)], samples[size_t(x)])
                             : qRgb(samples[size_t(3 * x)], samples[size_t(3 * x + 1)], samples[size_t(3 * x + 2)]);
            }
        }
    });
    return decoded && filled == needed ? picture : QImage();
}

} // namespace zembrix
