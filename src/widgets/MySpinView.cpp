#include "MySpinView.h"

#include "DrawnIcons.h"

#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace zembrix {

namespace {
constexpr int kPictureEdge = 120;
constexpr int kStartTicks = 12;
} // namespace

MySpinView::MySpinView(QWidget *parent)
    : QWidget(parent)
    , m_image(DrawnIcons::spinnerImage(kPictureEdge))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(260, kPictureEdge + 64);
    m_title = new QLabel(this);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setObjectName(QStringLiteral("spinTitle"));
    m_title->setStyleSheet(QStringLiteral("QLabel { color: #e6e6e6; background: rgba(20,20,22,170);"
                                          " border-radius: 6px; padding: 3px 10px; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, kPictureEdge + 16, 0, 0);
    layout->addWidget(m_title, 0, Qt::AlignHCenter | Qt::AlignTop);
    m_title->hide();
}

MySpinView::~MySpinView() = default;

void MySpinView::go()
{
    if (m_timer)
        return;
    m_paused = false;
    m_startTickDelay = kStartTicks;
    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &MySpinView::onTick);
    m_timer->start();
    // The first tick fires at once, as the timer's first firing does.
    QTimer::singleShot(0, this, [this] {
        if (m_timer)
            onTick();
    });
    updateTitleVisibility();
}

void MySpinView::stop()
{
    if (!m_timer)
        return;
    m_timer->stop();
    m_timer->deleteLater();
    m_timer = nullptr;
    updateTitleVisibility();
    update();
}

void MySpinView::onTick()
{
    if (m_paused)
        return;
    const int p = m_startTickDelay;
    --m_startTickDelay;
    if (p < 2) {
        if (p != 1)
            m_startTickDelay = 0;
        m_angle += 30.0f;
        if (m_angle > 360.0f)
            m_angle -= 360.0f;
        updateTitleVisibility();
        update();
    }
}

void MySpinView::title(const QString &text)
{
    if (!text.isNull()) {
        m_strings.append(m_title->text());
        m_title->setText(text);
    } else if (!m_strings.isEmpty()) {
        m_title->setText(m_strings.takeLast());
    }
    updateTitleVisibility();
}

void MySpinView::setPaused(bool paused)
{
    m_paused = paused;
    updateTitleVisibility();
    update();
}

void MySpinView::updateTitleVisibility()
{
    m_title->setVisible(isShowingFrame() && !m_title->text().isEmpty());
}

void MySpinView::paintEvent(QPaintEvent *)
{
    if (!isShowingFrame())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, 8 + kPictureEdge / 2.0);
    // A dark disc behind the strokes keeps them readable over bright thumbnails.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 22, 150));
    p.drawEllipse(centre, kPictureEdge / 2.0 + 6, kPictureEdge / 2.0 + 6);
    p.translate(centre);
    p.rotate(m_angle);
    p.setOpacity(0.5);
    p.drawImage(QPointF(-kPictureEdge / 2.0, -kPictureEdge / 2.0), m_image);
    p.setOpacity(1.0);
}

} // namespace zembrix
