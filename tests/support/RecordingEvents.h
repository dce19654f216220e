#pragma once

#include "images/CoreContext.h"
#include "images/CoreEvents.h"

#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

using namespace zembrix;

// The events of the core's tests, with a context and a pool of their own. They record, from any
// thread, what the core tells them: busy periods, tool updates, refreshes, alerts (their messages),
// export progress and undo steps. `onImage`, when set, runs on the parse thread after every
// recorded image. Their end waits for every task of the pool.
class RecordingEvents final : public CoreEvents
{
public:
    RecordingEvents() = default;
    ~RecordingEvents() override
    {
        m_pool.waitForDone();
        m_context->detach();
    }
    const std::shared_ptr<CoreContext> &context() const { return m_context; }
    int runningParses() const { return m_context->runningParses().load(); }

    void startSpinAnimation() override
    {
        locked([&] { ++m_busy; });
    }
    void stopSpinAnimation() override
    {
        locked([&] { --m_busy; });
    }
    void setToolsButtonState() override
    {
        locked([&] { ++m_toolsUpdates; });
    }
    void updateIKDatasource() override
    {
        locked([&] { ++m_refreshes; });
    }
    void updateFileList() override
    {
        locked([&] {
            if (m_onImage)
                m_onImage();
        });
    }
    void registerUndo(std::function<void()> undo) override
    {
        locked([&] { undoSteps.push_back(std::move(undo)); });
    }
    void showAlert(const QString &message, const QString &) override
    {
        locked([&] { m_alerts << message; });
    }
    void exportProgress(int done, int total) override
    {
        locked([&] { m_progress.emplace_back(done, total); });
    }

    int openBusyPeriods() const { return get(m_busy); }
    int toolsUpdates() const { return get(m_toolsUpdates); }
    int refreshes() const { return get(m_refreshes); }
    QStringList alerts() const { return get(m_alerts); }
    std::vector<std::pair<int, int>> progress() const { return get(m_progress); }
    void setOnImage(std::function<void()> hook)
    {
        locked([&] { m_onImage = std::move(hook); });
    }

    // Pops the newest undo step and runs it (a step it registers in turn, the redo, lands on the
    // stack). False when there is none.
    bool undo()
    {
        std::function<void()> step;
        locked([&] {
            if (!undoSteps.empty()) {
                step = std::move(undoSteps.back());
                undoSteps.pop_back();
            }
        });
        if (step)
            step();
        return bool(step);
    }

    // Read or moved only while nothing registers.
    std::vector<std::function<void()>> undoSteps;

private:
    template<typename F>
    void locked(F f)
    {
        std::lock_guard lock(m_mutex);
        f();
    }
    template<typename T>
    T get(const T &value) const
    {
        std::lock_guard lock(m_mutex);
        return value;
    }

    mutable std::recursive_mutex m_mutex;
    int m_busy = 0;
    int m_toolsUpdates = 0;
    int m_refreshes = 0;
    QStringList m_alerts;
    std::vector<std::pair<int, int>> m_progress;
    std::function<void()> m_onImage;
    QThreadPool m_pool;
    const std::shared_ptr<CoreContext> m_context = std::make_shared<CoreContext>(this, &m_pool);
};
