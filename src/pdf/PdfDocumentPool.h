#pragma once

#include "PdfDocument.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <mutex>
#include <vector>

// Open copies of one PDF file for the threads that build its pictures again
// after the walk. A document belongs to one thread at a time, so each build
// leases a copy of its own: an idle one, or a newly opened one. A few idle
// copies are kept open for the next builds.
//
// The file must be the one the walk read: when its size or modification time
// has changed since the pool was made, nothing is opened (the pictures can no
// longer be built). Any thread.
class PdfDocumentPool : public std::enable_shared_from_this<PdfDocumentPool>
{
public:
    static std::shared_ptr<PdfDocumentPool> create(const QString &path);

    class Lease
    {
    public:
        Lease() = default;
        Lease(std::shared_ptr<PdfDocumentPool> pool, std::shared_ptr<PdfDocument> document);
        ~Lease();
        Lease(Lease &&) = default;
        Lease &operator=(Lease &&) = delete;
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;
        PdfDocument *document() const { return m_document.get(); }

    private:
        std::shared_ptr<PdfDocumentPool> m_pool;
        std::shared_ptr<PdfDocument> m_document;
    };

    // A document of the file for this thread's use while the lease lives;
    // document() is null when the file cannot be opened (or has changed).
    Lease lease();

private:
    explicit PdfDocumentPool(const QString &path);
    void giveBack(std::shared_ptr<PdfDocument> document);
    bool fileUnchanged() const;

    static constexpr size_t kIdleDocuments = 2;

    const QString m_path;
    qint64 m_size = -1;
    QDateTime m_modified;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<PdfDocument>> m_idle;
};
