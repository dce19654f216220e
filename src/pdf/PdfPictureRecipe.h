#pragma once

#include "ImageDictionary.h"
#include "PdfDocumentPool.h"
#include "TColorSpace.h"
#include "images/PictureSource.h"
#include "raster/ColorManagement.h"
#include "raster/WorkBudget.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

namespace zembrix {

// One image stream as the walk analysed it: its object and what its
// dictionary said, resolved as the walk resolved it.
struct ImageStreamRecipe {
    ObjectKey objectKey;
    std::optional<QStringList> filters;
    double width = 0;
    double height = 0;
    std::int32_t bitsPerComponent = 0;
    std::shared_ptr<const TColorSpace> colorSpace;
    // The transforms the image's colour profiles are applied with; null
    // keeps the uncalibrated conversions.
    std::shared_ptr<ColorTransformCache> colors;
    // Set for an inline image, which is found by where it lies instead.
    std::shared_ptr<const InlineImageOrigin> inlineImage;
    // The file's budget for tint transforms, shared by all its images.
    std::shared_ptr<WorkBudget> tintBudget;

    // The walk's facts of an image dictionary.
    static ImageStreamRecipe of(const ImageDictionary &image, const ObjectKey &objectKey,
                                std::shared_ptr<ColorTransformCache> colors,
                                std::shared_ptr<const InlineImageOrigin> inlineImage,
                                std::shared_ptr<WorkBudget> tintBudget);
    // The dictionary of `stream` with these facts in place of its own.
    ImageDictionary dictionaryOf(const PdfObject &stream) const;

    // The image stream in `document`.
    PdfObject streamIn(const PdfDocument &document) const;

    // Builds the stream's picture from `document` (full size, or a reduced
    // copy for reduceToEdge > 0); null when it cannot be built. `fourBytes`
    // asks for four bytes a pixel where the samples allow (for a picture
    // that is to be masked).
    QImage build(const PdfDocument &document, int reduceToEdge, bool fourBytes = false) const;
    QImage build(const PdfObject &stream, int reduceToEdge, bool fourBytes = false) const;
    // Builds the stream as the mask of a picture of `size`: a huge mask at
    // that size, reduced while it decodes; any other whole (maskImage()
    // brings it to the picture's size), a stencil as one bit per sample.
    QImage buildMask(const PdfObject &stream, QSize size, bool softMask) const;
    // The size the dictionary gives, or an empty size when it is not usable.
    QSize declaredSize() const;
};

// The picture of an image record built again from its PDF file: the image
// stream, and the mask stream the walk applied to it (if any).
class PdfPictureRecipe : public PictureSource
{
public:
    PdfPictureRecipe(std::shared_ptr<PdfDocumentPool> documents, ImageStreamRecipe image,
                     std::optional<ImageStreamRecipe> mask, bool softMask);
    QImage build() const override;
    // Unmasked images only: a mask is applied at the picture's full size.
    QImage buildReduced(int edge) const override;
    std::optional<EmbeddedPicture> embeddedPicture() const override;

private:
    std::shared_ptr<PdfDocumentPool> m_documents;
    ImageStreamRecipe m_image;
    std::optional<ImageStreamRecipe> m_mask;
    bool m_softMask = true;
};

} // namespace zembrix
