#include "PdfPictureRecipe.h"

#include "MaskStreaming.h"
#include "PDFFileStruct.h"
#include "raster/ImageMasking.h"

#include <exception>

QImage ImageStreamRecipe::build(const PdfDocument &document, int reduceToEdge) const
{
    return build(document.objectByKey(objectKey), reduceToEdge);
}

QImage ImageStreamRecipe::buildMask(const PdfObject &stream, QSize size, bool softMask) const
{
    if (stream.type() != PdfTypeStream)
        return {};
    if (isStreamedMask(width, height, size)) {
        const QImage reduced = streamedMaskPicture(stream, colorSpace.get(), int(width), int(height), bitsPerComponent,
                                                   size, softMask);
        if (!reduced.isNull())
            return reduced;
    }
    return build(stream, 0);
}

QImage ImageStreamRecipe::build(const PdfObject &stream, int reduceToEdge) const
{
    if (stream.type() != PdfTypeStream)
        return {};
    if (reduceToEdge == 0) {
        QImage streamed = PDFFileStruct::streamedSampleImage(stream, width, height);
        if (streamed.isNull())
            streamed = PDFFileStruct::streamedIndexedImage(stream, colorSpace.get(), bitsPerComponent, width, height);
        if (!streamed.isNull())
            return streamed;
    }
    const std::optional<PdfStreamData> data = stream.copyStreamData(stream.decodedSizeLimit());
    if (!data)
        return {};
    return PDFFileStruct::addOnlyPdfNewImage(*data, filters ? &*filters : nullptr, width, height, colorSpace.get(),
                                             bitsPerComponent, stream, reduceToEdge);
}

PdfPictureRecipe::PdfPictureRecipe(std::shared_ptr<PdfDocumentPool> documents, ImageStreamRecipe image,
                                   std::optional<ImageStreamRecipe> mask, bool softMask)
    : m_documents(std::move(documents)), m_image(std::move(image)), m_mask(std::move(mask)), m_softMask(softMask)
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
        const QImage image = m_image.build(*lease.document(), 0);
        if (image.isNull() || !m_mask)
            return image;
        const QImage mask = m_mask->buildMask(lease.document()->objectByKey(m_mask->objectKey), image.size(), m_softMask);
        if (mask.isNull())
            return image;
        return maskImage(image, mask.convertToFormat(QImage::Format_Grayscale8), m_softMask);
    } catch (const std::exception &) {
        return {};
    }
}
