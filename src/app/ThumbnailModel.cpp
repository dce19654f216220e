#include "ThumbnailModel.h"

#include "ThumbnailLoader.h"

#include "images/PDFImageStruct.h"

#include <QDateTime>
#include <QLoggingCategory>

namespace zembrix {

// QT_LOGGING_RULES="zembrix.thumbnails.debug=true" prints when rows and
// thumbnails arrive (wall-clock milliseconds), for timing the browser.
Q_LOGGING_CATEGORY(lcThumbnails, "zembrix.thumbnails", QtWarningMsg)

namespace {
// Bytes of thumbnails kept: about 300 large or 7000 small ones.
constexpr qsizetype kCacheBytes = 256 * 1024 * 1024;
} // namespace

ThumbnailModel::ThumbnailModel(ThumbnailLoader *loader, QObject *parent)
    : QAbstractListModel(parent)
    , m_loader(loader)
    , m_cache(kCacheBytes)
{
    connect(m_loader, &ThumbnailLoader::thumbnailReady, this, &ThumbnailModel::thumbnailReady);
}

int ThumbnailModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

std::shared_ptr<PDFImageStruct> ThumbnailModel::recordAt(int row) const
{
    return row >= 0 && row < m_records.size() ? m_records[row] : nullptr;
}

int ThumbnailModel::rowOfRecord(quint64 recordId) const
{
    return m_rowOfRecord.value(recordId, -1);
}

QVariant ThumbnailModel::data(const QModelIndex &index, int role) const
{
    const std::shared_ptr<PDFImageStruct> record = recordAt(index.row());
    if (!record || index.parent().isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole: return record->imagename();
    case Qt::ToolTipRole: {
        const ImageSource source = record->source();
        QStringList facts;
        if (source.page > 0)
            facts << tr("page %1").arg(source.page);
        facts << QStringLiteral("%1 \u00d7 %2").arg(qint64(source.width)).arg(qint64(source.height));
        if (!source.objectKey.isEmpty())
            facts << tr("object %1").arg(source.objectKey);
        return record->imagename() + QLatin1Char('\n') + facts.join(QStringLiteral("  \u00b7  "));
    }
    case RecordIdRole: return QVariant::fromValue(record->recordId());
    case ThumbnailRole:
    case ThumbnailStateRole: {
        const quint64 version = record->imageVersion();
        const CacheEntry *entry = m_cache.object(record->recordId());
        const bool current = entry && entry->version == version && entry->edge >= m_edge;
        if (!current)
            m_loader->request(record, version, m_edge);
        if (role == ThumbnailRole)
            return entry ? entry->image : QImage();
        if (!entry)
            return Waiting;
        return entry->image.isNull() ? (current ? NoPicture : Waiting) : Ready;
    }
    default: return {};
    }
}

void ThumbnailModel::setRecords(const ImageRecordList &records)
{
    const qsizetype oldSize = m_records.size();
    const qsizetype newSize = records.size();
    const qsizetype shorter = std::min(oldSize, newSize);
    qsizetype prefix = 0;
    while (prefix < shorter && m_records[prefix] == records[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && m_records[oldSize - 1 - suffix] == records[newSize - 1 - suffix])
        ++suffix;

    if (prefix == oldSize && prefix == newSize) {
        // Same records: only versions may have changed.
    } else if (prefix + suffix == oldSize) {
        const int first = int(prefix);
        const int last = int(prefix + newSize - oldSize - 1);
        beginInsertRows({}, first, last);
        m_records = records;
        std::vector<quint64> known(size_t(newSize), 0);
        std::copy(m_knownVersions.begin(), m_knownVersions.begin() + prefix, known.begin());
        std::copy(m_knownVersions.end() - suffix, m_knownVersions.end(), known.end() - suffix);
        for (int r = first; r <= last; ++r)
            known[size_t(r)] = records[r]->imageVersion();
        m_knownVersions = std::move(known);
        rebuildRowIndex();
        endInsertRows();
    } else if (prefix + suffix == newSize) {
        beginRemoveRows({}, int(prefix), int(prefix + oldSize - newSize - 1));
        m_records = records;
        m_knownVersions.erase(m_knownVersions.begin() + prefix, m_knownVersions.begin() + prefix + (oldSize - newSize));
        rebuildRowIndex();
        endRemoveRows();
    } else {
        beginResetModel();
        m_records = records;
        m_knownVersions.assign(size_t(newSize), 0);
        for (qsizetype r = 0; r < newSize; ++r)
            m_knownVersions[size_t(r)] = records[r]->imageVersion();
        rebuildRowIndex();
        m_loader->cancelAll();
        endResetModel();
    }

    qCDebug(lcThumbnails, "%lld rows %lld", QDateTime::currentMSecsSinceEpoch(), qint64(m_records.size()));
    // Edited records: their rows alone are drawn again, in contiguous runs.
    int runStart = -1;
    for (int r = 0; r <= int(m_records.size()); ++r) {
        bool changed = false;
        if (r < m_records.size()) {
            const quint64 version = m_records[r]->imageVersion();
            changed = version != m_knownVersions[size_t(r)];
            m_knownVersions[size_t(r)] = version;
        }
        if (changed && runStart < 0)
            runStart = r;
        if (!changed && runStart >= 0) {
            emit dataChanged(index(runStart), index(r - 1), {ThumbnailRole, ThumbnailStateRole});
            runStart = -1;
        }
    }
}

void ThumbnailModel::refreshNames()
{
    if (!m_records.isEmpty())
        emit dataChanged(index(0), index(int(m_records.size()) - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

void ThumbnailModel::setThumbnailEdge(int edge)
{
    if (edge == m_edge)
        return;
    m_edge = edge;
    m_loader->cancelAll();
    if (!m_records.isEmpty())
        emit dataChanged(index(0), index(int(m_records.size()) - 1), {ThumbnailRole, ThumbnailStateRole});
}

void ThumbnailModel::thumbnailReady(quint64 recordId, quint64 version, int edge, const QImage &image)
{
    CacheEntry *old = m_cache.object(recordId);
    // An answer for an older version or a smaller size does not replace a
    // better picture already there.
    if (old && (old->version > version || (old->version == version && old->edge > edge)))
        return;
    m_cache.insert(recordId, new CacheEntry{version, edge, image}, std::max<qsizetype>(1, image.sizeInBytes()));
    const int row = rowOfRecord(recordId);
    qCDebug(lcThumbnails, "%lld thumbnail of row %d of %lld ready", QDateTime::currentMSecsSinceEpoch(), row,
            qint64(m_records.size()));
    if (row >= 0)
        emit dataChanged(index(row), index(row), {ThumbnailRole, ThumbnailStateRole});
}

void ThumbnailModel::rebuildRowIndex()
{
    m_rowOfRecord.clear();
    m_rowOfRecord.reserve(m_records.size());
    for (qsizetype r = 0; r < m_records.size(); ++r)
        m_rowOfRecord.insert(m_records[r]->recordId(), int(r));
}

} // namespace zembrix
