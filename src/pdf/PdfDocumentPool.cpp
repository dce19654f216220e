#include "PdfDocumentPool.h"

#include <QFileInfo>

namespace zembrix {

PdfDocumentPool::PdfDocumentPool(const QString &path, const QByteArray &password)
    : m_path(path)
    , m_password(password)
{
    const QFileInfo info(path);
    if (info.isFile()) {
        m_size = info.size();
        m_modified = info.lastModified();
    }
}

std::shared_ptr<PdfDocumentPool> PdfDocumentPool::create(const QString &path, const QByteArray &password)
{
    return std::shared_ptr<PdfDocumentPool>(new PdfDocumentPool(path, password));
}

bool PdfDocumentPool::fileUnchanged() const
{
    const QFileInfo info(m_path);
    return m_size >= 0 && info.isFile() && info.size() == m_size && info.lastModified() == m_modified;
}

PdfDocumentPool::Lease PdfDocumentPool::lease()
{
    if (!fileUnchanged())
        return Lease(shared_from_this(), nullptr);
    {
        std::unique_lock lock(m_mutex);
        if (m_repaired) {
            m_repairedFree.wait(lock, [this] { return !m_repairedBusy; });
            m_repairedBusy = true;
            return Lease(shared_from_this(), m_repaired);
        }
        if (!m_idle.empty()) {
            std::shared_ptr<PdfDocument> document = std::move(m_idle.back());
            m_idle.pop_back();
            return Lease(shared_from_this(), std::move(document));
        }
    }
    std::shared_ptr<PdfDocument> document = PdfDocument::open(m_path, m_password);
    return Lease(shared_from_this(), std::move(document));
}

void PdfDocumentPool::adoptRepaired(std::shared_ptr<PdfDocument> walkDocument)
{
    std::lock_guard lock(m_mutex);
    if (m_repaired || !walkDocument)
        return;
    m_repaired = std::move(walkDocument);
    m_repairedBusy = true;
    m_idle.clear();
}

void PdfDocumentPool::handOverRepaired()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_repaired)
            return;
        m_repairedBusy = false;
    }
    m_repairedFree.notify_one();
}

void PdfDocumentPool::giveBack(std::shared_ptr<PdfDocument> document)
{
    std::unique_lock lock(m_mutex);
    if (document == m_repaired) {
        m_repairedBusy = false;
        lock.unlock();
        m_repairedFree.notify_one();
        return;
    }
    if (m_repaired)
        return;
    if (m_idle.size() < kIdleDocuments)
        m_idle.push_back(std::move(document));
}

PdfDocumentPool::Lease::Lease(std::shared_ptr<PdfDocumentPool> pool, std::shared_ptr<PdfDocument> document)
    : m_pool(std::move(pool))
    , m_document(std::move(document))
{
}

PdfDocumentPool::Lease::~Lease()
{
    if (m_pool && m_document)
        m_pool->giveBack(std::move(m_document));
}

} // namespace zembrix
