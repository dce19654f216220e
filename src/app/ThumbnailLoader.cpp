#include "ThumbnailLoader.h"

#include "images/PDFImageStruct.h"
#include "images/PoolStart.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>

namespace zembrix {

namespace {
constexpr std::size_t kMaxQueued = 256;
}

ThumbnailLoader::ThumbnailLoader(QThreadPool &pool, QObject *parent)
    : QObject(parent)
    , m_pool(pool)
{
}

ThumbnailLoader::~ThumbnailLoader()
{
    m_closing.store(true);
    std::unique_lock lock(m_queueMutex);
    m_queue.clear();
    m_tasksEnded.wait(lock, [this] { return m_tasks == 0; });
}

void ThumbnailLoader::request(const std::shared_ptr<PDFImageStruct> &record, quint64 version, int edge)
{
    if (!record)
        return;
    const quint64 id = record->recordId();
    const auto pending = m_pending.constFind(id);
    if (pending != m_pending.cend() && pending->version == version && pending->edge >= edge)
        return;
    m_pending.insert(id, {version, edge});
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.erase(
            std::remove_if(m_queue.begin(), m_queue.end(), [id](const Request &r) { return r.recordId == id; }),
            m_queue.end());
        m_queue.push_back({record, id, version, edge});
        ++m_tasks;
        // After a fast scroll the oldest requests are for thumbnails long
        // gone from the screen: they are dropped, and asked again if shown.
        if (m_queue.size() > kMaxQueued) {
            const auto drop = m_queue.begin() + std::ptrdiff_t(m_queue.size() - kMaxQueued);
            for (auto it = m_queue.begin(); it != drop; ++it)
                m_pending.remove(it->recordId);
            m_queue.erase(m_queue.begin(), drop);
        }
    }
    startOnPool(m_pool, [this] { runOne(); });
}

void ThumbnailLoader::cancelAll()
{
    std::lock_guard lock(m_queueMutex);
    for (const Request &r : m_queue)
        m_pending.remove(r.recordId);
    m_queue.clear();
}

void ThumbnailLoader::runOne()
{
    // Counted out last, once nothing of this loader is touched any more.
    struct CountedOut {
        ThumbnailLoader *self;
        ~CountedOut()
        {
            std::lock_guard lock(self->m_queueMutex);
            if (--self->m_tasks == 0)
                self->m_tasksEnded.notify_all();
        }
    } countedOut{this};
    Request request;
    {
        std::lock_guard lock(m_queueMutex);
        if (m_queue.empty())
            return;
        request = m_queue.back();
        m_queue.pop_back();
    }
    if (m_closing.load())
        return;
    QImage image;
    if (const std::shared_ptr<PDFImageStruct> record = request.record.lock()) {
        image = render(*record, request.edge);
        m_renderCount.fetch_add(1);
    }
    {
        std::lock_guard lock(m_finishedMutex);
        m_finished.push_back({request, image});
    }
    QMetaObject::invokeMethod(this, "takeFinished", Qt::QueuedConnection);
}

void ThumbnailLoader::takeFinished()
{
    std::vector<Finished> done;
    {
        std::lock_guard lock(m_finishedMutex);
        done.swap(m_finished);
    }
    for (const Finished &f : done)
        finished(f.request, f.image);
}

void ThumbnailLoader::finished(const Request &request, const QImage &image)
{
    const auto pending = m_pending.constFind(request.recordId);
    if (pending != m_pending.cend() && pending->version == request.version && pending->edge == request.edge)
        m_pending.erase(pending);
    emit thumbnailReady(request.recordId, request.version, request.edge, image);
}

QImage ThumbnailLoader::render(const PDFImageStruct &record, int edge)
{
    QImage picture = record.renderThumbnail();
    if (picture.isNull() || edge <= 0)
        return {};
    if (picture.width() > edge || picture.height() > edge)
        picture = picture.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace zembrix
