#pragma once

#include "ThumbnailSequence.h"

#include <QMimeData>
#include <QUrl>

#include <memory>

class QThreadPool;

namespace zembrix {

// What a drag of thumbnails out of the window carries: the images as PNG
// files with their edits, in a folder of their own under the temporary
// folder. The files are rendered and written on the application's pool from
// the moment the drag starts; the program that takes the drop asks for the
// file list, and that request waits until they are written (at most
// kWaitMs; the files finished by then are given). A drag carries at most
// kMaxImages images. The folders stay until the program ends, as the taker
// may copy the files after the drop. Main thread.
class ImageDragOut : public QMimeData
{
    Q_OBJECT
public:
    static constexpr int kMaxImages = 200;
    static constexpr int kWaitMs = 30000;

    ImageDragOut(const ImageRecordList &records, QThreadPool &pool);
    ~ImageDragOut() override;

    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;
    // Waits for the files and gives them (the drop was taken).
    QList<QUrl> writtenFiles() const;
    // Marks the dragged images as exported (after a drop that was taken).
    void noteDropped() const;

    struct State;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    std::shared_ptr<State> m_state;
};

} // namespace zembrix
