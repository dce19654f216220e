#pragma once

#include <QRunnable>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <utility>

namespace zembrix {

// Starts `task` on a worker of `pool`. The pool hands the task over under a
// lock of Qt's own; the task is also published through an atomic here, in
// code the thread checker sees, so that everything written before the start
// is known to happen before the task runs. Any thread.
inline void startOnPool(QThreadPool &pool, std::function<void()> task)
{
    class Task final : public QRunnable
    {
    public:
        explicit Task(std::function<void()> work)
            : m_work(std::move(work))
        {
        }
        void publish() { m_published.store(true, std::memory_order_release); }
        void run() override
        {
            if (m_published.load(std::memory_order_acquire))
                m_work();
        }

    private:
        std::function<void()> m_work;
        std::atomic<bool> m_published{false};
    };
    auto *runnable = new Task(std::move(task));
    runnable->publish();
    pool.start(runnable); // the pool deletes it after its run
}

} // namespace zembrix
