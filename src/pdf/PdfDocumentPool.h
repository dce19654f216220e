#pragma once

#include "PdfDocument.h"

#include <QDateTime>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace zembrix {

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
    // `password` opens an encrypted file (kept in memory for the copies only).
    static std::shared_ptr<PdfDocumentPool> create(const QString &path, const QByteArray &password = {});

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

    // The walk's own document, once the library has repaired it (see
    // PdfDocument::repaired): copies opened anew could read other objects
    // under the numbers the walk noted, so from now on every lease gets this
    // one, one at a time, and no copy is opened. It stays the walk's until
    // the walk hands it over.
    void adoptRepaired(std::shared_ptr<PdfDocument> walkDocument);
    void handOverRepaired();

private:
    PdfDocumentPool(const QString &path, const QByteArray &password);
    void giveBack(std::shared_ptr<PdfDocument> document);
    bool fileUnchanged() const;

    static constexpr size_t kIdleDocuments = 2;

    const QString m_path;
    const QByteArray m_password;
    qint64 m_size = -1;
    QDateTime m_modified;
    std::mutex m_mutex;
    std::condition_variable m_repairedFree;
    std::vector<std::shared_ptr<PdfDocument>> m_idle;
    std::shared_ptr<PdfDocument> m_repaired;
    bool m_repairedBusy = false;
};

} // namespace zembrix
