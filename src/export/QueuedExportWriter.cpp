#include "QueuedExportWriter.h"

#include "ExportFormat.h"
#include "ImageFileWriter.h"

#include <QThreadPool>

#include <memory>

QueuedExportWriter::QueuedExportWriter(Post post)
    : m_post(std::move(post))
{
}

void QueuedExportWriter::write(ExportRequest request, Done done)
{
    const bool heic = request.formatIndex == ExportFormat::Heic && request.encoded.isEmpty();
    if (heic) {
        // The request holds the picture; the closure owns it until written.
        QThreadPool::globalInstance()->start(
            [request = std::move(request), done = std::move(done)] { done(saveImage(request)); });
        return;
    }
    if (m_post) {
        if (request.cancelled && request.cancelled()) {
            done(WriteResult::nothingWritten(QStringLiteral("cancelled")));
            return;
        }
        // The encoding is the long part: it runs here, on the job's worker
        // thread, and only the finished bytes wait for the writing thread. An
        // encoder that fails is left to the write, which reports it.
        if (request.encoded.isEmpty()) {
            QByteArray bytes = encodeImageFile(request.image, request.formatIndex, request.dpi);
            if (!bytes.isEmpty()) {
                request.encoded = std::move(bytes);
                request.image = QImage();
            }
        }
        m_post([request = std::move(request), done = std::move(done)] { done(saveImage(request)); });
        return;
    }
    done(saveImage(request));
}

