#include "ExportProgressView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

namespace zembrix {

namespace {
constexpr int kShowAfterMs = 600;
} // namespace

ExportProgressView::ExportProgressView(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel)
    , m_bar(new QProgressBar)
    , m_cancel(new QToolButton)
    , m_delay(new QTimer(this))
{
    setObjectName(QStringLiteral("exportProgress"));
    m_bar->setFixedWidth(180);
    m_bar->setMaximumHeight(14);
    m_bar->setTextVisible(false);
    m_cancel->setText(tr("Cancel"));
    m_cancel->setToolTip(tr("Stop the export (Esc); the files written so far stay"));
    connect(m_cancel, &QToolButton::clicked, this, [this] {
        m_cancel->setEnabled(false); // the job stops after the image it is on
        emit cancelRequested();
    });
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 4, 0);
    layout->setSpacing(8);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel);
    m_delay->setSingleShot(true);
    m_delay->setInterval(kShowAfterMs);
    connect(m_delay, &QTimer::timeout, this, &QWidget::show);
    hide();
}

void ExportProgressView::begin()
{
    setProgress(0, 0);
    m_cancel->setEnabled(true);
    m_delay->start();
}

void ExportProgressView::setProgress(int done, int total)
{
    m_bar->setRange(0, std::max(total, 1));
    m_bar->setValue(std::min(done, std::max(total, 1)));
    m_label->setText(total > 0 ? tr("Exporting %1 of %2").arg(done).arg(total) : tr("Exporting\u2026"));
}

void ExportProgressView::end()
{
    m_delay->stop();
    hide();
}

} // namespace zembrix
