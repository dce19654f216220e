#pragma once

#include "PdfDropArea.h"

#include <QListView>
#include <QSet>

class QThreadPool;

namespace zembrix {

class ThumbnailDelegate;

// The thumbnail browser: a list view in icon mode over the ThumbnailModel,
// with multiple selection. PDF files dropped on it are announced by
// pdfFilesDropped. The selection survives a model reset: it is kept by
// record identity. The columns share the whole width; a new thumbnail size
// keeps the selection, or else the first image shown, in view. A double
// click, Enter or Space asks for the image to be viewed (viewRequested).
// Main thread.
class ImageBrowser : public QListView
{
    Q_OBJECT
public:
    explicit ImageBrowser(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    void setThumbnailEdge(int edge);
    // Where the files of a drag out are written; no drag out without one.
    void setWorkPool(QThreadPool *pool) { m_workPool = pool; }

signals:
    void pdfFilesDropped(const QStringList &paths);
    // A dropped folder held more files than are taken (FileIntake).
    void alertRequested(const QString &message, const QString &text);
    void viewRequested(const QModelIndex &index);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    // Dragging selected thumbnails out gives their files (ImageDragOut).
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateGrid();
    // The grid cells widened so that whole columns fill the viewport.
    void spreadColumns();
    // The image to keep in view across a change of size.
    QModelIndex anchorIndex() const;

    ThumbnailDelegate *m_delegate;
    QSet<quint64> m_keptSelection;
    PdfDropArea m_drop{this};
    QThreadPool *m_workPool = nullptr;
    QPoint m_pressedAt{-1, -1}; // on a thumbnail, with the left button
};

} // namespace zembrix
