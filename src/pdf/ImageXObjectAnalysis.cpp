#include "PDFFileStruct.h"

#include "PdfStreamDecoder.h"

#include "images/CoreContext.h"
#include "raster/Jpeg2000Decoder.h"
#include "raster/JpegDecoder.h"
#include "raster/ImageMasking.h"

#include <algorithm>
#include <cmath>

std::optional<QString> PDFFileStruct::getImageCreationDate(const PdfStreamData &data)
{
    switch (data.format) {
    case PdfStreamFormat::JPEG:
        return jpegPropertiesText(QByteArrayView(data.bytes));
    case PdfStreamFormat::JPEG2000:
        return jpeg2000PropertiesText(QByteArrayView(data.bytes));
    case PdfStreamFormat::Raw:
        break;
    }
    return std::nullopt;
}

namespace {

// What the check of a coded picture reads first (SOI to SOF of a JPEG with
// its usual segments, the boxes and main header of JPEG 2000), then, when
// that did not decide (an embedded profile or thumbnail before the frame
// header), next.
constexpr qint64 kCodedPictureHeadBytes[] = {8 * 1024, 64 * 1024};

} // namespace

QImage PDFFileStruct::parsePdfStream(OstrelNode *node, PDFFileStruct *owner)
{
    if (!owner->walkMayContinue() || node->type() != PdfTypeStream)
        return {};
    // A mask may be shared by several images: it is entered for each of them.
    const bool isMask = node->name() == QLatin1String("/SMask") || node->name() == QLatin1String("/Mask");
    // A mask is built for each image that uses it, in either pass.
    if (m_extraPass && !isMask && m_firstPassImages.contains(node->object2Name()))
        return {};
    // An image met again on another page: that page is noted on its record.
    if (!isMask && m_currentPage > 0 && !m_imageOfObject.isEmpty())
        if (const auto found = m_imageOfObject.constFind(node->object2Name()); found != m_imageOfObject.cend())
            if (const std::shared_ptr<PDFImageStruct> record = found->lock())
                record->addPage(m_currentPage);
    if (!(isMask ? enterSharedObject() : enterObject(node)))
        return {};
    // The entries are taken only once the stream is to be analysed (a stream
    // met again costs nothing), and let go when it has been.
    const OstrelNode::ChildList *children = node->children();
    if (!children || children->empty()) {
        node->releaseChildren();
        leaveObject(node);
        return {};
    }

    bool isImage = false;
    bool isContent = false; // a form or a tiling pattern, whose content may hold inline images
    double width = 0;
    double height = 0;
    std::int32_t bitsPerComponent = 0;
    std::optional<QStringList> filters;
    std::shared_ptr<TColorSpace> colorSpace;
    OstrelNode *maskNode = nullptr;
    QImage maskPicture;
    std::optional<ImageStreamRecipe> maskRecipe;
    bool softMask = true;

    for (const auto &child : *children) {
        if (!owner->walkMayContinue())
            break;
        const QString &name = child->name();
        const std::int32_t type = child->type();
        if (type == PdfTypeArray || type == PdfTypeDictionary) {
            if (name == QLatin1String("/ColorSpace"))
                colorSpace = getColorSpace(child.get());
            else if (name == QLatin1String("/Filter"))
                filters = getFilter(child.get());
            else if (name != QLatin1String("/Parent"))
                parsePdfPages(child.get(), owner); // a form's /Resources
            continue;
        }
        if (type == PdfTypeStream) {
            // A later mask entry replaces an earlier one. The mask is built
            // once the image's own size is known.
            if (name == QLatin1String("/SMask") || name == QLatin1String("/Mask")) {
                maskNode = child.get();
                softMask = name == QLatin1String("/SMask");
            }
        }
        if (name == QLatin1String("/BitsPerComponent"))
            bitsPerComponent = leadingInteger(child->value());
        else if (name == QLatin1String("/Width"))
            width = leadingInteger(child->value());
        else if (name == QLatin1String("/Height"))
            height = leadingInteger(child->value());
        else if (name == QLatin1String("/Filter"))
            filters = getFilter(child.get());
        else if (name == QLatin1String("/Subtype")) {
            if (child->value() == QLatin1String("/Image"))
                isImage = true;
            isContent = isContent || child->value() == QLatin1String("/Form");
        } else if (name == QLatin1String("/PatternType"))
            isContent = isContent || child->value() == QLatin1String("1");
        else if (name == QLatin1String("/ColorSpace"))
            colorSpace = getColorSpace(child.get());
    }
    // A form without resources of its own uses the page's.
    if (m_extraPass && isContent && !isImage && owner->walkMayContinue()) {
        const PdfObject resources = node->object().get("Resources");
        walkInlineImages(node->object(), resources.type() == PdfTypeDictionary ? resources : m_pageResources, owner);
    }

    if (isImage && !isMask && !m_extraPass && m_allImages.load())
        m_firstPassImages.insert(node->object2Name());
    QImage result;
    std::optional<PdfStreamData> data;
    if (isMask) {
        // A mask is not an image of its own and may be shared by several
        // images: it is built for each, at the size of that image's reduced
        // copy; when the walk keeps none, the picture's own build applies it.
        if (isImage && owner->walkMayContinue() && width * height <= double(m_maxPixels)) {
            ImageStreamRecipe recipe{node->object2Name(), filters, width, height, bitsPerComponent, colorSpace,
                                 m_colorManaged, nullptr, m_tintBudget};
            result = m_keepReducedCopies
                ? recipe.buildMask(node->stream(), m_maskTarget, node->name() == QLatin1String("/SMask"))
                : QImage(1, 1, QImage::Format_Grayscale8);
            if (!result.isNull())
                m_lastMaskRecipe = std::move(recipe);
        }
        leaveObject(node);
        return result;
    }
    // A mask larger than its image (by pixel count) gives the picture its size (maskImage()),
    // which the pixel budget then counts.
    double pictureWidth = width, pictureHeight = height;
    if (maskNode && isImage) {
        double maskWidth = 0, maskHeight = 0;
        if (maskNode->stream().get("Width").getNumber(&maskWidth) && maskNode->stream().get("Height").getNumber(&maskHeight)
            && maskWidth >= 1 && maskHeight >= 1 && std::floor(maskWidth) * std::floor(maskHeight) > width * height) {
            pictureWidth = std::floor(maskWidth);
            pictureHeight = std::floor(maskHeight);
        }
    }
    // The pixel budget is checked before the stream is even decoded.
    const bool overBudget = isImage && pictureWidth * pictureHeight > double(m_maxPixels);
    if (maskNode && isImage && !overBudget) {
        m_lastMaskRecipe.reset();
        m_maskTarget = QSize(int(std::clamp(pictureWidth, 1.0, 1e6)), int(std::clamp(pictureHeight, 1.0, 1e6)));
        if (m_maskTarget.width() > PDFImageStruct::kReducedEdge || m_maskTarget.height() > PDFImageStruct::kReducedEdge)
            m_maskTarget = m_maskTarget.scaled(PDFImageStruct::kReducedEdge, PDFImageStruct::kReducedEdge,
                                               Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        maskPicture = parsePdfStream(maskNode, owner);
        maskRecipe = maskPicture.isNull() ? std::nullopt : m_lastMaskRecipe;
    }
    const auto skip = [&](const QString &reason, bool kept = false) {
        if (!isMask)
            noteSkippedImage({node->object2Name(), m_currentPage, reason, kept});
    };
    // What decoding met: the cause of a failure, and rows padded.
    DecodeReport report;
    // The size of the smallest picture any route makes (one bit a pixel,
    // rows of whole 32-bit words, as pictures are stored) is checked before
    // the stream is even decoded, as the pixel budget is.
    const bool pictureTooLarge = isImage && !overBudget && height >= 1 && width >= 1
        && height * std::ceil(width / 32.0) * 4.0 > double(kMaxDecodedStreamBytes);
    // Without reduced copies, whether a large image builds is decided without
    // building it: a coded picture from its header, samples from their
    // decoded length (counted as they decode, never held).
    enum class Check { NotMade, Builds, Fails, Unreadable };
    Check check = Check::NotMade;
    if (!overBudget && !pictureTooLarge && isImage && !m_keepReducedCopies
        && (width > PDFImageStruct::kReducedEdge || height > PDFImageStruct::kReducedEdge)) {
        const PdfObject &stream = node->stream();
        if (endsInCodedPicture(stream)) {
            // The headers are at the start of the data: its first bytes
            // mostly decide, and the whole is read only when they do not.
            for (const qint64 headBytes : kCodedPictureHeadBytes) {
                std::optional<PdfStreamData> head = codedPictureHead(stream, headBytes);
                if (head && codedPictureWouldBuild(*head, width, height, stream)) {
                    data = std::move(head);
                    check = Check::Builds;
                    break;
                }
            }
            if (check != Check::Builds) {
                data = node->streamDataWithFormat(&report.cause);
                check = !data ? Check::Unreadable
                    : codedPictureWouldBuild(*data, width, height, stream) ? Check::Builds
                                                                            : Check::Fails;
            }
        } else if (const std::optional<qint64> pageBytes =
                       m_headersOnly ? jbig2DecodedSizeFromHeaders(stream) : std::nullopt) {
            check = samplesWouldBuild(stream, colorSpace.get(), bitsPerComponent, width, height, *pageBytes, &report)
                ? Check::Builds
                : Check::Fails;
        } else {
            qint64 count = 0;
            const bool decoded = decodePdfStreamTo(stream, stream.decodedSizeLimit(),
                                                   [&count](QByteArrayView bytes) { count += bytes.size(); });
            check = !decoded ? Check::Unreadable
                : samplesWouldBuild(stream, colorSpace.get(), bitsPerComponent, width, height, count, &report)
                ? Check::Builds
                                                                                                     : Check::Fails;
        }
    }
    const bool fits = check == Check::Builds;
    if (overBudget) {
        skip(width * height > double(m_maxPixels)
                 ? QStringLiteral("more than %1 pixels").arg(m_maxPixels)
                 : QStringLiteral("more than %1 pixels at the size of its mask").arg(m_maxPixels));
    } else if (pictureTooLarge) {
        skip(QStringLiteral("its picture would take more than %1 MB").arg(kMaxDecodedStreamBytes >> 20));
    } else if (check == Check::Unreadable
               || (isImage && check == Check::NotMade && !(data = node->streamDataWithFormat(&report.cause)))) {
        // JBIG2 data is decoded again for jbig2dec's own account of what failed.
        const QString jbig2 = report.cause == DecodeCause::BadJbig2Data
            ? jbig2StreamFailure(node->stream(), node->stream().decodedSizeLimit())
            : QString();
        skip(report.cause == DecodeCause::None ? QStringLiteral("its stream data cannot be read")
                 : jbig2.isEmpty()             ? decodeCauseText(report.cause)
                                               : decodeCauseText(report.cause) + QStringLiteral(": ") + jbig2);
    } else if (check == Check::Fails) {
        data.reset();
        if (!testNodeInUse(node))
            skip(QStringLiteral("its samples, colour space or coded data cannot be made into a picture"));
    }
    if ((data || fits) && !testNodeInUse(node)) {
        // The walk builds reduced copies only: whether an image can be built is
        // decided from them, and the full picture is built again on demand.
        // The check of a walk without reduced copies decodes JPEG data only
        // in part, at a reduced scale: that picture never is the full one.
        const bool partial = !m_keepReducedCopies && data && data->format == PdfStreamFormat::JPEG;
        // Colours only matter in a picture that is kept: a reduced copy, or a
        // check's whole picture when the picture cache keeps any (not --list).
        const bool kept = m_keepReducedCopies || (!partial && m_context->pictureCache().limit() > 0);
        const QImage image = fits ? QImage(1, 1, QImage::Format_Grayscale8)
                                  : addOnlyPdfNewImage(*data, filters ? &*filters : nullptr, width, height,
                                                       colorSpace.get(), bitsPerComponent, node->stream(),
                                                       m_keepReducedCopies ? PDFImageStruct::kReducedEdge : kCheckOnly,
                                                       m_colorManaged && kept, &report, m_tintBudget.get());
        if (image.isNull())
            skip(report.cause != DecodeCause::None
                     ? decodeCauseText(report.cause)
                     : QStringLiteral("its samples, colour space or coded data cannot be made into a picture"));
        else if (report.paddedRows > 0)
            skip(QStringLiteral("%1%2 of %3 rows missing, padded")
                     .arg(report.cause != DecodeCause::None ? decodeCauseText(report.cause) + QStringLiteral(": ")
                                                            : QString())
                     .arg(report.paddedRows)
                     .arg(report.rows),
                 true);
        ImageStreamRecipe recipe{node->object2Name(), filters, width, height, bitsPerComponent, colorSpace,
                                 m_colorManaged, m_inlineImage.first == node->object2Name() ? m_inlineImage.second : nullptr,
                                 m_tintBudget};
        if (image.isNull()) {
            // Not buildable: dropped without a message.
        } else if (node->name() == QLatin1String("/SMask") || node->name() == QLatin1String("/Mask")) {
            result = image;
            m_lastMaskRecipe = std::move(recipe);
        } else {
            auto record = PDFImageStruct::create(m_context);
            // Other images are described from their source when asked.
            if (const std::optional<QString> properties = data ? getImageCreationDate(*data) : std::nullopt)
                record->setInfo(QStringLiteral("Properties: %1").arg(*properties));
            // A small image was built whole: that picture (masked, when its mask
            // was built whole too, at the picture's size) is the full one and saves
            // building it again.
            const QSize fullSize{int(width), int(height)};
            bool whole = !partial && image.size() == fullSize && (!maskRecipe || m_keepReducedCopies);
            QImage reduced;
            if (m_keepReducedCopies || whole)
                reduced = !maskRecipe
                    ? image
                    : maskImage(image, maskPicture.convertToFormat(QImage::Format_Grayscale8), softMask);
            whole = whole && (!maskRecipe || reduced.size() == QSize(int(pictureWidth), int(pictureHeight)));
            record->setPictureSource(std::make_shared<PdfPictureRecipe>(m_documents, std::move(recipe),
                                                                        std::move(maskRecipe), softMask),
                                     m_keepReducedCopies ? reduced : QImage(), whole ? reduced : QImage());
            ImageSource source;
            source.objectKey = node->object2Name();
            source.page = m_currentPage;
            source.width = width;
            source.height = height;
            source.bitsPerComponent = bitsPerComponent;
            source.colorSpace = colorSpace && colorSpace->getName() ? *colorSpace->getName() : QString();
            std::int32_t index = 0;
            source.filter = gerCurrFilter(index, true, filters ? &*filters : nullptr);
            if (const auto placed = m_placements.constFind(source.objectKey); placed != m_placements.cend()) {
                source.xPpi = placed->xPpi;
                source.yPpi = placed->yPpi;
            }
            if (m_currentPage > 0)
                source.pages = {m_currentPage};
            m_imageOfObject.insert(source.objectKey, record);
            if (std::int32_t length = 0; node->stream().getIntegerEntry("Length", &length) && length >= 0)
                source.compressedBytes = length;
            record->setSource(source);
            // Pictures of a repaired file are built from the walk's document.
            if (m_documents && mOstrelData->document()->repaired())
                m_documents->adoptRepaired(mOstrelData->document());
            appendImage(record);
            if (!record->changed())
                record->setImagename(imageNameFor(std::int32_t(imageCount() - 1)));
            m_context->events().updateFileList();
        }
    }
    node->releaseChildren();
    leaveObject(node);
    return result;
}
