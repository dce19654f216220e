#include "StatusLineView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace zembrix {

StatusLineView::StatusLineView(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel)
    , m_show(new QToolButton)
{
    setObjectName(QStringLiteral("statusLine"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(8);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_show->setText(tr("Show"));
    m_show->setToolTip(tr("Show the folder in the file manager"));
    layout->addWidget(m_label, 1);
    layout->addWidget(m_show);
    connect(m_show, &QToolButton::clicked, this, &StatusLineView::showRequested);
    clear();
}

void StatusLineView::showLine(const QString &text, const QString &details, bool showable)
{
    m_label->setText(text);
    m_label->setToolTip(details);
    m_show->setVisible(showable);
    show();
}

void StatusLineView::clear()
{
    m_label->clear();
    m_label->setToolTip(QString());
    m_show->hide();
    hide();
}

QString StatusLineView::text() const
{
    return m_label->text();
}

} // namespace zembrix
