#pragma once

#include <QAbstractButton>
#include <QPixmap>

// A button that draws only a picture chosen by its state: the image when it
// is off, the alternate image when it is selected (pressed, or on), and for a
// disabled button the picture named by its title (or alternate title), or the
// image under a translucent grey veil when it has no title. Without a
// picture it draws as a plain push button. Main thread only.
class BaseColoredButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit BaseColoredButton(QWidget *parent = nullptr);

    void setImage(const QPixmap &image);
    void setAlternateImage(const QPixmap &image);
    QPixmap image() const { return m_image; }
    QPixmap alternateImage() const { return m_alternateImage; }

    // The title names the picture a disabled button shows (see namedPicture).
    void setTitle(const QString &title) { m_title = title; update(); }
    void setAlternateTitle(const QString &title) { m_alternateTitle = title; update(); }
    QString title() const { return m_title; }
    QString alternateTitle() const { return m_alternateTitle; }

    // Pictures that titles can name, shared by all buttons.
    static void registerPicture(const QString &name, const QPixmap &picture);
    static QPixmap namedPicture(const QString &name);

    // Scaling off: the picture is drawn at its own size.
    void setNoScaling(bool noScaling) { m_noScaling = noScaling; update(); }
    void setFitToFrame(bool fit) { m_fitToFrame = fit; update(); }
    bool isFitToFrame() const { return m_fitToFrame; }
    bool isDragEnable() const { return m_dragEnable; }
    void setDragEnable(bool enable) { m_dragEnable = enable; }

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
    bool paintPicture(QPainter &painter, const QRect &dirty);

private:
    QPixmap m_image;
    QPixmap m_alternateImage;
    QString m_title;
    QString m_alternateTitle;
    bool m_dragEnable = false;
    bool m_fitToFrame = true;
    bool m_noScaling = false;
    bool m_stateOn = false;
};
