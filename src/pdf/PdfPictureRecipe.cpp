#include "PdfPictureRecipe.h"

#include "ImageColorProfiles.h"

#include "MaskStreaming.h"
#include "ImageBuilders.h"
#include "PdfStreamDecoder.h"
#include "raster/ImageMasking.h"

#include <cmath>
#include <exception>

namespace zembrix {

namespace {

// True when the stream has a /Decode array that maps some component other
// than [0 1] would.
bool hasDecodeMapping(const PdfObject &stream)
{
    const PdfObject decode = stream.get("Decode");
    if (!decode.isValid() || decode.type() == PdfTypeNull)
        return false;
    const int n = decode.arrayCount();
    if (decode.type() != PdfTypeArray || n % 2 != 0)
        return true;
    for (int i = 0; i < n; ++i) {
        double v = 0;
        if (!decode.getNumberAt(i, &v) || v != double(i % 2))
            return true;
    }
    return false;
}

// The family of the image's colour space and its component count (0 when
// it has none a standalone file can hold: Indexed, Separation, DeviceN,
// Lab, Pattern, unknown). An absent colour space gives an empty family.
QByteArray colourFamily(const PdfObject &colorSpace, int *components)
{
    *components = 0;
    std::optional<QByteArray> family = colorSpace.name();
    if (!family && colorSpace.type() == PdfTypeArray)
        family = colorSpace.at(0).name();
    if (!family)
        return {};
    const QByteArray name = expandFilterAbbreviation(*family);
    if (name == "DeviceGray" || name == "G" || name == "CalGray")
        *components = 1;
    else if (name == "DeviceRGB" || name == "RGB" || name == "CalRGB")
        *components = 3;
    else if (name == "DeviceCMYK" || name == "CMYK")
        *components = 4;
    else if (name == "ICCBased") {
        std::int32_t n = 0;
        if (colorSpace.at(1).getIntegerEntry("N", &n) && (n == 1 || n == 3 || n == 4))
            *components = n;
    }
    return name;
}

std::int32_t intParam(const PdfObject &parms, const char *key, std::int32_t fallback)
{
    std::int32_t v = 0;
    return parms.getIntegerEntry(key, &v) ? v : fallback;
}

bool boolParam(const PdfObject &parms, const char *key, bool fallback)
{
    bool v = false;
    return parms.getBooleanEntry(key, &v) ? v : fallback;
}

// Why the coded data of `stream` would not give the picture the system
// shows, read from its dictionary; empty when it would.
QString dictionaryObstacle(const PdfObject &stream, const PdfCodedPicture &coded, bool maskApplied)
{
    if (maskApplied || stream.get("SMask").isValid() || stream.get("Mask").isValid())
        return QStringLiteral("it has a mask");
    if (hasDecodeMapping(stream))
        return QStringLiteral("it has a /Decode array");
    bool imageMask = false;
    stream.getBooleanEntry("ImageMask", &imageMask);
    int components = 0;
    const PdfObject colorSpace = stream.get("ColorSpace");
    const QByteArray family = colourFamily(colorSpace, &components);
    const QByteArray &filter = coded.coding.name;
    if (filter == "CCITTFaxDecode") {
        std::int32_t bpc = 1;
        stream.getIntegerEntry("BitsPerComponent", &bpc);
        if (!imageMask && (components != 1 || bpc != 1))
            return QStringLiteral("a fax image must be one-bit gray");
        return {};
    }
    if (imageMask)
        return QStringLiteral("it is a stencil mask");
    if (components == 0 && !(family.isEmpty() && filter == "JPXDecode"))
        return QStringLiteral("its colour space (%1) cannot be carried by the file")
            .arg(family.isEmpty() ? QStringLiteral("none") : QString::fromLatin1("/" + family));
    return {};
}

} // namespace

ImageStreamRecipe ImageStreamRecipe::of(const ImageDictionary &image, const ObjectKey &objectKey,
                                        std::shared_ptr<ColorTransformCache> colors,
                                        std::shared_ptr<const InlineImageOrigin> inlineImage,
                                        std::shared_ptr<WorkBudget> tintBudget)
{
    return {objectKey,         image.filters,          image.width,
            image.height,      image.bitsPerComponent, image.colorSpace,
            std::move(colors), std::move(inlineImage), std::move(tintBudget)};
}

ImageDictionary ImageStreamRecipe::dictionaryOf(const PdfObject &stream) const
{
    ImageDictionary image = ImageDictionary::read(stream, ImageDictionary::ColorSpaceRecord::Skip);
    image.filters = filters;
    image.width = width;
    image.height = height;
    image.bitsPerComponent = bitsPerComponent;
    image.colorSpace = colorSpace;
    return image;
}

PdfObject ImageStreamRecipe::streamIn(const PdfDocument &document) const
{
    return inlineImage ? document.inlineImage(*inlineImage) : document.objectByKey(objectKey);
}

QImage ImageStreamRecipe::build(const PdfDocument &document, int reduceToEdge, bool fourBytes) const
{
    return build(streamIn(document), reduceToEdge, fourBytes);
}

QSize ImageStreamRecipe::declaredSize() const
{
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6))
        return {};
    return QSize(int(width), int(height));
}

QImage ImageStreamRecipe::buildMask(const PdfObject &stream, QSize size, bool softMask) const
{
    if (stream.type() != PdfTypeStream)
        return {};
    const bool huge = isStreamedMask(width, height, size);
    QImage mask;
    if (huge || (isStencilMask(stream, bitsPerComponent, softMask) && declaredSize().isValid()))
        mask = streamedMaskPicture(stream, colorSpace.get(), int(width), int(height), bitsPerComponent,
                                   huge ? size : declaredSize(), softMask);
    if (mask.isNull())
        mask = build(stream, 0);
    // Never finer than the picture it masks (a reduced copy's).
    if (!mask.isNull() && qint64(mask.width()) * mask.height() > qint64(size.width()) * size.height()
        && !size.isEmpty())
        mask = mask.convertToFormat(QImage::Format_Grayscale8)
                   .scaled(size, Qt::IgnoreAspectRatio, softMask ? Qt::SmoothTransformation : Qt::FastTransformation);
    return mask;
}

QImage ImageStreamRecipe::build(const PdfObject &stream, int reduceToEdge, bool fourBytes) const
{
    if (stream.type() != PdfTypeStream)
        return {};
    const ImageDictionary image = dictionaryOf(stream);
    if (reduceToEdge == 0 && !(colors && hasEmbeddedProfile(image.colorSpaceEntry))) {
        QImage streamed = streamedSamplePicture(image, fourBytes);
        if (streamed.isNull())
            streamed = streamedIndexedPicture(image);
        if (!streamed.isNull())
            return streamed;
    }
    const std::optional<PdfStreamData> data = stream.copyStreamData(stream.decodedSizeLimit());
    if (!data)
        return {};
    return buildPicture(image, *data, {reduceToEdge, colors.get(), tintBudget.get()});
}

PdfPictureRecipe::PdfPictureRecipe(std::shared_ptr<PdfDocumentPool> documents, ImageStreamRecipe image,
                                   std::optional<ImageStreamRecipe> mask, bool softMask)
    : m_documents(std::move(documents))
    , m_image(std::move(image))
    , m_mask(std::move(mask))
    , m_softMask(softMask)
{
}

QImage PdfPictureRecipe::build() const
{
    try {
        if (!m_documents)
            return {};
        const PdfDocumentPool::Lease lease = m_documents->lease();
        if (!lease.document())
            return {};
        if (!m_mask)
            return m_image.build(*lease.document(), 0);
        // Never the image's samples, the mask and the masked picture at once: the image is
        // made four bytes a pixel (built so, where its samples allow), which the masking then
        // fills in place, before the mask is built; the mask goes once applied. A mask larger
        // than the image gives the picture its size (maskImage()).
        QImage image = m_image.build(*lease.document(), 0, true);
        if (image.isNull())
            return image;
        // A mask-sized picture past the decoded-size cap keeps the image's size instead: the mask
        // is brought to it.
        QSize size = maskedPictureSize(image.size(), m_mask->declaredSize());
        if (qint64(size.width()) * size.height() * 4 > kMaxDecodedStreamBytes)
            size = image.size();
        const bool opaque = image.format() == QImage::Format_RGB32;
        if (size == image.size())
            image = std::move(image).convertToFormat(QImage::Format_ARGB32);
        const PdfObject maskStream = m_mask->streamIn(*lease.document());
        // An opaque picture of the mask's own size takes the mask as it decodes: no whole mask.
        if (opaque && size == image.size() && m_mask->declaredSize() == size
            && applyStreamedMask(image, maskStream, m_mask->colorSpace.get(), m_mask->bitsPerComponent, m_softMask))
            return image;
        const QImage mask = m_mask->buildMask(maskStream, size, m_softMask);
        if (mask.isNull())
            return image;
        return maskImage(std::move(image), mask.convertToFormat(QImage::Format_Grayscale8), m_softMask);
    } catch (const std::exception &) {
        return {};
    }
}

QImage PdfPictureRecipe::buildReduced(int edge) const
{
    try {
        if (!m_documents || m_mask || edge <= 0)
            return {};
        const PdfDocumentPool::Lease lease = m_documents->lease();
        return lease.document() ? m_image.build(*lease.document(), edge) : QImage();
    } catch (const std::exception &) {
        return {};
    }
}

std::optional<EmbeddedPicture> PdfPictureRecipe::embeddedPicture() const
{
    try {
        if (!m_documents)
            return std::nullopt;
        const PdfDocumentPool::Lease lease = m_documents->lease();
        if (!lease.document())
            return std::nullopt;
        const PdfObject stream = m_image.streamIn(*lease.document());
        if (stream.type() != PdfTypeStream)
            return std::nullopt;
        std::optional<PdfCodedPicture> coded = codedPictureOfStream(stream, stream.decodedSizeLimit());
        if (!coded)
            return std::nullopt;

        EmbeddedPicture picture;
        const QByteArray &filter = coded->coding.name;
        picture.coding = filter == "DCTDecode"   ? EmbeddedPicture::Coding::Jpeg
                         : filter == "JPXDecode" ? EmbeddedPicture::Coding::Jpeg2000
                                                 : EmbeddedPicture::Coding::CcittFax;
        picture.bytes = std::move(coded->bytes);
        if (std::isfinite(m_image.width) && std::isfinite(m_image.height) && m_image.width >= 1 && m_image.height >= 1
            && m_image.width <= 1e6 && m_image.height <= 1e6) {
            picture.width = int(m_image.width);
            picture.height = int(m_image.height);
        }
        const PdfObject &parms = coded->coding.parms;
        picture.colorTransform = intParam(parms, "ColorTransform", -1);
        picture.k = intParam(parms, "K", 0);
        picture.endOfLine = boolParam(parms, "EndOfLine", false);
        picture.encodedByteAlign = boolParam(parms, "EncodedByteAlign", false);
        picture.blackIs1 = boolParam(parms, "BlackIs1", false);
        picture.obstacle = dictionaryObstacle(stream, *coded, m_mask.has_value());
        if (picture.obstacle.isEmpty() && picture.width == 0)
            picture.obstacle = QStringLiteral("its size is not usable");
        if (picture.obstacle.isEmpty() && picture.coding == EmbeddedPicture::Coding::CcittFax) {
            const std::int32_t columns = intParam(parms, "Columns", 1728);
            const std::int32_t rows = intParam(parms, "Rows", 0);
            if (columns != picture.width || (rows != 0 && rows != picture.height))
                picture.obstacle = QStringLiteral("its fax size differs from the image size");
        }
        return picture;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

} // namespace zembrix
