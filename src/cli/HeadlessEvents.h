#pragma once

#include "images/CoreContext.h"
#include "images/CoreEvents.h"

#include <QTextStream>
#include <QThreadPool>

#include <memory>

namespace zembrix {

// The events of the headless modes: no window, so alerts become lines on
// standard error and every refresh request is ignored. It owns the run's
// context and pool; its end waits for every task of the pool.
class HeadlessEvents final : public CoreEvents
{
public:
    explicit HeadlessEvents(QTextStream &err)
        : m_err(err)
        , m_context(std::make_shared<CoreContext>(this, &m_pool))
    {
    }
    ~HeadlessEvents() override
    {
        m_pool.waitForDone();
        m_context->detach();
    }
    const std::shared_ptr<CoreContext> &context() const { return m_context; }

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
    QThreadPool m_pool;
    std::shared_ptr<CoreContext> m_context;
};

} // namespace zembrix
