#include "MyPathControl.h"

#include "DrawnIcons.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

namespace zembrix {

namespace {

QString firstLocalPath(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return {};
    return urls.first().toLocalFile();
}

// Path components for display: the home folder is shown as "~".
QStringList displayComponents(const QString &folder)
{
    QString shown = QDir::cleanPath(folder);
    const QString home = QDir::homePath();
    QStringList parts;
    if (shown == home || shown.startsWith(home + QLatin1Char('/'))) {
        parts << QStringLiteral("~");
        shown = shown.mid(home.size());
    } else {
        parts << QStringLiteral("/");
    }
    for (const QString &part : shown.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        parts << part;
    return parts;
}

} // namespace

MyPathControl::MyPathControl(QWidget *parent)
    : QFrame(parent)
{
    setAcceptDrops(true);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setFrameShape(QFrame::NoFrame);
    setToolTip(placeholderText());
}

QString MyPathControl::placeholderText()
{
    return QStringLiteral("Click to choose export folder.");
}

void MyPathControl::setPath(const QString &folder)
{
    m_path = folder;
    setToolTip(folder.isEmpty() ? placeholderText() : QDir::toNativeSeparators(folder));
    update();
}

bool MyPathControl::validateDrop(const QMimeData *mime)
{
    const QString path = firstLocalPath(mime);
    return !path.isEmpty() && QFileInfo(path).isDir();
}

std::optional<QString> MyPathControl::folderFromDrop(const QMimeData *mime)
{
    const QString path = firstLocalPath(mime);
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (info.isDir())
        return info.absoluteFilePath();
    const QFileInfo parent(info.absolutePath());
    if (!parent.exists() || !parent.isDir())
        return std::nullopt;
    return parent.absoluteFilePath();
}

QSize MyPathControl::sizeHint() const
{
    return QSize(220, fontMetrics().height() + 14);
}

QSize MyPathControl::minimumSizeHint() const
{
    return QSize(80, fontMetrics().height() + 14);
}

void MyPathControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QColor(70, 70, 74));
    p.setBrush(QColor(32, 32, 34));
    p.drawRoundedRect(box, 4, 4);

    const int iconEdge = qMin(18, height() - 6);
    const QImage folder = DrawnIcons::drawnImage(QStringLiteral("folder"), iconEdge, QColor(214, 214, 214));
    p.drawImage(QPoint(6, (height() - iconEdge) / 2), folder);

    QRect text = rect().adjusted(iconEdge + 12, 0, -6, 0);
    if (m_path.isEmpty()) {
        p.setPen(QColor(150, 150, 150));
        p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(placeholderText(), Qt::ElideRight, text.width()));
    } else {
        // Components from the last one backwards, as many as fit; the rest
        // become an ellipsis at the front.
        const QStringList parts = displayComponents(m_path);
        const QString separator = QStringLiteral("  \u203a  ");
        QString shown = parts.last();
        for (qsizetype i = parts.size() - 2; i >= 0; --i) {
            const QString longer = parts[i] + separator + shown;
            if (fontMetrics().horizontalAdvance(longer) > text.width()) {
                shown = QStringLiteral("\u2026") + separator + shown;
                break;
            }
            shown = longer;
        }
        p.setPen(QColor(214, 214, 214));
        p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(shown, Qt::ElideLeft, text.width()));
    }
    if (hasFocus()) {
        p.setPen(QPen(QColor(74, 128, 196), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(box.adjusted(1, 1, -1, -1), 3, 3);
    }
    if (m_dragEnter) {
        p.setPen(QPen(QColor::fromRgbF(0.99f, 0.94f, 0.74f, 0.8f), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void MyPathControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}

void MyPathControl::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit clicked();
        return;
    }
    QFrame::keyPressEvent(event);
}

void MyPathControl::dragEnterEvent(QDragEnterEvent *event)
{
    if (!validateDrop(event->mimeData()) || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (!m_dragEnter) {
        m_dragEnter = true;
        update();
    }
}

void MyPathControl::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_dragEnter) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void MyPathControl::dragLeaveEvent(QDragLeaveEvent *)
{
    m_dragEnter = false;
    update();
}

void MyPathControl::dropEvent(QDropEvent *event)
{
    m_dragEnter = false;
    update();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (const std::optional<QString> folder = folderFromDrop(event->mimeData()))
        emit folderDropped(*folder);
}

} // namespace zembrix
