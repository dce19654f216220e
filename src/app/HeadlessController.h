#pragma once

#include "images/ControllerInterface.h"

#include <QTextStream>

// The controller of the headless modes: no window, so alerts become lines
// on standard error and every refresh request is ignored.
class HeadlessController final : public ControllerInterface
{
public:
    explicit HeadlessController(QTextStream &err)
        : m_err(err)
    {
    }
    void showAlert(const QString &message, const QString &text) override
    {
        m_err << "zembrix: " << message << ": " << text << "\n";
        m_err.flush();
    }

private:
    QTextStream &m_err;
};
