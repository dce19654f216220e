#include "QueuedExportWriter.h"

#include "ExportFormat.h"

#include <QThreadPool>

#include <memory>

QueuedExportWriter::QueuedExportWriter(Post post)
    : m_post(std::move(post))
{
}

void QueuedExportWriter::write(ExportRequest request, Done done)
{
    const bool heic = request.formatIndex == ExportFormat::Heic && request.encoded.isEmpty();
    // The request holds the picture; the closure owns it until written.
    auto task = [request = std::move(request), done = std::move(done)] { done(saveImage(request)); };
    if (heic) {
        QThreadPool::globalInstance()->start(std::move(task));
        return;
    }
    if (m_post) {
        m_post(std::move(task));
        return;
    }
    task();
}

