#include "QuitConfirmation.h"

#include "Controller.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

namespace zembrix {

QuitConfirmation::QuitConfirmation(Controller *controller, QWidget *window)
    : QObject(window)
    , m_controller(controller)
    , m_window(window)
{
    window->installEventFilter(this);
}

bool QuitConfirmation::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Close || m_confirmed)
        return false;
    const int edited = m_controller->unexportedEditCount();
    if (edited == 0)
        return false;
    event->ignore();
    if (question())
        return true;
    m_question = new QMessageBox(QMessageBox::Question, tr("Quit Zembrix"),
                                 edited == 1 ? tr("1 edited image was never exported.")
                                             : tr("%1 edited images were never exported.").arg(edited),
                                 QMessageBox::NoButton, m_window);
    m_question->setInformativeText(tr("The edits are kept for the next start, but no exported file holds "
                                      "them yet. Quit anyway?"));
    QPushButton *quit = m_question->addButton(tr("Quit"), QMessageBox::AcceptRole);
    m_question->setDefaultButton(m_question->addButton(QMessageBox::Cancel));
    m_question->setWindowModality(Qt::WindowModal);
    m_question->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_question, &QMessageBox::buttonClicked, this, [this, quit](QAbstractButton *button) {
        if (button != quit)
            return;
        m_confirmed = true;
        QMetaObject::invokeMethod(m_window, &QWidget::close, Qt::QueuedConnection);
    });
    m_question->open();
    return true;
}

} // namespace zembrix
