#include "BaseColoredButton.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace zembrix {

namespace {
const QColor kVeil(43, 43, 46, 160);
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
    return isSelected() && !m_alternateImage.isNull() ? m_alternateImage : m_image;
}

QSize BaseColoredButton::sizeHint() const
{
    if (!m_image.isNull())
        return m_image.deviceIndependentSize().toSize();
    return QSize(28, 28);
}

bool BaseColoredButton::paintPicture(QPainter &painter)
{
    const QPixmap picture = currentPicture();
    if (picture.isNull())
        return false;
    const QRect target = rect();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawPixmap(target, picture);
    if (!isEnabled()) {
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

void BaseColoredButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (paintPicture(painter))
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

} // namespace zembrix
