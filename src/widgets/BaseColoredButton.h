#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace zembrix {

// A button that draws only a picture chosen by its state: the image when it
// is off, the alternate image when it is selected (pressed, or on), and for a
// disabled button the image under a translucent grey veil. Without a picture
// it draws as a plain push button. Main thread only.
class BaseColoredButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit BaseColoredButton(QWidget *parent = nullptr);

    void setImage(const QPixmap &image);
    void setAlternateImage(const QPixmap &image);

    // The on state: the check state of a checkable button, else a state of
    // its own (see setStateOn).
    bool stateOn() const { return isCheckable() ? isChecked() : m_stateOn; }
    void setStateOn(bool on);
    // Pressed, or on.
    bool isSelected() const { return isDown() || stateOn(); }

    // The picture the button draws now; null when it draws as a push button.
    QPixmap currentPicture() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    // Draws the picture and the veil; false when there is no picture.
    bool paintPicture(QPainter &painter);

private:
    QPixmap m_image;
    QPixmap m_alternateImage;
    bool m_stateOn = false;
};

} // namespace zembrix
