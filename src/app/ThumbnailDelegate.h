#pragma once

#include <QStyledItemDelegate>

namespace zembrix {

// Draws one thumbnail cell: the picture centred in a square of the current
// edge, a frame while it is selected, and the image name below, cut at its
// end when it is too long (the tooltip has the whole of it). A thumbnail
// not yet rendered is a quiet placeholder; a record without a picture shows a
// crossed frame. Main thread.
class ThumbnailDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ThumbnailDelegate(QObject *parent = nullptr);

    void setThumbnailEdge(int edge) { m_edge = edge; }
    int thumbnailEdge() const { return m_edge; }
    // The narrowest cell for the current edge.
    QSize cellSize(const QFontMetrics &metrics) const;
    // The width the cells are drawn at (at least cellSize's): the browser
    // widens them so that its columns fill its width. 0: cellSize's.
    void setCellWidth(int width) { m_cellWidth = width; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    int m_edge = 96;
    int m_cellWidth = 0;
};

} // namespace zembrix
