#include "PdfPictureRecipe.h"

#include "PDFFileStruct.h"
#include "raster/ImageMasking.h"

#include <exception>

QImage ImageStreamRecipe::build(const PdfDocument &document, int reduceToEdge) const
{
    const PdfObject stream = document.objectByKey(objectKey);
    if (stream.type() != PdfTypeStream)
        return {};
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
        const QImage mask = m_mask->build(*lease.document(), 0);
        if (mask.isNull())
            return image;
        return maskImage(image, mask.convertToFormat(QImage::Format_Grayscale8), m_softMask);
    } catch (const std::exception &) {
        return {};
    }
}
