#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

class QWidget;

namespace zembrix {

class Controller;

// Closing the window while some listed image has edits that no export has
// written asks first: "Quit" closes, "Cancel" keeps the window. The edits
// themselves are kept in the preferences either way; the question is about
// files the user may expect to exist. Installed on the window as an event
// filter. Main thread.
class QuitConfirmation : public QObject
{
    Q_OBJECT
public:
    QuitConfirmation(Controller *controller, QWidget *window);

    // The question on screen, if it is.
    QMessageBox *question() const { return m_question && m_question->isVisible() ? m_question.data() : nullptr; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Controller *m_controller;
    QWidget *m_window;
    QPointer<QMessageBox> m_question;
    bool m_confirmed = false;
};

} // namespace zembrix
