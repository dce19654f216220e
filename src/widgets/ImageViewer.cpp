#include "ImageViewer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace zembrix {

namespace {
constexpr qreal kMinZoom = 0.01;
constexpr qreal kMaxZoom = 32.0;
// A small image is enlarged to fit, but no more than this.
constexpr qreal kMaxFitZoom = 16.0;
constexpr qreal kStep = 1.25;
} // namespace

ImageViewer::ImageViewer(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("imageViewer"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setCursor(Qt::OpenHandCursor);
}

void ImageViewer::setPicture(const QImage &picture, QSize imageSize, const QImage &reduced)
{
    const bool sameImage = imageSize == m_imageSize && !m_picture.isNull();
    m_picture = picture;
    m_reduced = reduced;
    m_imageSize = imageSize.isValid() ? imageSize : picture.size();
    if (!sameImage) {
        m_centre = QPointF(m_imageSize.width() / 2.0, m_imageSize.height() / 2.0);
        if (m_fit)
            fitToWindow();
        else
            clampCentre();
    }
    update();
}

void ImageViewer::clear()
{
    m_picture = QImage();
    m_reduced = QImage();
    m_imageSize = QSize();
    m_caption.clear();
    m_fit = true;
    update();
}

void ImageViewer::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

qreal ImageViewer::fitZoom() const
{
    if (m_imageSize.isEmpty() || width() <= 0 || height() <= 0)
        return 1.0;
    const qreal dpr = devicePixelRatioF();
    const qreal z = std::min(width() * dpr / m_imageSize.width(), height() * dpr / m_imageSize.height());
    return std::clamp(z, kMinZoom, kMaxFitZoom);
}

void ImageViewer::fitToWindow()
{
    m_fit = true;
    m_zoom = fitZoom();
    m_centre = QPointF(m_imageSize.width() / 2.0, m_imageSize.height() / 2.0);
    update();
    emit zoomChanged(m_zoom);
}

void ImageViewer::actualSize()
{
    setZoom(1.0, widgetCentre());
}

void ImageViewer::zoomIn()
{
    setZoom(m_zoom * kStep, widgetCentre());
}

void ImageViewer::zoomOut()
{
    setZoom(m_zoom / kStep, widgetCentre());
}

void ImageViewer::setZoom(qreal zoom, QPointF at)
{
    zoom = std::clamp(zoom, std::min(kMinZoom, fitZoom()), kMaxZoom);
    const qreal dpr = devicePixelRatioF();
    // The image point under `at` stays there.
    const QPointF under = m_centre + (at - widgetCentre()) * dpr / m_zoom;
    m_zoom = zoom;
    m_fit = false;
    m_centre = under - (at - widgetCentre()) * dpr / m_zoom;
    clampCentre();
    update();
    emit zoomChanged(m_zoom);
}

void ImageViewer::clampCentre()
{
    const qreal dpr = devicePixelRatioF();
    const qreal halfW = width() * dpr / m_zoom / 2.0;
    const qreal halfH = height() * dpr / m_zoom / 2.0;
    auto clampAxis = [](qreal c, qreal half, qreal length) {
        if (2 * half >= length)
            return length / 2.0;
        return std::clamp(c, half, length - half);
    };
    m_centre.setX(clampAxis(m_centre.x(), halfW, m_imageSize.width()));
    m_centre.setY(clampAxis(m_centre.y(), halfH, m_imageSize.height()));
}

void ImageViewer::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(28, 28, 30));
    if (m_picture.isNull() || m_imageSize.isEmpty())
        return;
    const qreal scale = m_zoom / devicePixelRatioF(); // widget pixels per image pixel
    const QRectF target(widgetCentre() - m_centre * scale, QSizeF(m_imageSize) * scale);
    const QRectF shown = target.intersected(QRectF(rect()));
    if (shown.isEmpty())
        return;
    if (m_picture.hasAlphaChannel()) {
        p.save();
        p.setClipRect(shown);
        const int tile = 10;
        for (int y = int(shown.top()) / tile * tile; y < shown.bottom(); y += tile)
            for (int x = int(shown.left()) / tile * tile; x < shown.right(); x += tile)
                p.fillRect(QRect(x, y, tile, tile),
                           ((x / tile + y / tile) & 1) ? QColor(96, 96, 96) : QColor(72, 72, 72));
        p.restore();
    }
    // Only the part on screen is drawn, from the smallest picture that has
    // the pixels for it.
    const QImage &picture =
        !m_reduced.isNull() && m_zoom <= qreal(m_reduced.width()) / m_imageSize.width() ? m_reduced : m_picture;
    const qreal perPicture = qreal(picture.width()) / m_imageSize.width();
    const QRectF source((shown.topLeft() - target.topLeft()) / scale * perPicture, shown.size() / scale * perPicture);
    // Enlarged pixels stay sharp; reduced ones are smoothed.
    p.setRenderHint(QPainter::SmoothPixmapTransform, m_zoom / perPicture < 2.0);
    const QImage::Format format = picture.format();
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied) {
        p.drawImage(shown, picture, source);
    } else {
        // The painter would convert the whole picture first: the part shown
        // is taken out and converted alone.
        const QRect part = source.toAlignedRect().intersected(picture.rect());
        p.drawImage(shown, picture.copy(part), source.translated(-part.topLeft()));
    }

    if (!m_caption.isEmpty()) {
        const QString text = QStringLiteral("%1  \u00b7  %2 %").arg(m_caption).arg(qRound(m_zoom * 100));
        const QFontMetrics metrics = fontMetrics();
        const QString shownText = metrics.elidedText(text, Qt::ElideMiddle, width() - 40);
        const QRect box(12, height() - metrics.height() - 18, metrics.horizontalAdvance(shownText) + 16,
                        metrics.height() + 8);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 150));
        p.drawRoundedRect(box, 5, 5);
        p.setPen(QColor(225, 225, 225));
        p.drawText(box, Qt::AlignCenter, shownText);
        const QString keys = tr("\u2190 \u2192 previous, next    Esc thumbnails");
        const QRect hint(width() - metrics.horizontalAdvance(keys) - 28, box.top(),
                         metrics.horizontalAdvance(keys) + 16, box.height());
        if (hint.left() > box.right() + 12) {
            p.setPen(Qt::NoPen);
            p.drawRoundedRect(hint, 5, 5);
            p.setPen(QColor(160, 160, 165));
            p.drawText(hint, Qt::AlignCenter, keys);
        }
    }
}

void ImageViewer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_fit)
        fitToWindow();
    else
        clampCentre();
}

void ImageViewer::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0 || m_imageSize.isEmpty()) {
        event->ignore();
        return;
    }
    // One notch (120) is one step.
    setZoom(m_zoom * std::pow(kStep, delta / 120.0), event->position());
    event->accept();
}

void ImageViewer::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragFrom = event->position();
        setCursor(Qt::ClosedHandCursor);
    }
    QWidget::mousePressEvent(event);
}

void ImageViewer::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging)
        return;
    const QPointF moved = event->position() - m_dragFrom;
    m_dragFrom = event->position();
    m_centre -= moved * devicePixelRatioF() / m_zoom;
    clampCentre();
    update();
}

void ImageViewer::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        setCursor(Qt::OpenHandCursor);
    }
}

void ImageViewer::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (m_fit)
        setZoom(1.0, event->position());
    else
        fitToWindow();
}

ImageViewer::KeyCommand ImageViewer::commandOf(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    const bool control = modifiers == Qt::ControlModifier;
    if (modifiers != Qt::NoModifier && !control)
        return KeyCommand::None;
    switch (event->key()) {
    case Qt::Key_Left: return control ? KeyCommand::None : KeyCommand::Previous;
    case Qt::Key_Right: return control ? KeyCommand::None : KeyCommand::Next;
    case Qt::Key_Escape: return control ? KeyCommand::None : KeyCommand::Close;
    case Qt::Key_0: return control ? KeyCommand::ActualSize : KeyCommand::None;
    case Qt::Key_Plus:
    case Qt::Key_Equal: return KeyCommand::ZoomIn;
    case Qt::Key_Minus: return KeyCommand::ZoomOut;
    default: return KeyCommand::None;
    }
}

bool ImageViewer::event(QEvent *event)
{
    // The viewer's keys come before the window's shortcuts (Escape stops).
    if (event->type() == QEvent::ShortcutOverride && commandOf(static_cast<QKeyEvent *>(event)) != KeyCommand::None) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void ImageViewer::keyPressEvent(QKeyEvent *event)
{
    switch (commandOf(event)) {
    case KeyCommand::Previous: emit previousRequested(); break;
    case KeyCommand::Next: emit nextRequested(); break;
    case KeyCommand::Close: emit closeRequested(); break;
    case KeyCommand::ActualSize: actualSize(); break;
    case KeyCommand::ZoomIn: zoomIn(); break;
    case KeyCommand::ZoomOut: zoomOut(); break;
    case KeyCommand::None: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

} // namespace zembrix
