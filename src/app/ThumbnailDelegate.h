#pragma once

#include <QStyledItemDelegate>

// Draws one thumbnail cell: the picture centred in a square of the current
// edge, a frame while it is selected, and the image name below. A thumbnail
// not yet rendered is a quiet placeholder; a record without a picture shows a
// crossed frame. Main thread.
class ThumbnailDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ThumbnailDelegate(QObject *parent = nullptr);

    void setThumbnailEdge(int edge) { m_edge = edge; }
    int thumbnailEdge() const { return m_edge; }
    // The cell size for the current edge (also the view's grid size).
    QSize cellSize(const QFontMetrics &metrics) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    int m_edge = 96;
};
