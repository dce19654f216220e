#include "images/PDFImageStruct.h"

#include "images/EffectsPipeline.h"

#include <algorithm>

QImage PDFImageStruct::applyAllEffects() const
{
    return ::applyAllEffects(image(), effectParameters());
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
    return ::applyAllEffects(reducedImage(), effectParameters());
}

