#include "QueuedExportWriter.h"

#include "ExportFormat.h"
#include "ImageFileWriter.h"

#include <memory>

namespace zembrix {

QueuedExportWriter::QueuedExportWriter(Post post, Post heicPost)
    : m_post(std::move(post))
    , m_heicPost(std::move(heicPost))
{
}

void QueuedExportWriter::write(ExportRequest request, Done done)
{
    const bool heic = request.formatIndex == ExportFormat::Heic && request.encoded.isEmpty();
    if ((heic || m_post) && request.cancelled && request.cancelled()) {
        done(WriteResult::nothingWritten(QStringLiteral("cancelled")));
        return;
    }
    if (heic && m_heicPost) {
        // The request holds the picture; the closure owns it until written.
        m_heicPost([request = std::move(request), done = std::move(done)] { done(saveImage(request)); });
        return;
    }
    if (heic) {
        done(saveImage(request));
        return;
    }
    if (m_post) {
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

} // namespace zembrix
