#pragma once

#include "BaseColoredButton.h"

namespace zembrix {

// An image button with a light grey text over its picture that turns on while
// the mouse is over it. The text is the button's text(); its title() still
// names the picture of the disabled state. Main thread only.
class BaseColoredTextButton : public BaseColoredButton
{
    Q_OBJECT
public:
    explicit BaseColoredTextButton(QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

} // namespace zembrix
