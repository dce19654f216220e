#include "PDFFileStruct.h"

#include "ImageBuilders.h"
#include "PdfStreamDecoder.h"

#include "images/CoreContext.h"
#include "raster/Jpeg2000Decoder.h"
#include "raster/JpegDecoder.h"

#include <algorithm>
#include <cmath>

namespace zembrix {

std::optional<QString> PDFFileStruct::getImageCreationDate(const PdfStreamData &data)
{
    switch (data.format) {
    case PdfStreamFormat::JPEG: return jpegPropertiesText(QByteArrayView(data.bytes));
    case PdfStreamFormat::JPEG2000: return jpeg2000PropertiesText(QByteArrayView(data.bytes));
    case PdfStreamFormat::Raw: break;
    }
    return std::nullopt;
}

namespace {

// What the check of a coded picture reads first (SOI to SOF of a JPEG with
// its usual segments, the boxes and main header of JPEG 2000), then, when
// that did not decide (an embedded profile or thumbnail before the frame
// header), next.
constexpr qint64 kCodedPictureHeadBytes[] = {8 * 1024, 64 * 1024};

bool isMaskEntry(const OstrelNode *node)
{
    return node->name() == QLatin1String("/SMask") || node->name() == QLatin1String("/Mask");
}

// The size a mask is built at for a picture of `size`: that of the picture's reduced copy.
QSize maskTargetFor(QSizeF size)
{
    const QSize target(int(std::clamp(size.width(), 1.0, 1e6)), int(std::clamp(size.height(), 1.0, 1e6)));
    if (target.width() <= PDFImageStruct::kReducedEdge && target.height() <= PDFImageStruct::kReducedEdge)
        return target;
    return target.scaled(PDFImageStruct::kReducedEdge, PDFImageStruct::kReducedEdge, Qt::KeepAspectRatio)
        .expandedTo(QSize(1, 1));
}

// The size of the masked picture: a mask larger than its image (by pixel
// count) gives the picture its size (maskImage()), which the pixel budget then counts.
QSizeF pictureSizeOf(const ImageDictionary &image, const std::optional<ImageDictionary> &mask)
{
    const QSizeF own(image.width, image.height);
    if (mask && mask->width >= 1 && mask->height >= 1 && mask->width * mask->height > own.width() * own.height())
        return {mask->width, mask->height};
    return own;
}

std::optional<PdfStreamData> streamData(const ImageDictionary &image, DecodeCause *cause)
{
    return image.stream.copyStreamData(image.stream.decodedSizeLimit(), cause);
}

} // namespace

// Whether a large image builds, decided without building it: a coded picture
// from its header, samples from their decoded length (counted as they
// decode, never held); JBIG2 data of a listing from its page headers.
PDFFileStruct::BuildCheck PDFFileStruct::checkWithoutBuilding(const ImageDictionary &image,
                                                              std::optional<PdfStreamData> &data,
                                                              DecodeReport &report) const
{
    const PdfObject &stream = image.stream;
    if (zembrix::endsInCodedPicture(image)) {
        // The headers are at the start of the data: its first bytes mostly
        // decide, and the whole is read only when they do not.
        for (const qint64 headBytes : kCodedPictureHeadBytes) {
            std::optional<PdfStreamData> head = codedPictureHead(stream, headBytes);
            if (head && zembrix::codedPictureWouldBuild(image, *head)) {
                data = std::move(head);
                return BuildCheck::Builds;
            }
        }
        data = streamData(image, &report.cause);
        return !data                                           ? BuildCheck::Unreadable
               : zembrix::codedPictureWouldBuild(image, *data) ? BuildCheck::Builds
                                                               : BuildCheck::Fails;
    }
    if (const std::optional<qint64> pageBytes = m_headersOnly ? jbig2DecodedSizeFromHeaders(stream) : std::nullopt)
        return zembrix::samplesWouldBuild(image, *pageBytes, &report) ? BuildCheck::Builds : BuildCheck::Fails;
    qint64 count = 0;
    const bool decoded =
        decodePdfStreamTo(stream, stream.decodedSizeLimit(), [&count](QByteArrayView bytes) { count += bytes.size(); });
    return !decoded                                            ? BuildCheck::Unreadable
           : zembrix::samplesWouldBuild(image, count, &report) ? BuildCheck::Builds
                                                               : BuildCheck::Fails;
}

QImage PDFFileStruct::parsePdfStream(OstrelNode *node, PDFFileStruct *owner)
{
    if (!owner->walkMayContinue() || node->type() != PdfTypeStream)
        return {};
    // A mask may be shared by several images: it is built for each of them,
    // in either pass. One met on its own is built at its own reduced size.
    if (isMaskEntry(node))
        return analyseMask(node, QSize(), owner).picture;
    const ObjectKey key = node->objectKey();
    if (m_extraPass && m_firstPassImages.contains(key))
        return {};
    // An image met again on another page: that page is noted on its record.
    if (m_currentPage > 0 && !m_imageOfObject.isEmpty())
        if (const auto found = m_imageOfObject.constFind(key); found != m_imageOfObject.cend())
            if (const std::shared_ptr<PDFImageStruct> record = found->lock())
                record->addPage(m_currentPage);
    if (!enterObject(node))
        return {};
    if (const std::optional<ImageDictionary> image = readStreamEntries(node, owner))
        analyseImage(node, *image, owner);
    node->releaseChildren();
    leaveObject(node);
    return {};
}

// The entries are taken only once the stream is to be analysed (a stream met
// again costs nothing), and let go when it has been. Its sub-dictionaries
// are walked (a form's /Resources); in the second pass, so is the content of
// a form or tiling pattern, for its inline images (a form without resources
// of its own uses the page's).
std::optional<ImageDictionary> PDFFileStruct::readStreamEntries(OstrelNode *node, PDFFileStruct *owner,
                                                                std::optional<ImageDictionary> known)
{
    const OstrelNode::ChildList *children = node->children();
    if (!children || children->empty())
        return std::nullopt;
    for (const auto &child : *children) {
        if (!owner->walkMayContinue())
            break;
        const QString &name = child->name();
        if ((child->type() == PdfTypeArray || child->type() == PdfTypeDictionary)
            && name != QLatin1String("/ColorSpace") && name != QLatin1String("/Filter")
            && name != QLatin1String("/Parent"))
            parsePdfPages(child.get(), owner);
    }
    ImageDictionary image = known ? std::move(*known) : ImageDictionary::read(node->stream());
    if (m_extraPass && image.isContent && !image.isImage && owner->walkMayContinue()) {
        const PdfObject resources = node->object().get("Resources");
        walkInlineImages(node->object(), resources.type() == PdfTypeDictionary ? resources : m_pageResources, owner);
    }
    return image;
}

// A mask is not an image of its own and may be shared by several images: it
// is built for each, at the size of that image's reduced copy (`target`);
// when the walk keeps none, the picture's own build applies it.
PDFFileStruct::WalkMask PDFFileStruct::analyseMask(OstrelNode *node, QSize target, PDFFileStruct *owner,
                                                   std::optional<ImageDictionary> known)
{
    WalkMask mask;
    if (!owner->walkMayContinue() || node->type() != PdfTypeStream || !enterSharedObject())
        return mask;
    const std::optional<ImageDictionary> image = readStreamEntries(node, owner, std::move(known));
    if (image && image->isImage && owner->walkMayContinue() && image->width * image->height <= double(m_maxPixels)) {
        ImageStreamRecipe recipe = ImageStreamRecipe::of(*image, node->objectKey(), m_colors, nullptr, m_tintBudget);
        if (!target.isValid())
            target = maskTargetFor(QSizeF(image->width, image->height));
        mask.picture = m_keepReducedCopies
                           ? recipe.buildMask(node->stream(), target, node->name() == QLatin1String("/SMask"))
                           : QImage(1, 1, QImage::Format_Grayscale8);
        if (!mask.picture.isNull())
            mask.recipe = std::move(recipe);
    }
    node->releaseChildren();
    leaveObject(node);
    return mask;
}

void PDFFileStruct::analyseImage(OstrelNode *node, const ImageDictionary &image, PDFFileStruct *owner)
{
    if (image.isImage && !m_extraPass && m_allImages.load())
        m_firstPassImages.insert(node->objectKey());
    // The mask's dictionary, read once for the picture's size and the mask's analysis.
    std::optional<ImageDictionary> maskDictionary;
    if (image.mask.type() == PdfTypeStream && image.isImage)
        maskDictionary = ImageDictionary::read(image.mask);
    const QSizeF pictureSize = pictureSizeOf(image, maskDictionary);
    // The pixel budget is checked before the stream is even decoded.
    const bool overBudget = image.isImage && pictureSize.width() * pictureSize.height() > double(m_maxPixels);
    WalkMask mask;
    if (maskDictionary && !overBudget) {
        const std::unique_ptr<OstrelNode> maskNode =
            OstrelNode::initWithObject(image.mask, image.softMask ? QStringLiteral("/SMask") : QStringLiteral("/Mask"));
        mask = analyseMask(maskNode.get(), maskTargetFor(pictureSize), owner, std::move(maskDictionary));
    }
    // What decoding met: the cause of a failure, and rows padded.
    DecodeReport report;
    // The size of the smallest picture any route makes (one bit a pixel,
    // rows of whole 32-bit words, as pictures are stored) is checked before
    // the stream is even decoded, as the pixel budget is.
    const bool pictureTooLarge = image.isImage && !overBudget && image.height >= 1 && image.width >= 1
                                 && image.height * std::ceil(image.width / 32.0) * 4.0 > double(kMaxDecodedStreamBytes);
    // Without reduced copies, whether a large image builds is decided without building it.
    std::optional<PdfStreamData> data;
    BuildCheck check = BuildCheck::NotMade;
    if (!overBudget && !pictureTooLarge && image.isImage && !m_keepReducedCopies
        && (image.width > PDFImageStruct::kReducedEdge || image.height > PDFImageStruct::kReducedEdge))
        check = checkWithoutBuilding(image, data, report);
    const auto skip = [&](const QString &reason, bool kept = false) {
        noteSkippedImage({node->object2Name(), m_currentPage, reason, kept});
    };
    if (overBudget) {
        skip(image.width * image.height > double(m_maxPixels)
                 ? QStringLiteral("more than %1 pixels").arg(m_maxPixels)
                 : QStringLiteral("more than %1 pixels at the size of its mask").arg(m_maxPixels));
    } else if (pictureTooLarge) {
        skip(QStringLiteral("its picture would take more than %1 MB").arg(kMaxDecodedStreamBytes >> 20));
    } else if (check == BuildCheck::Unreadable
               || (image.isImage && check == BuildCheck::NotMade && !(data = streamData(image, &report.cause)))) {
        // JBIG2 data is decoded again for jbig2dec's own account of what failed.
        const QString jbig2 = report.cause == DecodeCause::BadJbig2Data
                                  ? jbig2StreamFailure(image.stream, image.stream.decodedSizeLimit())
                                  : QString();
        skip(report.cause == DecodeCause::None ? QStringLiteral("its stream data cannot be read")
             : jbig2.isEmpty()                 ? decodeCauseText(report.cause)
                                               : decodeCauseText(report.cause) + QStringLiteral(": ") + jbig2);
    } else if (check == BuildCheck::Fails) {
        data.reset();
        if (!testNodeInUse(node))
            skip(QStringLiteral("its samples, colour space or coded data cannot be made into a picture"));
    }
    const bool fits = check == BuildCheck::Builds;
    if ((data || fits) && !testNodeInUse(node))
        buildAndRecord(node, image, data, fits, std::move(mask), pictureSize, report);
}

} // namespace zembrix
