#pragma once

#include <QImage>
#include <QPointF>
#include <QString>
#include <QWidget>

namespace zembrix {

// Shows one picture at a zoom: fitted to the widget by default, at 100 %
// (one image pixel on one device pixel), or zoomed with the wheel (about the
// pointer) and the keys; dragged with the mouse to pan. The picture drawn may
// stand for a larger image (a reduced copy while the whole one is made): the
// zoom and the place always count in pixels of the image it stands for, so a
// finer picture of the same image replaces it without a jump.
//
// Keys: Ctrl+0 100 %, Ctrl+plus and Ctrl+minus (or plus and minus) zoom,
// Left and Right ask for the previous and next image, Escape asks to close.
// These keys are taken before the window's shortcuts while the viewer has
// the focus. A double click switches between fitting and 100 %. Main thread.
class ImageViewer : public QWidget
{
    Q_OBJECT
public:
    explicit ImageViewer(QWidget *parent = nullptr);

    // `picture` stands for an image of `imageSize` pixels. A picture of the
    // same image size keeps the zoom and the place; another size (a new
    // image, a rotation) is fitted again when fitting was on.
    // `reduced`, when given, is a smaller copy of `picture`, drawn instead
    // wherever it has enough pixels for the zoom.
    void setPicture(const QImage &picture, QSize imageSize, const QImage &reduced = QImage());
    void clear();
    QImage picture() const { return m_picture; }
    QSize imageSize() const { return m_imageSize; }
    // The text drawn along the bottom edge (the image's name and size).
    void setCaption(const QString &caption);

    // Device pixels per image pixel: 1 is 100 %.
    qreal zoom() const { return m_zoom; }
    bool isFitting() const { return m_fit; }
    void fitToWindow();
    void actualSize();
    void zoomIn();
    void zoomOut();
    // Zooms keeping the image point under `at` (widget coordinates) there.
    void setZoom(qreal zoom, QPointF at);
    // The image point shown at the widget's centre.
    QPointF centre() const { return m_centre; }

signals:
    void previousRequested();
    void nextRequested();
    void closeRequested();
    void zoomChanged(qreal zoom);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    enum class KeyCommand { None, Previous, Next, Close, ActualSize, ZoomIn, ZoomOut };
    static KeyCommand commandOf(const QKeyEvent *event);
    qreal fitZoom() const;
    // Keeps the image on screen: centred along a side where it is smaller
    // than the widget, its edges no further in than the widget's otherwise.
    void clampCentre();
    QPointF widgetCentre() const { return QPointF(width() / 2.0, height() / 2.0); }

    QImage m_picture;
    QImage m_reduced;
    QSize m_imageSize;
    QString m_caption;
    qreal m_zoom = 1.0;
    bool m_fit = true;
    QPointF m_centre;
    QPointF m_dragFrom;
    bool m_dragging = false;
};

} // namespace zembrix
