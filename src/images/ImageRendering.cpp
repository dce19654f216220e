#include "images/PDFImageStruct.h"

#include "images/EffectsPipeline.h"

#include <QBuffer>
#include <QImageWriter>

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

QImage PDFImageStruct::getBitmapRepImg() const
{
    return applyAllEffects();
}

QImage PDFImageStruct::getNSImage() const
{
    return applyAllEffects();
}

std::optional<QByteArray> PDFImageStruct::getTiffRep() const
{
    QImage rendering = applyAllEffects();
    if (rendering.isNull())
        return std::nullopt;
    // The TIFF writer stores indexed and alpha-only pictures as palette or
    // grey images and drops their alpha; those are expanded so alpha survives.
    // (It stores 8-bit alpha associated, so colour under partial alpha is
    // rounded; 16-bit and float pictures keep their samples.)
    if (rendering.hasAlphaChannel() && rendering.depth() <= 8)
        rendering = rendering.convertToFormat(QImage::Format_ARGB32);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return std::nullopt;
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(rendering) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}
