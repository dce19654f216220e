#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace zembrix {

class PDFImageStruct;

// Renders thumbnails on worker threads. A request names a record, the
// version it should show and an edge length; the answer comes later, on the
// main thread, as thumbnailReady. Requests are served newest first, so the
// thumbnails on screen come before those scrolled past; a request for a
// record already waiting replaces the older one. Workers hold records weakly:
// a record that is gone by then is skipped.
//
// This is the only place that asks a record for a picture for display.
//
// Threads: request, cancelAll and the signal are on the main thread; render
// runs on workers of the application's pool, which the loader shares and
// does not own; the loader's end waits for its own renderings only.
class ThumbnailLoader : public QObject
{
    Q_OBJECT
public:
    explicit ThumbnailLoader(QThreadPool &pool, QObject *parent = nullptr);
    ~ThumbnailLoader() override;

    void request(const std::shared_ptr<PDFImageStruct> &record, quint64 version, int edge);
    // Drops every request not yet started; started ones still answer.
    void cancelAll();
    // Requests not yet answered.
    int pendingCount() const { return int(m_pending.size()); }
    // Renderings done since the loader was made.
    quint64 renderCount() const { return m_renderCount.load(); }

    // The record's thumbnail: its reduced copy with the edits, no larger than
    // `edge` on either side, premultiplied ARGB. Null when the record has no
    // picture. Any thread; never on the main one.
    static QImage render(const PDFImageStruct &record, int edge);

signals:
    void thumbnailReady(quint64 recordId, quint64 version, int edge, const QImage &image);

private:
    struct Request {
        std::weak_ptr<PDFImageStruct> record;
        quint64 recordId = 0;
        quint64 version = 0;
        int edge = 0;
    };
    struct Pending {
        quint64 version = 0;
        int edge = 0;
    };

    struct Finished {
        Request request;
        QImage image;
    };

    void runOne();
    // Answers the renderings the workers finished (main thread). They are
    // handed over through m_finished rather than inside the queued call, so
    // that the hand-over is under a lock of our own.
    Q_INVOKABLE void takeFinished();
    void finished(const Request &request, const QImage &image);

    QThreadPool &m_pool;
    std::mutex m_queueMutex; // guards m_queue and m_tasks
    std::condition_variable m_tasksEnded;
    int m_tasks = 0; // runOne tasks started and not yet ended
    std::vector<Request> m_queue;
    std::mutex m_finishedMutex; // guards m_finished
    std::vector<Finished> m_finished;
    QHash<quint64, Pending> m_pending; // main thread
    std::atomic<bool> m_closing{false};
    std::atomic<quint64> m_renderCount{0};
};

} // namespace zembrix
