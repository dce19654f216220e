#include "ImageBrowser.h"

#include "ImageDragOut.h"
#include "ThumbnailDelegate.h"
#include "ThumbnailModel.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QPixmap>
#include <QPointer>

#include <algorithm>
#include <QItemSelectionModel>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace zembrix {

ImageBrowser::ImageBrowser(QWidget *parent)
    : QListView(parent)
    , m_delegate(new ThumbnailDelegate(this))
{
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(500);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setMouseTracking(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(m_delegate);
    setSpacing(0);
    updateGrid();
}

void ImageBrowser::setModel(QAbstractItemModel *model)
{
    QListView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_keptSelection.clear();
        if (!selectionModel())
            return;
        for (const QModelIndex &index : selectionModel()->selectedIndexes())
            m_keptSelection.insert(index.data(ThumbnailModel::RecordIdRole).toULongLong());
    });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        if (m_keptSelection.isEmpty() || !selectionModel())
            return;
        QItemSelection selection;
        for (int row = 0; row < this->model()->rowCount(); ++row) {
            const QModelIndex index = this->model()->index(row, 0);
            if (m_keptSelection.contains(index.data(ThumbnailModel::RecordIdRole).toULongLong()))
                selection.select(index, index);
        }
        m_keptSelection.clear();
        if (!selection.isEmpty())
            selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    });
}

void ImageBrowser::setThumbnailEdge(int edge)
{
    const QModelIndex anchor = anchorIndex();
    const bool selected = anchor.isValid() && selectionModel() && selectionModel()->isSelected(anchor);
    m_delegate->setThumbnailEdge(edge);
    if (auto *thumbnails = qobject_cast<ThumbnailModel *>(model()))
        thumbnails->setThumbnailEdge(edge);
    updateGrid();
    if (anchor.isValid())
        scrollTo(anchor, selected ? QAbstractItemView::PositionAtCenter : QAbstractItemView::PositionAtTop);
}

QModelIndex ImageBrowser::anchorIndex() const
{
    if (!model() || model()->rowCount() == 0)
        return {};
    const QRect shown = viewport()->rect();
    QModelIndex firstSelected;
    if (selectionModel()) {
        const QModelIndex current = currentIndex();
        if (current.isValid() && selectionModel()->isSelected(current) && visualRect(current).intersects(shown))
            return current;
        for (const QModelIndex &index : selectionModel()->selectedIndexes())
            if (visualRect(index).intersects(shown) && (!firstSelected.isValid() || index.row() < firstSelected.row()))
                firstSelected = index;
    }
    if (firstSelected.isValid())
        return firstSelected;
    // The first image whose cell is shown: the one at the top left, or, in
    // the gap below the last row, none.
    const QSize grid = gridSize();
    for (int y = 1; y < std::max(2, grid.height()); y += std::max(1, grid.height() / 4)) {
        const QModelIndex index = indexAt(QPoint(1, y));
        if (index.isValid())
            return index;
    }
    return {};
}

void ImageBrowser::updateGrid()
{
    spreadColumns();
    doItemsLayout();
    viewport()->update();
}

void ImageBrowser::spreadColumns()
{
    const QSize cell = m_delegate->cellSize(fontMetrics()) + QSize(2, 2);
    // The width the list view lays its rows out in: without the vertical
    // scroll bar, whether it shows or not, and a row wraps before a cell
    // that would reach its last pixel column.
    int width = maximumViewportSize().width() - 2;
    if (verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded) {
        width -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
        if (style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, this))
            width -= style()->pixelMetric(QStyle::PM_DefaultFrameWidth) * 2;
    }
    const int columns = std::max(1, width / cell.width());
    const int wide = std::max(cell.width(), width / columns);
    m_delegate->setCellWidth(wide - 2);
    if (gridSize() != QSize(wide, cell.height()))
        setGridSize(QSize(wide, cell.height()));
}

void ImageBrowser::resizeEvent(QResizeEvent *event)
{
    spreadColumns();
    QListView::resizeEvent(event);
}

void ImageBrowser::changeEvent(QEvent *event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGrid();
}

void ImageBrowser::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->source() == this) { // thumbnails dragged out pass over their own browser
        event->ignore();
        return;
    }
    m_drop.enter(event);
}

void ImageBrowser::dragMoveEvent(QDragMoveEvent *event)
{
    PdfDropArea::move(event);
}

void ImageBrowser::dragLeaveEvent(QDragLeaveEvent *)
{
    m_drop.leave();
}

void ImageBrowser::dropEvent(QDropEvent *event)
{
    const QStringList paths =
        m_drop.drop(event, [this](const QString &message, const QString &text) { emit alertRequested(message, text); });
    if (!paths.isEmpty())
        emit pdfFilesDropped(paths);
}

void ImageBrowser::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton)
        emit viewRequested(index);
}

void ImageBrowser::keyPressEvent(QKeyEvent *event)
{
    const bool open = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space;
    if (open && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && selectionModel()) {
        QModelIndex index = currentIndex();
        if (!index.isValid() || !selectionModel()->isSelected(index)) {
            const QModelIndexList selected = selectionModel()->selectedIndexes();
            index = selected.isEmpty() ? QModelIndex() : *std::min_element(selected.begin(), selected.end());
        }
        if (index.isValid())
            emit viewRequested(index);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void ImageBrowser::mousePressEvent(QMouseEvent *event)
{
    QListView::mousePressEvent(event);
    const bool onThumbnail = event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid();
    m_pressedAt = onThumbnail ? event->position().toPoint() : QPoint(-1, -1);
}

void ImageBrowser::mouseMoveEvent(QMouseEvent *event)
{
    const auto *thumbnails = qobject_cast<ThumbnailModel *>(model());
    if (m_pressedAt.x() < 0 || !(event->buttons() & Qt::LeftButton) || !thumbnails || !selectionModel()
        || (event->position().toPoint() - m_pressedAt).manhattanLength() < QApplication::startDragDistance()) {
        QListView::mouseMoveEvent(event);
        return;
    }
    m_pressedAt = QPoint(-1, -1);
    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    ImageRecordList records;
    for (int row : rows)
        if (auto record = thumbnails->recordAt(row))
            records << record;
    if (records.isEmpty() || !m_workPool)
        return;
    auto *drag = new QDrag(this);
    QPointer<ImageDragOut> files = new ImageDragOut(records, *m_workPool);
    drag->setMimeData(files);
    const QImage picture = model()->index(rows.first(), 0).data(ThumbnailModel::ThumbnailRole).value<QImage>();
    if (!picture.isNull())
        drag->setPixmap(QPixmap::fromImage(picture.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    if (drag->exec(Qt::CopyAction) != Qt::IgnoreAction && files)
        files->noteDropped();
}

void ImageBrowser::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    QPainter p(viewport());
    if (model() && model()->rowCount() == 0) {
        p.setPen(QColor(130, 130, 130));
        p.drawText(viewport()->rect(), Qt::AlignCenter,
                   tr("Drop PDF files here, or choose File \u203a Add PDF Files\u2026"));
    }
    m_drop.paintHighlight(p);
}

} // namespace zembrix
