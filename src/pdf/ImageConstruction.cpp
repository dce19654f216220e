#include "PDFFileStruct.h"

#include "ColourComponents.h"
#include "ImageColorProfiles.h"
#include "LabColorSpace.h"
#include "PdfStreamDecoder.h"
#include "SpotColorSpace.h"
#include "raster/QuietImageReading.h"
#include "raster/ColorManagement.h"
#include "raster/IndexedExpansion.h"
#include "raster/Jpeg2000Decoder.h"
#include "raster/JpegDecoder.h"
#include "raster/PictureScaling.h"
#include "raster/SampleImageBuilder.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <array>
#include <cmath>
#include <cstring>

namespace {

bool isName(const std::optional<QString> &name, const char *text)
{
    return name && *name == QLatin1String(text);
}

std::vector<double> decodeArrayOf(const PdfObject &stream)
{
    std::vector<double> decode;
    PdfObject array;
    if (!stream.getArray("Decode", &array))
        return decode;
    const int n = std::min(array.arrayCount(), 64);
    for (int i = 0; i < n; ++i) {
        double v = 0;
        if (!array.getNumberAt(i, &v) || !std::isfinite(v))
            return {};
        decode.push_back(v);
    }
    return decode;
}

bool isImageMask(const PdfObject &stream)
{
    bool mask = false;
    return stream.getBooleanEntry("ImageMask", &mask) && mask;
}

// The colour components of an image's own colour space, as the stream
// builder uses them; 0 when the builder cannot lay them out itself (Indexed,
// Separation, DeviceN, Pattern and unknown spaces).
int streamBuilderComponents(const PdfObject &colorSpace, int bpc, ColorModel *model, bool *lab)
{
    *lab = false;
    std::optional<QByteArray> family = colorSpace.name();
    PdfObject parameter;
    if (!family && colorSpace.type() == PdfTypeArray) {
        family = colorSpace.at(0).name();
        parameter = colorSpace.at(1);
    }
    if (!family)
        return 0;
    if (*family == "DeviceGray" || *family == "CalGray" || *family == "G") {
        *model = ColorModel::Gray;
        return 1;
    }
    if (*family == "DeviceRGB" || *family == "CalRGB" || *family == "RGB") {
        *model = ColorModel::RGB;
        return 3;
    }
    if (*family == "DeviceCMYK" || *family == "CMYK") {
        *model = ColorModel::CMYK;
        return 4;
    }
    if (*family == "Lab") {
        *model = ColorModel::RGB;
        *lab = true;
        return 3;
    }
    if (*family == "ICCBased") {
        std::int32_t n = 0;
        parameter.getIntegerEntry("N", &n);
        switch (n) {
        case 1: *model = ColorModel::Gray; return 1;
        case 3:
            *model = ColorModel::RGB;
            *lab = iccDataSpace(colorSpace) == IccDataSpace::Lab;
            return 3;
        case 4: *model = ColorModel::CMYK; return 4;
        default: return 0;
        }
    }
    if (bpc == 1 && colorSpace.name()) {
        *model = ColorModel::Gray; // an image mask or another one-bit name
        return 1;
    }
    return 0;
}

qint64 rasterLimit();

// Samples of a Lab space, /Lab or ICC-based, in RGB (LabColorSpace.h).
RasterImage labRaster(const RasterImage &samples, const PdfObject &colorSpace, bool colorManaged)
{
    const std::optional<LabColorSpace> lab = LabColorSpace::of(colorSpace);
    return lab ? lab->toRgb(samples, colorManaged, rasterLimit()) : RasterImage();
}

// Samples of a Separation or DeviceN image (packed, or a decoded JPEG's
// interleaved 8-bit samples) through the tint transform into the alternate
// space; Lab alternates are made RGB. Null when the space or a tint fails,
// or when `components` (0: any) is not the space's colourant count.
SpotColorSpace::TintBudgets tintBudgets(WorkBudget *file)
{
    return {file, file ? file->outer() : nullptr};
}

RasterImage spotRaster(QByteArrayView samples, int width, int height, int bpc, const PdfObject &stream,
                       bool colorManaged, int components = 0, DecodeCause *cause = nullptr,
                       WorkBudget *tintBudget = nullptr)
{
    const std::optional<SpotColorSpace> space = SpotColorSpace::fromObject(stream.get("ColorSpace"), cause);
    if (!space || (components != 0 && components != space->colourants()))
        return {};
    RasterImage raster = space->convertSamples(samples, width, height, bpc, decodeArrayOf(stream), rasterLimit(),
                                               cause, tintBudgets(tintBudget));
    if (!raster.isNull() && space->alternateIsLab())
        raster = labRaster(raster, space->alternate(), colorManaged);
    return raster;
}

// The size a picture of width x height is built at: itself, or for a reduced
// copy (reduceToEdge > 0) scaled to fit reduceToEdge on its long edge.
QSize builtSize(int width, int height, int reduceToEdge)
{
    if (reduceToEdge < 0)
        reduceToEdge = PDFImageStruct::kReducedEdge;
    const QSize full(width, height);
    if (reduceToEdge <= 0 || std::max(width, height) <= reduceToEdge)
        return full;
    return full.scaled(reduceToEdge, reduceToEdge, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// Scales a decoded photograph to the size the dictionary gives (or its reduced
// size), as the image is drawn into a rectangle of that size.
QImage drawnAtSize(const QImage &decoded, QSize size)
{
    if (decoded.isNull() || decoded.size() == size)
        return decoded;
    return scaledPicture(decoded, size);
}

// The component count of a device, calibrated or ICC-based space record;
// 0 for the others.
int deviceComponents(const TColorSpace &colorSpace)
{
    const std::optional<QString> &name = colorSpace.getName();
    if (!name || *name == QLatin1String("/DeviceCMYK"))
        return 4;
    if (*name == QLatin1String("/DeviceGray") || *name == QLatin1String("/CalGray"))
        return 1;
    if (*name == QLatin1String("/DeviceRGB") || *name == QLatin1String("/CalRGB"))
        return 3;
    if (*name == QLatin1String("/ICCBased")) {
        const int n = colorSpace.getBase().count();
        return n == 1 || n == 3 || n == 4 ? n : 0;
    }
    return 0;
}

// A one-bit gray picture kept at one bit per pixel (scanned pages are
// mostly this kind; eight times less memory than gray bytes). PDF's 0 is
// black unless the /Decode array is [1 0]. Null when the data is short.
QImage monoImage(const QByteArray &data, int width, int height, const PdfObject &stream)
{
    const qint64 rowBytes = (qint64(width) + 7) / 8;
    if (rowBytes * height > data.size())
        return {};
    QImage image(width, height, QImage::Format_Mono);
    if (image.isNull())
        return {};
    std::vector<double> decode = decodeArrayOf(stream);
    const bool inverted = decode.size() >= 2 && decode[0] > decode[1];
    image.setColorTable({inverted ? qRgb(255, 255, 255) : qRgb(0, 0, 0), inverted ? qRgb(0, 0, 0) : qRgb(255, 255, 255)});
    for (int y = 0; y < height; ++y)
        memcpy(image.scanLine(y), data.constData() + rowBytes * y, size_t(rowBytes));
    return image;
}

qint64 rasterLimit()
{
    return kMaxDecodedStreamBytes;
}

// Eight-bit gray or RGB samples without a /Decode array, copied straight into
// the picture the stream builder would give (one copy of the pixels instead
// of two). Null for any other kind, or short data.
QImage directImageOfSize(const PdfObject &stream, int width, int height, qint64 *rowBytesOut, bool fourBytes = false);

QImage directImage(const PdfObject &stream, const QByteArray &data, int width, int height)
{
    qint64 rowBytes = 0;
    QImage image = directImageOfSize(stream, width, height, &rowBytes);
    if (image.isNull() || rowBytes * height > data.size())
        return {};
    for (int y = 0; y < height; ++y)
        memcpy(image.scanLine(y), data.constData() + rowBytes * y, size_t(rowBytes));
    return image;
}

// The picture directImage() fills, still unfilled (or, `fourBytes`, an RGB32 one for the same
// samples), and the bytes of one of its rows in the data.
QImage directImageOfSize(const PdfObject &stream, int width, int height, qint64 *rowBytesOut, bool fourBytes)
{
    std::int32_t bpc = 0;
    ColorModel model = ColorModel::Gray;
    bool lab = false;
    QByteArray subtype;
    if (!stream.getName("Subtype", &subtype) || subtype != "Image" || isImageMask(stream)
        || !stream.getIntegerEntry("BitsPerComponent", &bpc) || bpc != 8
        || !decodeArrayOf(stream).empty())
        return {};
    const int components = streamBuilderComponents(stream.get("ColorSpace"), bpc, &model, &lab);
    if (lab || (components != 1 && components != 3))
        return {};
    const qint64 rowBytes = qint64(width) * components;
    if (rowBytes * height > rasterLimit())
        return {};
    *rowBytesOut = rowBytes;
    return QImage(width, height,
                  fourBytes ? QImage::Format_RGB32 : components == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
}

// JPEG data with the stream's /ColorTransform (which the data's own Adobe
// marker overrides).
RasterImage decodeStreamJpeg(const QByteArray &bytes, const PdfObject &stream, int reduceToEdge = 0)
{
    JpegDecodeOptions options;
    options.maxBytes = rasterLimit();
    options.checkOnly = reduceToEdge < 0;
    options.reduceToEdge = reduceToEdge < 0 ? PDFImageStruct::kReducedEdge : reduceToEdge;
    std::int32_t transform = -1;
    if (stream.get("DecodeParms").getIntegerEntry("ColorTransform", &transform))
        options.colorTransform = transform;
    return decodeJpeg(QByteArrayView(bytes), options);
}

// The picture of decoded samples, converted through their profile when
// colour management is on.
QImage pictureOf(RasterImage raster, const PdfObject &stream, bool colorManaged)
{
    if (colorManaged)
        manageImageColour(raster, stream, rasterLimit());
    return rasterToQImage(std::move(raster));
}

ColorModel modelWithComponents(int components)
{
    return components == 1 ? ColorModel::Gray : (components == 3 ? ColorModel::RGB : ColorModel::CMYK);
}

// The colour components per sample of a colour space; 0 when unknown.
int spaceComponents(const PdfObject &colorSpace)
{
    return colorSpace.handle() ? colourSpaceComponents(*colorSpace.handle()) : 0;
}

// Samples that end within the image, after at least one whole row, are
// padded with zero samples (which the /Decode array then maps, so usually
// black, or a palette's first entry), as viewers show them; the report gets
// the rows padded. Other data is given as it is.
PdfStreamData paddedSamples(const PdfStreamData &data, const PdfObject &stream, int width, int height, int bpc,
                            DecodeReport *report)
{
    int components = 1;
    if (isImageMask(stream))
        bpc = 1;
    else
        components = spaceComponents(stream.get("ColorSpace"));
    if (components == 0 || (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16))
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

} // namespace

// The /Decode array is applied here, on every route, as renderers apply it
// (ISO 32000-1 8.9.5.2): on the colour components of device, calibrated and
// ICC-based images and on image masks; not on JPEG 2000 data unless it is an
// image mask (8.9.5.2 lets the codestream decide). Lab samples, whose array
// maps to L*a*b* values, and Indexed and spot-colour samples have their own
// mappings (makeImageFromStream, makeIndexedImage, SpotColorSpace).
void PDFFileStruct::applyImageDecode(RasterImage &raster, const PdfObject &stream, bool jpeg2000)
{
    if (raster.isNull() || (jpeg2000 && !isImageMask(stream)))
        return;
    const std::vector<double> decode = decodeArrayOf(stream);
    if (!decode.empty())
        applyDecodeArray(raster, decode);
}

RasterImage PDFFileStruct::makeImageFromStream(const PdfObject &stream, const PdfStreamData &data, bool colorManaged)
{
    QByteArray subtype;
    std::int32_t width = 0, height = 0, bpc = 0;
    if (!stream.getName("Subtype", &subtype) || subtype != "Image" || !stream.getIntegerEntry("Width", &width)
        || !stream.getIntegerEntry("Height", &height) || !stream.getIntegerEntry("BitsPerComponent", &bpc))
        return {};
    if (width <= 0 || height <= 0)
        return {};
    const PdfObject colorSpace = stream.get("ColorSpace");
    ColorModel model = ColorModel::Gray;
    bool lab = false;
    const int components = streamBuilderComponents(colorSpace, bpc, &model, &lab);
    if (components == 0)
        return {}; // the raw path builds it (Indexed through its expansion)

    // Coded data has routes of its own (addOnlyPdfNewImage).
    if (data.format != PdfStreamFormat::Raw || (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16))
        return {};
    RasterImage raster = unpackSamples(QByteArrayView(data.bytes), width, height, components, bpc, rasterLimit());
    if (raster.isNull())
        return {};
    raster.model = model;
    if (!lab) {
        applyImageDecode(raster, stream, false);
        return raster;
    }
    const std::optional<LabColorSpace> space = LabColorSpace::of(colorSpace);
    if (!space)
        return {};
    // A Lab /Decode array maps samples to L*a*b* values, not to 0..1.
    if (const std::vector<double> decode = decodeArrayOf(stream); !decode.empty())
        applyDecodeArray(raster, space->encodedDecode(decode));
    if (raster.bitsPerComponent == 16) { // the Lab conversion reads 8 bits: the high-order byte
        RasterImage narrow = RasterImage::create(width, height, model, 8, false, rasterLimit());
        if (narrow.isNull())
            return {};
        const auto *wide = reinterpret_cast<const quint16 *>(raster.samples.constData());
        for (qsizetype i = 0; i < narrow.samples.size(); ++i)
            narrow.samples[i] = char(wide[i] >> 8);
        raster = std::move(narrow);
    }
    return space->toRgb(raster, colorManaged, rasterLimit());
}

static bool isSpotBase(const TBaseColor &base)
{
    return isName(base.getName(), "/DeviceN") || isName(base.getName(), "/Separation");
}

// The number of bytes per lookup entry of an Indexed space's base, and
// whether the base is CMYK-like. A gray base has one byte per entry.
static int lookupEntrySize(const TBaseColor &base, bool *cmyk)
{
    const std::optional<QString> &name = base.getName();
    *cmyk = false;
    if (!name || *name == QLatin1String("/DeviceCMYK")) {
        *cmyk = true;
        return 4;
    }
    if (*name == QLatin1String("/DeviceGray") || *name == QLatin1String("/CalGray"))
        return 1;
    if (*name == QLatin1String("/ICCBased")) {
        if (base.count() == 1)
            return 1;
        if (base.count() == 4) {
            *cmyk = true;
            return 4;
        }
    }
    return 3;
}

RasterImage PDFFileStruct::makeIndexedImage(const QByteArray &data, int width, int height, std::int32_t bps,
                                           const TColorSpace &colorSpace, const PdfObject &stream, bool colorManaged,
                                           bool jpeg2000, DecodeCause *cause, WorkBudget *tintBudget)
{
    const std::optional<QByteArray> &lookupBytes = colorSpace.getStream();
    if (!lookupBytes)
        return {};
    QByteArray indices = data;
    std::int32_t bitsPerIndex = bps;
    // A /Decode array maps index values before the lookup (8.9.5.2):
    // unpack them to bytes, map, and expand bytes. JPEG 2000 indices are
    // the codestream's own (its /Decode is not applied, as for its colours).
    const std::vector<double> decode = jpeg2000 ? std::vector<double>() : decodeArrayOf(stream);
    const double maxIndex = std::ldexp(1.0, bps) - 1;
    if (decode.size() >= 2 && !(decode[0] == 0 && decode[1] == maxIndex) && bps >= 1 && bps <= 8) {
        RasterImage unpacked = unpackSamples(QByteArrayView(data), width, height, 1, bps, rasterLimit());
        if (unpacked.isNull())
            return {};
        const int hival = std::max(0, colorSpace.count());
        indices = QByteArray(qsizetype(width) * height, Qt::Uninitialized);
        for (int y = 0; y < height; ++y) {
            const uchar *in = unpacked.row(y);
            uchar *out = reinterpret_cast<uchar *>(indices.data()) + qsizetype(y) * width;
            for (int x = 0; x < width; ++x) {
                // unpackSamples scaled the n-bit value to 0..255.
                const double s = bps == 8 ? in[x] : std::round(in[x] * maxIndex / 255.0);
                const double v = std::round(decode[0] + s * (decode[1] - decode[0]) / maxIndex);
                out[x] = uchar(std::clamp(v, 0.0, double(std::min(hival, 255))));
            }
        }
        bitsPerIndex = 8;
    }

    const PdfObject baseSpace = stream.get("ColorSpace").at(1);
    if (SpotColorSpace::isSpotSpace(baseSpace)) {
        // Each entry goes through the tint transform once.
        const std::optional<SpotColorSpace> spot = SpotColorSpace::fromObject(baseSpace, cause);
        if (!spot)
            return {};
        RasterImage table = spot->convertLookup(QByteArrayView(*lookupBytes), std::clamp(colorSpace.count(), 0, 255) + 1,
                                                cause, tintBudgets(tintBudget));
        if (!table.isNull() && spot->alternateIsLab())
            table = labRaster(table, spot->alternate(), colorManaged);
        if (table.isNull())
            return {};
        return expandIndexedImage(QByteArrayView(table.samples), table.model, QByteArrayView(indices), width, height,
                                  bitsPerIndex, rasterLimit());
    }
    if (const std::optional<LabColorSpace> lab = LabColorSpace::of(baseSpace)) {
        // Each Lab entry is converted once; indices past the table take its last entry.
        RasterImage table = RasterImage::create(int(std::min<qsizetype>(lookupBytes->size() / 3, 256)), 1,
                                                ColorModel::RGB, 8, false, qint64(256) * 3);
        if (table.isNull())
            return {};
        memcpy(table.samples.data(), lookupBytes->constData(), size_t(table.samples.size()));
        table = lab->toRgb(table, colorManaged, rasterLimit());
        if (table.isNull())
            return {};
        return expandIndexedImage(QByteArrayView(table.samples), ColorModel::RGB, QByteArrayView(indices), width,
                                  height, bitsPerIndex, rasterLimit());
    }
    const TBaseColor &base = colorSpace.getBase();
    bool cmyk = false;
    const int entry = lookupEntrySize(base, &cmyk);
    if (cmyk)
        return makeCmykIndexedImage(QByteArrayView(*lookupBytes), QByteArrayView(indices), width, height, bitsPerIndex,
                                    rasterLimit());
    if (entry == 1)
        return expandIndexedImage(QByteArrayView(*lookupBytes), ColorModel::Gray, QByteArrayView(indices), width, height,
                                  bitsPerIndex, rasterLimit());
    return makeRgbIndexedImage(QByteArrayView(*lookupBytes), QByteArrayView(indices), width, height, bitsPerIndex,
                               rasterLimit());
}

namespace {

bool isSampleDepth(std::int32_t bpc)
{
    return bpc == 1 || bpc == 2 || bpc == 4 || bpc == 8 || bpc == 16;
}

// Whether `count` bytes hold h rows of w pixels of `components` samples of
// `bpc` bits, and their raster of `rasterComponents` fits the limit.
bool packedFit(qint64 count, qint64 w, qint64 h, int components, int bpc, int rasterComponents)
{
    return isSampleDepth(bpc) && count / h >= (w * components * bpc + 7) / 8
        && w * h * rasterComponents * (bpc == 16 ? 2 : 1) <= rasterLimit();
}

} // namespace

bool PDFFileStruct::samplesWouldBuild(const PdfObject &stream, const TColorSpace *colorSpace, std::int32_t bps,
                                      double width, double height, qint64 count, DecodeReport *report)
{
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6) || count <= 0)
        return false;
    const qint64 w = qint64(width), h = qint64(height);
    // Short samples are padded as paddedSamples() pads them.
    const int paddedComponents = isImageMask(stream) ? 1 : spaceComponents(stream.get("ColorSpace"));
    const int paddedBpc = isImageMask(stream) ? 1 : bps;
    if (paddedComponents > 0 && isSampleDepth(paddedBpc)) {
        const qint64 rowBytes = (w * paddedComponents * paddedBpc + 7) / 8;
        if (count < rowBytes * h && count >= rowBytes && rowBytes * h <= rasterLimit()) {
            if (report) {
                report->rows = int(h);
                report->paddedRows = int(h - count / rowBytes);
            }
            count = rowBytes * h;
        }
    }
    if (isImageMask(stream))
        return packedFit(count, w, h, 1, 1, 1);
    const PdfObject space = stream.get("ColorSpace");
    if (SpotColorSpace::isSpotSpace(space)) {
        const std::optional<SpotColorSpace> spot = SpotColorSpace::fromObject(space);
        return spot && packedFit(count, w, h, spot->colourants(), bps, spot->alternateComponents());
    }
    if (colorSpace && bps == 1 && deviceComponents(*colorSpace) == 1 && packedFit(count, w, h, 1, 1, 1))
        return true;
    // The stream builder, from the dictionary's own entries.
    std::int32_t streamWidth = 0, streamHeight = 0, streamBpc = 0;
    QByteArray subtype;
    if (stream.getName("Subtype", &subtype) && subtype == "Image" && stream.getIntegerEntry("Width", &streamWidth)
        && stream.getIntegerEntry("Height", &streamHeight) && stream.getIntegerEntry("BitsPerComponent", &streamBpc)
        && streamWidth > 0 && streamHeight > 0) {
        ColorModel model = ColorModel::Gray;
        bool lab = false;
        const int components = streamBuilderComponents(space, streamBpc, &model, &lab);
        if (components > 0 && packedFit(count, streamWidth, streamHeight, components, streamBpc, components))
            return !lab || LabColorSpace::of(space).has_value();
    }
    // The raw path.
    if (!colorSpace || bps < 1)
        return sampleLayoutAccepted(count, 8, SampleColorMode::RGB, int(w), int(h), rasterLimit());
    if (bps < 8) {
        const int components = deviceComponents(*colorSpace);
        if (components > 0 && packedFit(count, w, h, components, bps, components))
            return true;
    }
    const std::optional<QString> &name = colorSpace->getName();
    const auto layout = [&](SampleColorMode mode) {
        return sampleLayoutAccepted(count, bps, mode, int(w), int(h), rasterLimit());
    };
    if (!name || *name == QLatin1String("/DeviceCMYK"))
        return layout(SampleColorMode::CMYK);
    if (*name == QLatin1String("/DeviceGray") || *name == QLatin1String("/CalGray"))
        return layout(SampleColorMode::Gray);
    if (*name == QLatin1String("/DeviceRGB") || *name == QLatin1String("/CalRGB"))
        return layout(SampleColorMode::RGB);
    if (*name == QLatin1String("/ICCBased"))
        return layout(SampleColorMode::CMYK) || layout(SampleColorMode::RGB) || layout(SampleColorMode::Gray);
    if (*name != QLatin1String("/Indexed"))
        return false;
    if (!isSpotBase(colorSpace->getBase()))
        return indexedSamplesFit(colorSpace, bps, width, height, count, stream);
    // Over a spot colour space: the table's tints are evaluated when built.
    const std::optional<SpotColorSpace> spot = SpotColorSpace::fromObject(space.at(1));
    return spot && colorSpace->getStream() && bps >= 1 && bps <= 8
        && packedFit(count, w, h, 1, bps, spot->alternateComponents());
}

bool PDFFileStruct::endsInCodedPicture(const PdfObject &stream)
{
    QList<PdfFilterStep> steps = pdfStreamFilters(stream);
    steps.removeIf([](const PdfFilterStep &step) { return step.name == "Crypt"; });
    return !steps.isEmpty() && (steps.last().name == "DCTDecode" || steps.last().name == "JPXDecode");
}

bool PDFFileStruct::codedPictureWouldBuild(const PdfStreamData &data, double width, double height,
                                           const PdfObject &stream)
{
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6))
        return false;
    const QSize size{int(width), int(height)};
    const QByteArrayView bytes(data.bytes);
    if (data.format == PdfStreamFormat::JPEG2000)
        return jpeg2000AcceptedSize(bytes, rasterLimit()) == size;
    if (data.format != PdfStreamFormat::JPEG)
        return false;
    // As jpegImage() tries them: JPEG, a JPEG 2000 codestream, any other picture.
    JpegDecodeOptions options;
    options.maxBytes = rasterLimit();
    std::int32_t transform = -1;
    if (stream.get("DecodeParms").getIntegerEntry("ColorTransform", &transform))
        options.colorTransform = transform;
    if (const std::optional<JpegHeaderFacts> facts = jpegHeaderFacts(bytes, options)) {
        if (!SpotColorSpace::isSpotSpace(stream.get("ColorSpace")))
            return true;
        const std::optional<SpotColorSpace> spot = SpotColorSpace::fromObject(stream.get("ColorSpace"));
        return spot && spot->colourants() == facts->components;
    }
    if (jpeg2000AcceptedSize(bytes, rasterLimit()) == size)
        return true;
    QBuffer buffer;
    buffer.setData(data.bytes);
    return buffer.open(QIODevice::ReadOnly) && QImageReader(&buffer).canRead();
}

namespace {

// Whether the samples may stream straight into a picture of the
// dictionary's own size: a sane size, stated exactly, and no coded picture.
bool streamableSize(const PdfObject &stream, double width, double height, std::int32_t *w, std::int32_t *h)
{
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6) || !stream.getIntegerEntry("Width", w)
        || !stream.getIntegerEntry("Height", h) || *w != int(width) || *h != int(height))
        return false;
    for (const PdfFilterStep &step : pdfStreamFilters(stream))
        if (step.name == "DCTDecode" || step.name == "JPXDecode")
            return false;
    return true;
}

} // namespace

QImage PDFFileStruct::streamedIndexedImage(const PdfObject &stream, const TColorSpace *colorSpace, std::int32_t bps,
                                           double width, double height)
{
    std::int32_t w = 0, h = 0;
    if (!colorSpace || !isName(colorSpace->getName(), "/Indexed") || !colorSpace->getStream() || bps != 8
        || isImageMask(stream) || !decodeArrayOf(stream).empty() || isSpotBase(colorSpace->getBase())
        || !streamableSize(stream, width, height, &w, &h) || LabColorSpace::of(stream.get("ColorSpace").at(1)))
        return {};
    // As makeIndexedImage() expands them: entries as stored, indices past the
    // table take its last entry.
    bool cmyk = false;
    const int entry = lookupEntrySize(colorSpace->getBase(), &cmyk);
    const QByteArray &lookup = *colorSpace->getStream();
    const qint64 entries = lookup.size() / entry;
    if (cmyk || entries < 1 || qint64(w) * h * entry > rasterLimit())
        return {};
    QImage image(w, h, entry == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull())
        return {};
    std::array<std::array<uchar, 3>, 256> palette{};
    for (int v = 0; v < 256; ++v)
        memcpy(palette[size_t(v)].data(), lookup.constData() + std::min<qint64>(v, entries - 1) * entry, size_t(entry));
    const qint64 pixels = qint64(w) * h;
    uchar *const bits = image.bits();
    const qint64 stride = image.bytesPerLine();
    qint64 filled = 0;
    const bool decoded = decodePdfStreamTo(stream, stream.decodedSizeLimit(), [&](QByteArrayView bytes) {
        const uchar *in = reinterpret_cast<const uchar *>(bytes.data());
        for (qint64 i = 0; i < bytes.size() && filled < pixels; ++i, ++filled)
            memcpy(bits + filled / w * stride + filled % w * entry, palette[in[i]].data(), size_t(entry));
    });
    return decoded && filled == pixels ? image : QImage();
}

bool PDFFileStruct::indexedSamplesFit(const TColorSpace *colorSpace, std::int32_t bps, double width, double height,
                                      qint64 count, const PdfObject &stream)
{
    if (!colorSpace || !isName(colorSpace->getName(), "/Indexed") || !colorSpace->getStream() || isImageMask(stream))
        return false;
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6) || bps < 1 || bps > 8)
        return false;
    const qint64 w = qint64(width), h = qint64(height);
    // As makeIndexedImage() reads them: a /Decode array maps the indices to bytes first.
    const std::vector<double> decode = decodeArrayOf(stream);
    const double maxIndex = std::ldexp(1.0, bps) - 1;
    qint64 bits = bps;
    if (decode.size() >= 2 && !(decode[0] == 0 && decode[1] == maxIndex)) {
        if (count < (w * bps + 7) / 8 * h)
            return false;
        bits = 8;
    } else if (bits != 1 && bits != 2 && bits != 4 && bits != 8) {
        return false;
    }
    // Spot-colour entries are only known good once their tints evaluate.
    const TBaseColor &base = colorSpace->getBase();
    if (isSpotBase(base))
        return false;
    bool cmyk = false;
    const int entry = lookupEntrySize(base, &cmyk);
    const qint64 indices = bits == 8 ? count : count * (8 / bits);
    return colorSpace->getStream()->size() >= entry && indices >= w * h && w * h * entry <= rasterLimit();
}

QImage PDFFileStruct::streamedSampleImage(const PdfObject &stream, double width, double height, bool fourBytes)
{
    std::int32_t w = 0, h = 0;
    if (!streamableSize(stream, width, height, &w, &h))
        return {};
    qint64 rowBytes = 0;
    QImage image = directImageOfSize(stream, w, h, &rowBytes, fourBytes);
    if (image.isNull())
        return {};
    const bool gray = rowBytes == w;
    // Four bytes a pixel: each row of samples is gathered, then widened into the picture.
    std::vector<uchar> samples(fourBytes ? size_t(rowBytes) : 0);
    const qint64 needed = rowBytes * h;
    qint64 filled = 0;
    const bool decoded = decodePdfStreamTo(stream, stream.decodedSizeLimit(), [&](QByteArrayView bytes) {
        const char *in = bytes.data();
        qint64 left = std::min<qint64>(bytes.size(), needed - filled);
        while (left > 0) {
            const qint64 column = filled % rowBytes;
            const qint64 n = std::min(left, rowBytes - column);
            const int y = int(filled / rowBytes);
            memcpy((fourBytes ? samples.data() : image.scanLine(y)) + column, in, size_t(n));
            in += n;
            left -= n;
            filled += n;
            if (fourBytes && column + n == rowBytes) {
                QRgb *pixel = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = 0; x < w; ++x)
                    pixel[x] = gray ? qRgb(samples[size_t(x)], samples[size_t(x)], samples[size_t(x)])
                                    : qRgb(samples[size_t(3 * x)], samples[size_t(3 * x + 1)], samples[size_t(3 * x + 2)]);
            }
        }
    });
    return decoded && filled == needed ? image : QImage();
}

// Coded photographs: JPEG data, or a JPEG 2000 codestream behind /DCTDecode,
// or any other picture the general decoder reads; drawn at the dictionary's
// size. The coded bytes are never taken as samples.
QImage PDFFileStruct::jpegImage(const PdfStreamData &data, int width, int height, const PdfObject &stream,
                                int reduceToEdge, bool colorManaged, DecodeCause *cause, WorkBudget *tintBudget)
{
    const QSize size = builtSize(width, height, reduceToEdge);
    RasterImage decoded = decodeStreamJpeg(data.bytes, stream, reduceToEdge);
    if (!decoded.isNull() && SpotColorSpace::isSpotSpace(stream.get("ColorSpace"))) {
        // Coded tints: the decoded components are the colourants.
        if (decoded.bitsPerComponent != 8 || decoded.hasAlpha)
            return {};
        RasterImage converted = spotRaster(QByteArrayView(decoded.samples), decoded.width, decoded.height, 8, stream,
                                           colorManaged, decoded.colorComponents(), cause, tintBudget);
        return converted.isNull() ? QImage() : drawnAtSize(pictureOf(std::move(converted), stream, colorManaged), size);
    }
    if (!decoded.isNull()) {
        applyImageDecode(decoded, stream, false);
        return drawnAtSize(pictureOf(std::move(decoded), stream, colorManaged), size);
    }
    const QImage jpx = jpeg2000Image(data, width, height, stream, reduceToEdge, colorManaged);
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
QImage PDFFileStruct::jpeg2000Image(const PdfStreamData &data, int width, int height, const PdfObject &stream,
                                    int reduceToEdge,
                                    bool colorManaged, const TColorSpace *colorSpace, DecodeCause *cause)
{
    if (jpeg2000Size(QByteArrayView(data.bytes)) != QSize(width, height))
        return {};
    // From here on the data has the image's size: a failure is damage.
    const auto damaged = [cause]() {
        noteDecodeCause(cause, DecodeCause::DamagedFile);
        return QImage();
    };
    // An Indexed space: the codestream's samples are the indices, at the
    // codestream's own precision whatever /BitsPerComponent says.
    if (colorSpace && isName(colorSpace->getName(), "/Indexed")) {
        const RasterImage indices = decodeJpeg2000(QByteArrayView(data.bytes), rasterLimit(), true, cause);
        if (indices.isNull() || indices.width != width || indices.height != height)
            return damaged();
        return pictureOf(
            makeIndexedImage(indices.samples, width, height, 8, *colorSpace, stream, colorManaged, true, cause), stream,
            colorManaged);
    }
    // A smaller copy comes from a lower resolution level of the data (the
    // caller draws it at its size); the picture itself from the whole.
    if (reduceToEdge > 0 && std::max(width, height) > reduceToEdge) {
        RasterImage reduced = decodeJpeg2000Reduced(QByteArrayView(data.bytes), reduceToEdge, rasterLimit());
        if (reduced.isNull() || reduced.width > width || reduced.height > height)
            return damaged();
        applyImageDecode(reduced, stream, true);
        return pictureOf(std::move(reduced), stream, colorManaged);
    }
    RasterImage decoded = decodeJpeg2000(QByteArrayView(data.bytes), rasterLimit());
    if (decoded.isNull() || decoded.width != width || decoded.height != height)
        return damaged();
    applyImageDecode(decoded, stream, true);
    return pictureOf(std::move(decoded), stream, colorManaged);
}

// The route is chosen by what the stream decoder delivered, not by the filter
// names that led there: [/ASCIIHexDecode /DCTDecode] is JPEG data as much as
// [/DCTDecode] is. The filter list only describes the image.
QImage PDFFileStruct::addOnlyPdfNewImage(const PdfStreamData &data, const QStringList *filters, double width,
                                        double height, const TColorSpace *colorSpace, std::int32_t bps,
                                        const PdfObject &stream, int reduceToEdge, bool colorManaged,
                                        DecodeReport *report, WorkBudget *tintBudget)
{
    const QImage built = buildImage(data, filters, width, height, colorSpace, bps, stream, reduceToEdge, colorManaged,
                                    report, tintBudget);
    if (built.isNull() || reduceToEdge == 0)
        return built;
    if (reduceToEdge == kCheckOnly)
        return built.width() <= PDFImageStruct::kReducedEdge && built.height() <= PDFImageStruct::kReducedEdge
            ? built
            : QImage(1, 1, QImage::Format_Grayscale8);
    return drawnAtSize(built, builtSize(built.width(), built.height(), reduceToEdge));
}

QImage PDFFileStruct::buildImage(const PdfStreamData &stored, const QStringList *filters, double width, double height,
                                 const TColorSpace *colorSpace, std::int32_t bps, const PdfObject &stream,
                                 int reduceToEdge, bool colorManaged, DecodeReport *report, WorkBudget *tintBudget)
{
    Q_UNUSED(filters);
    // Sizes are checked before anything is built.
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6))
        return {};
    const int w = int(width), h = int(height);
    DecodeCause *const cause = report ? &report->cause : nullptr;
    switch (stored.format) {
    case PdfStreamFormat::JPEG:
        return jpegImage(stored, w, h, stream, reduceToEdge, colorManaged, cause, tintBudget);
    case PdfStreamFormat::JPEG2000:
        return jpeg2000Image(stored, w, h, stream, reduceToEdge, colorManaged, colorSpace, cause);
    case PdfStreamFormat::Raw:
        break;
    }
    if (!isImageMask(stream) && bps != 1 && bps != 2 && bps != 4 && bps != 8 && bps != 16)
        noteDecodeCause(cause, DecodeCause::UnsupportedBitsPerComponent);
    const PdfStreamData data = paddedSamples(stored, stream, w, h, bps, report);

    // Samples. An image mask is one bit per pixel, rows padded to whole bytes.
    if (isImageMask(stream)) {
        RasterImage mask = unpackSamples(QByteArrayView(data.bytes), w, h, 1, 1, rasterLimit());
        applyImageDecode(mask, stream, false);
        return rasterToQImage(std::move(mask));
    }
    if (SpotColorSpace::isSpotSpace(stream.get("ColorSpace")))
        return pictureOf(spotRaster(QByteArrayView(data.bytes), w, h, bps, stream, colorManaged, 0, cause, tintBudget),
                         stream,
                         colorManaged);
    // One-bit gray stays at one bit per pixel.
    if (colorSpace && bps == 1 && deviceComponents(*colorSpace) == 1) {
        QImage mono = monoImage(data.bytes, w, h, stream);
        if (!mono.isNull())
            return mono;
    }
    // The stream builder lays the samples out from the dictionary; the raw
    // path below takes what it cannot (Indexed, and data of another length).
    std::int32_t streamWidth = 0, streamHeight = 0;
    if (stream.getIntegerEntry("Width", &streamWidth) && stream.getIntegerEntry("Height", &streamHeight)
        && streamWidth == w && streamHeight == h) {
        const QImage direct = colorManaged && hasEmbeddedProfile(stream) ? QImage() : directImage(stream, data.bytes, w, h);
        if (!direct.isNull())
            return direct;
    }
    RasterImage built = makeImageFromStream(stream, data, colorManaged);
    if (!built.isNull())
        return pictureOf(std::move(built), stream, colorManaged);

    // The raw path: the layout is inferred from the data length.
    RasterImage raster;
    const QByteArrayView bytes(data.bytes);
    const qint64 count = data.bytes.size();
    if (colorSpace && bps >= 1) {
        const std::optional<QString> &name = colorSpace->getName();
        // Samples of fewer than 8 bits: the data-length inference cannot tell
        // 2-bit RGB from 8-bit gray, so device and ICC-based images of 1, 2
        // and 4 bits are laid out from the dictionary's own sizes.
        if (bps < 8) {
            const int components = deviceComponents(*colorSpace);
            if (components > 0) {
                raster = unpackSamples(bytes, w, h, components, bps, rasterLimit());
                if (!raster.isNull()) {
                    raster.model = modelWithComponents(components);
                    applyImageDecode(raster, stream, false);
                    return pictureOf(std::move(raster), stream, colorManaged);
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
            return pictureOf(makeIndexedImage(data.bytes, w, h, bps, *colorSpace, stream, colorManaged, false, cause,
                                              tintBudget),
                             stream, colorManaged);
        } else {
            return {};
        }
    } else {
        raster = makeImageFromSamples(bytes, count, 8, SampleColorMode::RGB, w, h, rasterLimit());
    }
    applyImageDecode(raster, stream, false);
    return pictureOf(std::move(raster), stream, colorManaged);
}
