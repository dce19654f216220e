#pragma once

#include "images/LockedAccess.h"

#include <QImage>
#include <QtGlobal>

#include <functional>
#include <list>
#include <mutex>
#include <unordered_map>

namespace zembrix {

// The full-size pictures decoded on demand, shared by all image records and
// keyed by record identity. The cache is bounded in bytes and evicts the
// least recently used picture first. A picture somebody still holds (a
// rendering or an export in progress keeps its QImage) is never evicted: its
// pixels stay alive anyway, so dropping it would only make the next request
// decode it a second time. While every picture is held the cache may exceed
// its bound by those pictures. Any thread.
class PictureCache
{
public:
    static constexpr qint64 kDefaultLimit = qint64(512) << 20;

    explicit PictureCache(qint64 limitBytes = kDefaultLimit)
        : m_limit(limitBytes)
    {
    }
    PictureCache(const PictureCache &) = delete;
    PictureCache &operator=(const PictureCache &) = delete;

    // The picture of `key`, built by `build` (outside the cache's lock) when
    // it is not cached. A null picture is given back but not cached.
    QImage picture(quint64 key, const std::function<QImage()> &build);
    // Keeps an already built picture of `key` (replacing one cached before).
    void insert(quint64 key, const QImage &image);
    void remove(quint64 key);
    void clear();

    qint64 bytes() const { return lockedCopy(m_mutex, m_bytes); }
    qint64 limit() const { return lockedCopy(m_mutex, m_limit); }
    void setLimit(qint64 limitBytes);

private:
    struct Entry {
        quint64 key;
        QImage image;
        qint64 bytes;
    };
    void evictLocked();

    mutable std::mutex m_mutex;
    qint64 m_limit;
    qint64 m_bytes = 0;
    std::list<Entry> m_entries; // most recently used first
    std::unordered_map<quint64, std::list<Entry>::iterator> m_index;
};

} // namespace zembrix
