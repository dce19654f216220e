#include "KeshAlert.h"

#include "BaseColoredTextButton.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace zembrix {

namespace {
const QString kFirstTitle = QStringLiteral("Yes");
const QString kSecondTitle = QStringLiteral("No");
const QString kThirdTitle = QStringLiteral("Cancel");
} // namespace

KeshAlert::KeshAlert(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("KeshAlert"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QApplication::applicationDisplayName());
    setAutoFillBackground(true);
    QPalette shade = palette();
    shade.setColor(QPalette::Window, QColor(48, 48, 48));
    shade.setColor(QPalette::WindowText, QColor(224, 224, 224));
    setPalette(shade);

    m_icon = new QLabel;
    m_icon->setFixedSize(70, 69);
    m_icon->setAlignment(Qt::AlignCenter);
    m_icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));

    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("m_message"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(13);
    m_message->setFont(bold);
    m_message->setWordWrap(true);
    m_message->setAutoFillBackground(true);
    m_message->setContentsMargins(6, 4, 6, 4);
    QPalette grey = m_message->palette();
    grey.setColor(QPalette::Window, QColor::fromRgbF(0.4f, 0.4f, 0.4f));
    m_message->setPalette(grey);
    m_message->setMinimumHeight(34);

    m_text = new QLabel;
    m_text->setObjectName(QStringLiteral("m_text"));
    m_text->setWordWrap(true);
    m_text->setContentsMargins(6, 0, 6, 0);
    m_text->setMinimumHeight(37);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_first = makeButton(1);
    m_second = makeButton(2);
    m_three = makeButton(3);
    m_first->setText(kFirstTitle);
    m_second->setText(kSecondTitle);
    m_three->setText(kThirdTitle);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(m_message);
    texts->addWidget(m_text, 1);
    auto *top = new QHBoxLayout;
    top->setSpacing(20);
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    // The third button stands apart on the left, the first at the right.
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    buttons->addSpacing(85);
    buttons->addWidget(m_three);
    buttons->addStretch(1);
    buttons->addWidget(m_second);
    buttons->addWidget(m_first);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 12, 19, 12);
    layout->setSpacing(6);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    setMinimumSize(490, 132);
    setButtons(Yes | No | Third);
}

BaseColoredTextButton *KeshAlert::makeButton(int code)
{
    auto *button = new BaseColoredTextButton;
    button->setMinimumSize(code == 3 ? 114 : 96, 32);
    button->setFocusPolicy(Qt::NoFocus);
    button->installEventFilter(this);
    connect(button, &QAbstractButton::clicked, this, [this, code] { done(code); });
    return button;
}

void KeshAlert::setMessage(const QString &message, const QString &text)
{
    m_message->setText(message.isNull() ? QString(QLatin1String("")) : message);
    m_text->setText(text.isNull() ? QString(QLatin1String("")) : text);
}

QString KeshAlert::message() const
{
    return m_message->text();
}

QString KeshAlert::text() const
{
    return m_text->text();
}

void KeshAlert::setButtons(int mask)
{
    m_mask = mask;
    highlight(m_first);
    m_first->setText(kFirstTitle);
    m_second->setText(kSecondTitle);
    m_three->setText(kThirdTitle);
    if (mask & Ok)
        m_first->setText(QStringLiteral("OK"));
    if (mask & Cancel)
        m_second->setText(QStringLiteral("Cancel"));
    if (mask & Save)
        m_first->setText(QStringLiteral("Save..."));
    if (mask & DontSave)
        m_three->setText(QStringLiteral("Don't Save"));
    m_first->setVisible(mask & (Ok | Yes | Save));
    m_second->setVisible(mask & (No | Cancel));
    m_three->setVisible(mask & (Third | DontSave));
}

// One button is highlighted at a time: the one under the mouse, else the
// first, which Return presses.
void KeshAlert::highlight(BaseColoredTextButton *button)
{
    for (BaseColoredTextButton *b : {m_first, m_second, m_three})
        b->setStateOn(b == button);
}

bool KeshAlert::eventFilter(QObject *watched, QEvent *event)
{
    auto *button = qobject_cast<BaseColoredTextButton *>(watched);
    if (button && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        // After the button's own hover handling, which would undo this.
        const bool entered = event->type() == QEvent::Enter;
        QMetaObject::invokeMethod(
            this, [this, button, entered] { highlight(entered ? button : m_first); }, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

void KeshAlert::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (m_first->isVisible())
            done(1);
        event->accept();
        return;
    }
    // Escape presses the button titled "Cancel", or the only button; a
    // question without either must be answered by a button.
    if (event->key() == Qt::Key_Escape) {
        if (m_mask & Cancel)
            done(2);
        else if (m_mask & Third)
            done(3);
        else if (m_first->isVisibleTo(this) && !m_second->isVisibleTo(this) && !m_three->isVisibleTo(this))
            done(1);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace zembrix
