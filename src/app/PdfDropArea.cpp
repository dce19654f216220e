#include "PdfDropArea.h"

#include "FileIntake.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QPainter>

namespace zembrix {

void PdfDropArea::enter(QDragEnterEvent *event)
{
    if (FileIntake::acceptPdfDrag(event))
        setHighlighted(true);
}

void PdfDropArea::move(QDragMoveEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void PdfDropArea::leave()
{
    setHighlighted(false);
}

QStringList PdfDropArea::drop(QDropEvent *event, const std::function<void(const QString &, const QString &)> &alert)
{
    setHighlighted(false);
    return FileIntake::takePdfDrop(event, alert);
}

void PdfDropArea::paintHighlight(QPainter &painter) const
{
    if (!m_highlighted)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromRgbF(0.99f, 0.94f, 0.74f, 0.8f), 4));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(m_view->viewport()->rect()).adjusted(5, 5, -5, -5));
}

void PdfDropArea::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    m_view->viewport()->update();
}

} // namespace zembrix
