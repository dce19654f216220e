#include "ThumbnailDelegate.h"

#include "ThumbnailModel.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace zembrix {

namespace {
constexpr int kPadding = 6;
constexpr int kTextGap = 6;
} // namespace

ThumbnailDelegate::ThumbnailDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QSize ThumbnailDelegate::cellSize(const QFontMetrics &metrics) const
{
    return QSize(m_edge + 2 * kPadding, m_edge + 2 * kPadding + kTextGap + metrics.height());
}

QSize ThumbnailDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const QSize narrowest = cellSize(option.fontMetrics);
    return QSize(std::max(narrowest.width(), m_cellWidth), narrowest.height());
}

void ThumbnailDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);

    const QRect cell = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool hovered = option.state & QStyle::State_MouseOver;
    const QRect square(cell.left() + (cell.width() - m_edge) / 2, cell.top() + kPadding, m_edge, m_edge);

    if (selected || hovered) {
        const QRectF back = QRectF(cell).adjusted(2.5, 2.5, -2.5, -2.5);
        painter->setPen(selected ? QPen(QColor(96, 150, 220), 1.5) : Qt::NoPen);
        painter->setBrush(selected ? QColor(60, 96, 146, 150) : QColor(255, 255, 255, 18));
        painter->drawRoundedRect(back, 6, 6);
    }

    const QImage image = index.data(ThumbnailModel::ThumbnailRole).value<QImage>();
    const auto state = ThumbnailModel::ThumbnailState(index.data(ThumbnailModel::ThumbnailStateRole).toInt());
    if (!image.isNull()) {
        // Fit into the square; an image from an earlier, smaller size is
        // scaled up until its replacement arrives.
        QSizeF size = image.size();
        size.scale(QSizeF(m_edge, m_edge), Qt::KeepAspectRatio);
        if (image.width() <= m_edge && image.height() <= m_edge && image.width() * 2 > m_edge
            && image.height() * 2 > m_edge)
            size = image.size();
        const QRectF target(square.left() + (m_edge - size.width()) / 2.0,
                            square.top() + (m_edge - size.height()) / 2.0, size.width(), size.height());
        // A checker board behind pictures with transparency.
        if (image.hasAlphaChannel()) {
            painter->save();
            painter->setClipRect(target);
            const int tile = 8;
            for (int y = int(target.top()); y < target.bottom(); y += tile)
                for (int x = int(target.left()); x < target.right(); x += tile)
                    painter->fillRect(QRect(x, y, tile, tile),
                                      ((x / tile + y / tile) & 1) ? QColor(90, 90, 90) : QColor(70, 70, 70));
            painter->restore();
        }
        painter->drawImage(target, image);
        painter->setPen(QPen(QColor(0, 0, 0, 90), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(target.adjusted(-0.5, -0.5, 0.5, 0.5));
    } else {
        const QRectF box = QRectF(square).adjusted(m_edge * 0.12, m_edge * 0.12, -m_edge * 0.12, -m_edge * 0.12);
        painter->setPen(QPen(QColor(80, 80, 84), 1, Qt::DashLine));
        painter->setBrush(QColor(44, 44, 47));
        painter->drawRoundedRect(box, 4, 4);
        if (state == ThumbnailModel::NoPicture) {
            painter->setPen(QPen(QColor(120, 120, 120), 1.5));
            painter->drawLine(box.topLeft(), box.bottomRight());
            painter->drawLine(box.topRight(), box.bottomLeft());
        }
    }

    const QRect textRect(cell.left() + 4, square.bottom() + kTextGap, cell.width() - 8, option.fontMetrics.height());
    painter->setPen(selected ? QColor(255, 255, 255) : QColor(200, 200, 200));
    painter->drawText(
        textRect, Qt::AlignHCenter | Qt::AlignVCenter,
        option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textRect.width()));
    painter->restore();
}

} // namespace zembrix
