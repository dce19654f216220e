#pragma once

#include "PostBox.h"

#include <QImage>
#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <memory>

class QItemSelectionModel;

namespace zembrix {

class ImageViewer;
class PDFImageStruct;
class ThumbnailModel;

// The image viewer in the window: one image of the thumbnail browser, with
// its edits, shown by an ImageViewer. Opening shows the thumbnail at once,
// then a picture reduced to the screen, then the whole picture for zooming
// in; the last two are decoded and edited on a worker thread. An edit of the
// image (a new version) renders both again from the kept unedited pictures.
// Left and Right step through the browser's images and select the one shown,
// so that the edit commands and the effects panel act on it; Escape closes.
// The page closes by itself when its image leaves the browser. Main thread.
class ViewerPage : public QWidget
{
    Q_OBJECT
public:
    ViewerPage(ThumbnailModel *model, QItemSelectionModel *selection, QWidget *parent = nullptr);
    // Waits for the picture in the making.
    ~ViewerPage() override;

    ImageViewer *view() const { return m_view; }
    // Shows the browser's image at `row` (nothing for a row without one).
    void open(int row);
    // Drops the pictures and says closed(row).
    void close();
    // The browser row shown; -1 when closed.
    int row() const { return m_row; }
    std::shared_ptr<PDFImageStruct> record() const { return m_record; }
    // The long edge of the reduced picture; by default the screen's longest
    // side in device pixels.
    void setScreenEdge(int edge) { m_screenEdge = edge; }

signals:
    void closed(int row);
    // A picture of the image (`full`: the whole one) with its edits of
    // `version` now shows.
    void pictureShown(bool full, quint64 version);

private:
    struct Rendered;
    void step(int delta);
    // Renders the current version: the reduced picture, then the whole one
    // when `whole` or when the zoom asks for more pixels than it has.
    void render(bool whole);
    void deliver(const Rendered &rendered);
    void recordsChanged();
    void showCaption();
    int screenEdge() const;

    ThumbnailModel *m_model;
    QItemSelectionModel *m_selection;
    ImageViewer *m_view;
    PostBox m_posts; // the renderings, back on the main thread
    // Two workers of the page's own, not the application's: the page drops
    // its waiting renderings and waits for its running ones when it closes,
    // and the picture looked at must not wait behind parses and exports.
    QThreadPool m_pool;
    std::atomic<quint64> m_generation{0};
    int m_row = -1;
    int m_screenEdge = 0;
    std::shared_ptr<PDFImageStruct> m_record;
    quint64 m_requestedVersion = 0;
    // The record's unedited pictures, kept for renderings of new edits.
    QImage m_screenBase;
    QImage m_fullBase;
    QImage m_reducedShown;     // the reduced picture with the edits shown
    bool m_wholeShown = false; // the whole picture of the current version shows
};

} // namespace zembrix
