#include "PostBox.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

namespace zembrix {

void PostBox::post(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(work));
    }
    QMetaObject::invokeMethod(this, "runOne", Qt::QueuedConnection);
}

void PostBox::runOne()
{
    std::function<void()> work;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty())
            return;
        work = std::move(m_queue.front());
        m_queue.pop_front();
    }
    work();
}

PostBox *PostBox::application()
{
    static QPointer<PostBox> box;
    if (!box)
        box = new PostBox(QCoreApplication::instance());
    return box;
}

} // namespace zembrix
