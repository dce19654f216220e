#include "FileTableView.h"

#include "FileTableModel.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace zembrix {

namespace {

// Check boxes drawn to be seen on the dark table: a light frame, and a blue
// box with a white tick when checked. No focus frame in any column.
class FileTableDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        opt.state &= ~QStyle::State_HasFocus;
        if (index.column() != FileTableModel::CheckColumn) {
            QStyledItemDelegate::paint(painter, opt, index);
            return;
        }
        initStyleOption(&opt, index);
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : nullptr;
        if (style)
            style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
        const QRect box = style ? style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget)
                                : QRect(opt.rect.center() - QPoint(7, 7), QSize(14, 14));
        const QRectF r = QRectF(box).adjusted(1.5, 1.5, -1.5, -1.5);
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(checked ? QColor(96, 150, 220) : QColor(150, 150, 155), 1.2));
        painter->setBrush(checked ? QColor(58, 102, 164) : QColor(30, 30, 32));
        painter->drawRoundedRect(r, 3, 3);
        if (checked) {
            painter->setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter->drawPolyline(QPolygonF({QPointF(r.left() + r.width() * 0.22, r.top() + r.height() * 0.52),
                                             QPointF(r.left() + r.width() * 0.42, r.top() + r.height() * 0.72),
                                             QPointF(r.left() + r.width() * 0.78, r.top() + r.height() * 0.28)}));
        }
        painter->restore();
    }
};

} // namespace

FileTableView::FileTableView(QWidget *parent)
    : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setAlternatingRowColors(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragEnabled(false);
    setDropIndicatorShown(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 10);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new FileTableDelegate(this));
}

void FileTableView::setUpColumns()
{
    QHeaderView *header = horizontalHeader();
    header->setSectionResizeMode(FileTableModel::CheckColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(FileTableModel::NameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(FileTableModel::CountColumn, QHeaderView::Fixed);
    header->resizeSection(FileTableModel::CheckColumn, 30);
    header->resizeSection(FileTableModel::CountColumn, fontMetrics().horizontalAdvance(QStringLiteral("Images")) + 24);
}

void FileTableView::dragEnterEvent(QDragEnterEvent *event)
{
    m_drop.enter(event);
}

void FileTableView::dragMoveEvent(QDragMoveEvent *event)
{
    PdfDropArea::move(event);
}

void FileTableView::dragLeaveEvent(QDragLeaveEvent *)
{
    m_drop.leave();
}

void FileTableView::dropEvent(QDropEvent *event)
{
    const QStringList paths =
        m_drop.drop(event, [this](const QString &message, const QString &text) { emit alertRequested(message, text); });
    if (!paths.isEmpty())
        emit pdfFilesDropped(paths);
}

void FileTableView::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    QPainter p(viewport());
    if (model() && model()->rowCount() == 0) {
        p.setPen(QColor(130, 130, 130));
        p.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                   tr("No PDF files yet.\nDrop them here or press Ctrl+O."));
    }
    m_drop.paintHighlight(p);
}

} // namespace zembrix
