#pragma once

#include <QImage>
#include <QStringList>
#include <QWidget>

class QLabel;
class QTimer;

namespace zembrix {

// The busy spinner: a rotating picture with a title label below it. After
// go() it stays invisible for the first eleven ticks (a tick every 0.1 s), so
// busy periods shorter than 1.2 s never show it; then each tick turns the
// picture by 30 degrees. Titles form a stack: title(text) shows a new one and
// keeps the old, title() goes back to the previous. Main thread only.
class MySpinView : public QWidget
{
    Q_OBJECT
public:
    explicit MySpinView(QWidget *parent = nullptr);
    ~MySpinView() override;

    // Starts the tick timer unless it runs already.
    void go();
    // Stops the tick timer.
    void stop();
    bool isSpinning() const { return m_timer != nullptr; }

    // One animation step (the timer calls it).
    void onTick();

    // With a text: pushes the label's current text and shows the new one.
    // With a null text: shows the most recently pushed text and pops it;
    // nothing happens on an empty stack.
    void title(const QString &text = QString());

    void setPaused(bool paused);
    bool paused() const { return m_paused; }

    // Rotation in degrees, and whether a frame is drawn now (spinning, not
    // paused, start delay over).
    float angle() const { return m_angle; }
    bool isShowingFrame() const { return m_timer && !m_paused && m_startTickDelay < 1; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateTitleVisibility();

    QImage m_image;
    QTimer *m_timer = nullptr;
    QLabel *m_title = nullptr;
    int m_startTickDelay = 0;
    float m_angle = 0.0f;
    bool m_paused = false;
    QStringList m_strings;
};

} // namespace zembrix
