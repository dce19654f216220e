#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

namespace zembrix {

// Runs closures posted from any thread on the thread the box lives on (the
// main thread), one per event and in posting order. The closures wait in a
// queue under a lock of our own and the event names a method, so the
// hand-over between the threads is in code the thread checker sees. Posts
// not yet run when the box goes away are dropped.
class PostBox : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void post(std::function<void()> work); // any thread

    // A box that lives as long as the application object; made on the first
    // call, which must be on the main thread.
    static PostBox *application();

private:
    Q_INVOKABLE void runOne();

    std::mutex m_mutex; // guards m_queue
    std::deque<std::function<void()>> m_queue;
};

} // namespace zembrix
