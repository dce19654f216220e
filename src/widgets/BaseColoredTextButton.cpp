#include "BaseColoredTextButton.h"

#include <QPaintEvent>
#include <QPainter>

namespace zembrix {

BaseColoredTextButton::BaseColoredTextButton(QWidget *parent)
    : BaseColoredButton(parent)
{
    setAttribute(Qt::WA_Hover);
}

QSize BaseColoredTextButton::sizeHint() const
{
    const QSize text = fontMetrics().size(Qt::TextSingleLine, this->text());
    return QSize(text.width() + 28, qMax(28, text.height() + 12)).expandedTo(BaseColoredButton::sizeHint());
}

void BaseColoredTextButton::enterEvent(QEnterEvent *event)
{
    setStateOn(true);
    BaseColoredButton::enterEvent(event);
}

void BaseColoredTextButton::leaveEvent(QEvent *event)
{
    setStateOn(false);
    BaseColoredButton::leaveEvent(event);
}

void BaseColoredTextButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintPicture(painter);
    if (text().isEmpty())
        return;
    painter.setPen(isEnabled() ? QColor(214, 214, 214) : QColor(130, 130, 130));
    painter.setFont(font());
    painter.drawText(rect().translated(0, 2), Qt::AlignCenter, text());
}

} // namespace zembrix
