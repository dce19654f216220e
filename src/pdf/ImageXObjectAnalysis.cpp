#include "PDFFileStruct.h"

#include "images/ControllerInterface.h"
#include "raster/Jpeg2000Decoder.h"
#include "raster/JpegDecoder.h"
#include "raster/ImageMasking.h"

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

QImage PDFFileStruct::parsePdfStream(OstrelNode *node, PDFFileStruct *owner)
{
    const OstrelNode::ChildList *children = node->children();
    if (!owner->walkMayContinue() || !children || children->empty())
        return {};
    if (!enterObject(node))
        return {};

    bool isImage = false;
    double width = 0;
    double height = 0;
    std::int32_t bitsPerComponent = 0;
    std::optional<QStringList> filters;
    std::shared_ptr<TColorSpace> colorSpace;
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
            // A later mask entry replaces an earlier one.
            if (name == QLatin1String("/SMask") || name == QLatin1String("/Mask")) {
                m_lastMaskRecipe.reset();
                maskPicture = parsePdfStream(child.get(), owner);
                maskRecipe = maskPicture.isNull() ? std::nullopt : m_lastMaskRecipe;
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
        } else if (name == QLatin1String("/ColorSpace"))
            colorSpace = getColorSpace(child.get());
    }

    QImage result;
    std::optional<PdfStreamData> data;
    const bool isMask = node->name() == QLatin1String("/SMask") || node->name() == QLatin1String("/Mask");
    const auto skip = [&](const QString &reason) {
        if (!isMask)
            noteSkippedImage({node->object2Name(), m_currentPage, reason});
    };
    // The pixel budget is checked before the stream is even decoded.
    const bool overBudget = isImage && width * height > double(m_maxPixels);
    if (overBudget)
        skip(QStringLiteral("more than %1 pixels").arg(m_maxPixels));
    else if (isImage && !(data = node->streamDataWithFormat()))
        skip(QStringLiteral("its stream data cannot be read"));
    if (data && !testNodeInUse(node)) {
        // The walk builds reduced copies only: whether an image can be built is
        // decided from them, and the full picture is built again on demand.
        const QImage image = addOnlyPdfNewImage(*data, filters ? &*filters : nullptr, width, height,
                                                colorSpace.get(), bitsPerComponent, node->stream(),
                                                m_keepReducedCopies ? PDFImageStruct::kReducedEdge : kCheckOnly);
        if (image.isNull())
            skip(QStringLiteral("its samples, colour space or coded data cannot be made into a picture"));
        ImageStreamRecipe recipe{node->object2Name(), filters, width, height, bitsPerComponent, colorSpace};
        if (image.isNull()) {
            // Not buildable: dropped without a message.
        } else if (node->name() == QLatin1String("/SMask") || node->name() == QLatin1String("/Mask")) {
            result = image;
            m_lastMaskRecipe = std::move(recipe);
        } else {
            auto record = PDFImageStruct::create();
            const QString pattern = parsePatternNameFor$();
            record->setInfo(QString(QLatin1String("")));
            if (const std::optional<QString> properties = getImageCreationDate(*data)) {
                record->setInfo(QStringLiteral("Properties: %1").arg(*properties));
            } else {
                const QString csName = colorSpace && colorSpace->getName() ? *colorSpace->getName()
                                                                           : QStringLiteral("(null)");
                record->setInfo(QStringLiteral("Properties: {\n")
                                + QString::asprintf("       Width\t\t\t- %.2f px\n", width)
                                + QString::asprintf("       Height\t\t- %.2f px\n", height)
                                + QString::asprintf("       Bits per sample\t- %ld bit\n", long(bitsPerComponent))
                                + QStringLiteral("       Colorspace\t- %1").arg(csName) + QStringLiteral("\n}"));
            }
            // A small image was built whole: that picture (masked, when its mask
            // was built whole too) is the full one and saves building it again.
            const QSize fullSize{int(width), int(height)};
            const bool whole = image.size() == fullSize
                && (maskPicture.isNull()
                    || (maskRecipe && maskPicture.size() == QSize(int(maskRecipe->width), int(maskRecipe->height))));
            QImage reduced;
            if (m_keepReducedCopies || whole)
                reduced = maskPicture.isNull()
                    ? image
                    : maskImage(image, maskPicture.convertToFormat(QImage::Format_Grayscale8), softMask);
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
            record->setSource(source);
            appendImage(record);
            if (!record->changed())
                record->setImagename(PDFImageStruct::makeNamePattern(pattern, std::int32_t(imageCount() - 1)));
            mainController()->updateFileList();
        }
    }
    leaveObject(node);
    return result;
}
