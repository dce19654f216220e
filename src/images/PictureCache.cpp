#include "PictureCache.h"

namespace zembrix {

QImage PictureCache::picture(quint64 key, const std::function<QImage()> &build)
{
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_index.find(key);
        if (found != m_index.end()) {
            m_entries.splice(m_entries.begin(), m_entries, found->second);
            return found->second->image;
        }
    }
    QImage built = build();
    if (built.isNull())
        return built;
    std::lock_guard lock(m_mutex);
    const auto found = m_index.find(key);
    if (found != m_index.end()) {
        // Built twice at once: the first one stays.
        m_entries.splice(m_entries.begin(), m_entries, found->second);
        return found->second->image;
    }
    const qint64 bytes = built.sizeInBytes();
    m_entries.push_front({key, built, bytes});
    m_index[key] = m_entries.begin();
    m_bytes += bytes;
    evictLocked();
    return built;
}

void PictureCache::evictLocked()
{
    for (auto it = m_entries.end(); m_bytes > m_limit && it != m_entries.begin();) {
        --it;
        // Held elsewhere too (the caller's copy of the picture just made
        // counts): in use, so kept.
        if (!it->image.isDetached())
            continue;
        m_bytes -= it->bytes;
        m_index.erase(it->key);
        it = m_entries.erase(it);
    }
}

void PictureCache::insert(quint64 key, const QImage &image)
{
    remove(key);
    if (image.isNull())
        return;
    std::lock_guard lock(m_mutex);
    const qint64 bytes = image.sizeInBytes();
    m_entries.push_front({key, image, bytes});
    m_index[key] = m_entries.begin();
    m_bytes += bytes;
    evictLocked();
}

void PictureCache::remove(quint64 key)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_index.find(key);
    if (found == m_index.end())
        return;
    m_bytes -= found->second->bytes;
    m_entries.erase(found->second);
    m_index.erase(found);
}

void PictureCache::clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_index.clear();
    m_bytes = 0;
}

void PictureCache::setLimit(qint64 limitBytes)
{
    std::lock_guard lock(m_mutex);
    m_limit = limitBytes;
    evictLocked();
}

} // namespace zembrix
