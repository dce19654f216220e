#include "images/PDFImageStruct.h"

#include "images/EffectsPipeline.h"

#include <algorithm>

namespace zembrix {

QImage PDFImageStruct::applyAllEffects() const
{
    return zembrix::applyAllEffects(image(), effectParameters());
}

QImage PDFImageStruct::reducedImage() const
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_reduced.isNull())
            return m_reduced;
    }
    const QImage full = image();
    QImage reduced = full.isNull() || std::max(full.width(), full.height()) <= kReducedEdge
                         ? full
                         : full.scaled(kReducedEdge, kReducedEdge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    std::lock_guard lock(m_mutex);
    if (m_reduced.isNull())
        m_reduced = reduced;
    return m_reduced;
}

QImage PDFImageStruct::renderThumbnail() const
{
    return zembrix::applyAllEffects(reducedImage(), effectParameters());
}

QImage PDFImageStruct::pictureReducedTo(int edge) const
{
    std::shared_ptr<const PictureSource> source;
    QImage held;
    {
        std::lock_guard lock(m_mutex);
        source = m_pictureSource;
        held = m_image;
    }
    QImage picture = held.isNull() && source ? source->buildReduced(edge) : QImage();
    if (picture.isNull())
        picture = image();
    if (picture.isNull() || edge <= 0 || std::max(picture.width(), picture.height()) <= edge)
        return picture;
    return picture.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace zembrix
