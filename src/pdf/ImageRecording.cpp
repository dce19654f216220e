#include "PDFFileStruct.h"

#include "ImageBuilders.h"

#include "images/CoreContext.h"
#include "raster/ImageMasking.h"

namespace zembrix {

// The walk builds reduced copies only: whether an image can be built is
// decided from them, and the full picture is built again on demand. The
// check of a walk without reduced copies decodes JPEG data only in part, at a
// reduced scale: that picture never is the full one.
void PDFFileStruct::buildAndRecord(OstrelNode *node, const ImageDictionary &image,
                                   const std::optional<PdfStreamData> &data, bool fits, WalkMask mask,
                                   QSizeF pictureSize, DecodeReport &report)
{
    const bool partial = !m_keepReducedCopies && data && data->format == PdfStreamFormat::JPEG;
    // Colours only matter in a picture that is kept: a reduced copy, or a
    // check's whole picture when the picture cache keeps any (not --list).
    const bool kept = m_keepReducedCopies || (!partial && m_context->pictureCache().limit() > 0);
    const PictureOptions options{m_keepReducedCopies ? PDFImageStruct::kReducedEdge : kCheckOnlyEdge,
                                 kept ? m_colors.get() : nullptr, m_tintBudget.get()};
    const QImage picture =
        fits ? QImage(1, 1, QImage::Format_Grayscale8) : buildPicture(image, *data, options, &report);
    const ObjectKey key = node->objectKey();
    if (picture.isNull())
        noteSkippedImage(
            {key.text(), m_currentPage,
             report.cause != DecodeCause::None
                 ? decodeCauseText(report.cause)
                 : QStringLiteral("its samples, colour space or coded data cannot be made into a picture")});
    else if (report.paddedRows > 0)
        noteSkippedImage(
            {key.text(), m_currentPage,
             QStringLiteral("%1%2 of %3 rows missing, padded")
                 .arg(report.cause != DecodeCause::None ? decodeCauseText(report.cause) + QStringLiteral(": ")
                                                        : QString())
                 .arg(report.paddedRows)
                 .arg(report.rows),
             true});
    if (picture.isNull())
        return; // not buildable: dropped without a message
    auto record = PDFImageStruct::create(m_context);
    // Other images are described from their source when asked.
    if (const std::optional<QString> properties = data ? getImageCreationDate(*data) : std::nullopt)
        record->setInfo(QStringLiteral("Properties: %1").arg(*properties));
    // A small image was built whole: that picture (masked, when its mask was
    // built whole too, at the picture's size) is the full one and saves
    // building it again.
    const QSize fullSize{int(image.width), int(image.height)};
    bool whole = !partial && picture.size() == fullSize && (!mask.recipe || m_keepReducedCopies);
    QImage reduced;
    if (m_keepReducedCopies || whole)
        reduced = !mask.recipe
                      ? picture
                      : maskImage(picture, mask.picture.convertToFormat(QImage::Format_Grayscale8), image.softMask);
    whole = whole && (!mask.recipe || reduced.size() == QSize(int(pictureSize.width()), int(pictureSize.height())));
    ImageStreamRecipe recipe = ImageStreamRecipe::of(
        image, key, m_colors, m_inlineImage.first == key ? m_inlineImage.second : nullptr, m_tintBudget);
    record->setPictureSource(
        std::make_shared<PdfPictureRecipe>(m_documents, std::move(recipe), std::move(mask.recipe), image.softMask),
        m_keepReducedCopies ? reduced : QImage(), whole ? reduced : QImage());
    record->setSource(sourceOf(image, key));
    m_imageOfObject.insert(key, record);
    // Pictures of a repaired file are built from the walk's document.
    if (m_documents && mOstrelData->document()->repaired())
        m_documents->adoptRepaired(mOstrelData->document());
    appendImage(record);
    if (!record->changed())
        record->setImagename(imageNameFor(std::int32_t(imageCount() - 1)));
    m_context->events().updateFileList();
}

// What the information area tells of an image.
ImageSource PDFFileStruct::sourceOf(const ImageDictionary &image, const ObjectKey &key) const
{
    ImageSource source;
    source.objectKey = key.text();
    source.page = m_currentPage;
    source.width = image.width;
    source.height = image.height;
    source.bitsPerComponent = image.bitsPerComponent;
    source.colorSpace = image.colorSpace && image.colorSpace->getName() ? *image.colorSpace->getName() : QString();
    std::int32_t index = 0;
    source.filter = gerCurrFilter(index, true, image.filters ? &*image.filters : nullptr);
    if (const auto placed = m_placements.constFind(key); placed != m_placements.cend()) {
        source.xPpi = placed->xPpi;
        source.yPpi = placed->yPpi;
    }
    if (m_currentPage > 0)
        source.pages = {m_currentPage};
    if (image.length && *image.length >= 0)
        source.compressedBytes = *image.length;
    return source;
}

} // namespace zembrix
