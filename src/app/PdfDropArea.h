#pragma once

#include <QStringList>

#include <functional>

class QAbstractScrollArea;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QPainter;

namespace zembrix {

// The drop area of a view that takes PDF files (the file table and the image browser): a drag
// that carries PDF files is taken as a copy, and a highlight frame shows on the view's viewport
// while it is over it. Main thread.
class PdfDropArea
{
public:
    explicit PdfDropArea(QAbstractScrollArea *view)
        : m_view(view)
    {
    }

    void enter(QDragEnterEvent *event);
    static void move(QDragMoveEvent *event);
    void leave();
    // Takes the drop; its PDF files (maybe none). A folder dropped past the
    // intake's limits is said through `alert` (message, informative text).
    QStringList drop(QDropEvent *event, const std::function<void(const QString &, const QString &)> &alert);
    // The frame, while a drag is over the area.
    void paintHighlight(QPainter &painter) const;

private:
    void setHighlighted(bool highlighted);

    QAbstractScrollArea *m_view;
    bool m_highlighted = false;
};

} // namespace zembrix
