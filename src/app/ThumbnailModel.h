#pragma once

#include "ThumbnailSequence.h"

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QImage>

#include <vector>

namespace zembrix {

class ThumbnailLoader;

// The thumbnail browser's model: one row per image of the thumbnail
// sequence, as it was at the last refresh. data() answers from a cache and
// never renders: a missing or outdated thumbnail is asked of the loader, and
// the row's dataChanged follows when it arrives. The cache is keyed by the
// record's identity and holds the version and edge it was rendered at, so an
// edit (a new version) re-renders that record alone. Main thread.
class ThumbnailModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        ThumbnailRole = Qt::UserRole + 1, // QImage; null while none is ready
        RecordIdRole,                     // quint64
        ThumbnailStateRole,               // ThumbnailState
    };
    enum ThumbnailState { Waiting, Ready, NoPicture };
    Q_ENUM(ThumbnailState)

    explicit ThumbnailModel(ThumbnailLoader *loader, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Takes a new sequence. Rows that stay keep their place in the view:
    // records appended, or a block inserted or removed in one place, become
    // row insertions or removals; anything else resets the model. Rows whose
    // record has a new version get dataChanged.
    void setRecords(const ImageRecordList &records);
    const ImageRecordList &records() const { return m_records; }
    // The image names may have changed (a new name pattern).
    void refreshNames();
    std::shared_ptr<PDFImageStruct> recordAt(int row) const;
    int rowOfRecord(quint64 recordId) const;

    // The edge of the thumbnails asked for; a larger edge re-renders rows as
    // they are shown.
    void setThumbnailEdge(int edge);
    int thumbnailEdge() const { return m_edge; }

private:
    struct CacheEntry {
        quint64 version = 0;
        int edge = 0;
        QImage image;
    };

    void thumbnailReady(quint64 recordId, quint64 version, int edge, const QImage &image);
    void rebuildRowIndex();

    ThumbnailLoader *m_loader;
    ImageRecordList m_records;
    std::vector<quint64> m_knownVersions; // per row: the version last announced
    QHash<quint64, int> m_rowOfRecord;
    mutable QCache<quint64, CacheEntry> m_cache;
    int m_edge = 96;
};

} // namespace zembrix
