#include "BaseColoredButton.h"

#include <QHash>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {
const QColor kVeil(43, 43, 46, 160);

QHash<QString, QPixmap> &pictures()
{
    static QHash<QString, QPixmap> registry;
    return registry;
}
} // namespace

BaseColoredButton::BaseColoredButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void BaseColoredButton::setImage(const QPixmap &image)
{
    m_image = image;
    updateGeometry();
    update();
}

void BaseColoredButton::setAlternateImage(const QPixmap &image)
{
    m_alternateImage = image;
    update();
}

void BaseColoredButton::registerPicture(const QString &name, const QPixmap &picture)
{
    pictures().insert(name, picture);
}

QPixmap BaseColoredButton::namedPicture(const QString &name)
{
    return name.isEmpty() ? QPixmap() : pictures().value(name);
}

void BaseColoredButton::setStateOn(bool on)
{
    if (isCheckable())
        setChecked(on);
    else
        m_stateOn = on;
    update();
}

QPixmap BaseColoredButton::currentPicture() const
{
    if (!isEnabled() && (!m_title.isEmpty() || !m_alternateTitle.isEmpty())) {
        QPixmap named = namedPicture(m_title);
        return named.isNull() ? namedPicture(m_alternateTitle) : named;
    }
    return isSelected() && !m_alternateImage.isNull() ? m_alternateImage : m_image;
}

QSize BaseColoredButton::sizeHint() const
{
    if (!m_image.isNull())
        return m_image.deviceIndependentSize().toSize();
    return QSize(28, 28);
}

bool BaseColoredButton::paintPicture(QPainter &painter, const QRect &dirty)
{
    const QPixmap picture = currentPicture();
    if (picture.isNull())
        return false;
    const QRect target = m_fitToFrame ? rect() : dirty;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (m_noScaling) {
        const QSize size = picture.deviceIndependentSize().toSize();
        painter.drawPixmap(QRect(target.topLeft(), size), picture);
    } else {
        painter.drawPixmap(target, picture);
    }
    if (!isEnabled() && m_title.isEmpty()) {
        // The veil of a disabled button: the window's dark grey, laid over
        // the picture's own pixels so that the transparent corners of a tile
        // stay transparent. (A light veil would make disabled buttons the
        // brightest ones of a dark window.)
        QImage veil(target.size() * picture.devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
        veil.setDevicePixelRatio(picture.devicePixelRatio());
        veil.fill(Qt::transparent);
        {
            QPainter v(&veil);
            v.drawPixmap(QRect(QPoint(0, 0), target.size()), picture);
            v.setCompositionMode(QPainter::CompositionMode_SourceIn);
            v.fillRect(QRect(QPoint(0, 0), target.size()), kVeil);
        }
        painter.drawImage(target.topLeft(), veil);
    }
    return true;
}

void BaseColoredButton::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    if (paintPicture(painter, event->rect()))
        return;
    painter.end();
    QStylePainter style(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.text = text();
    option.icon = icon();
    option.iconSize = iconSize();
    if (isSelected())
        option.state |= QStyle::State_Sunken;
    style.drawControl(QStyle::CE_PushButton, option);
}
