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
    // The image's own line on standard error says it (with its file).
    void showImageAlert(const QString &, const QString &) override {}
    void logImageFailure(const QString &) override {}

private:
    QTextStream &m_err;
};
