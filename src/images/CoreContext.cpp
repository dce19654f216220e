#include "images/CoreContext.h"

#include "images/PoolStart.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace zembrix {

namespace {

// Never destroyed: a context may report from any thread while the process exits.
CoreEvents &doNothingEvents()
{
    static CoreEvents *const events = new CoreEvents;
    return *events;
}

} // namespace

CoreContext::CoreContext()
    : CoreContext(nullptr, nullptr)
{
}

CoreContext::CoreContext(CoreEvents *events, QThreadPool *pool)
    : m_events(events)
    , m_pool(pool)
    , m_tintBudget(std::make_shared<WorkBudget>(kRunTintUnits))
    , m_colorTransforms(std::make_shared<ColorTransformCache>())
{
}

CoreContext::~CoreContext() = default;

CoreEvents &CoreContext::events() const
{
    CoreEvents *events = m_events.load(std::memory_order_acquire);
    return events ? *events : doNothingEvents();
}

void CoreContext::detach()
{
    m_events.store(nullptr, std::memory_order_release);
    m_pool.store(nullptr, std::memory_order_release);
    std::deque<std::function<void()>> dropped; // their records go outside the lock
    std::lock_guard lock(m_parseMutex);
    dropped.swap(m_waitingParses);
}

bool CoreContext::start(std::function<void()> task) const
{
    QThreadPool *pool = m_pool.load(std::memory_order_acquire);
    if (!pool)
        return false;
    startOnPool(*pool, std::move(task));
    return true;
}

int CoreContext::parsesAtOnce()
{
    return std::max(1, QThread::idealThreadCount());
}

bool CoreContext::startParse(std::function<void()> task)
{
    if (!m_pool.load(std::memory_order_acquire))
        return false;
    {
        std::lock_guard lock(m_parseMutex);
        if (m_parsesOnWorkers >= parsesAtOnce()) {
            m_waitingParses.push_back(std::move(task));
            return true;
        }
        ++m_parsesOnWorkers;
    }
    const bool started = start([this, task = std::move(task)] {
        task();
        parseEnded();
    });
    if (!started) {
        std::lock_guard lock(m_parseMutex);
        --m_parsesOnWorkers;
    }
    return started;
}

// The worker of an ended parse takes the next waiting one, so that the pool
// is joined only once every waiting parse has run.
void CoreContext::parseEnded()
{
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard lock(m_parseMutex);
            if (m_waitingParses.empty()) {
                --m_parsesOnWorkers;
                return;
            }
            next = std::move(m_waitingParses.front());
            m_waitingParses.pop_front();
        }
        next();
    }
}

} // namespace zembrix
