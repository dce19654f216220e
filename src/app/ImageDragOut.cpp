#include "ImageDragOut.h"

#include "export/ExportFileName.h"
#include "images/PDFImageStruct.h"
#include "images/PoolStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageWriter>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace zembrix {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

// A drag's folder, removed with the application object.
class DragFolder : public QObject
{
public:
    DragFolder()
        : QObject(QCoreApplication::instance())
        , dir(QDir::tempPath() + QStringLiteral("/zembrix-drag-XXXXXX"))
    {
    }
    QTemporaryDir dir;
};

} // namespace

struct ImageDragOut::State {
    std::mutex mutex;
    std::condition_variable done;
    int left = 0;
    // By position, set before the writing starts; `written` under the mutex.
    QList<QUrl> files;
    ImageRecordList records;
    std::vector<bool> written;
};

ImageDragOut::ImageDragOut(const ImageRecordList &records, QThreadPool &pool)
    : m_state(std::make_shared<State>())
{
    auto *folder = new DragFolder;
    if (!folder->dir.isValid())
        return;
    const QDir dir(folder->dir.path());
    QStringList names;
    for (const auto &record : records) {
        if (!record || m_state->records.size() >= kMaxImages)
            continue;
        const QString base =
            exportFileName(record->imagename().isEmpty() ? QStringLiteral("image") : record->imagename());
        QString name = fittedFileName(base, QStringLiteral(".png"));
        for (int n = 2; names.contains(name, Qt::CaseInsensitive); ++n)
            name = fittedFileName(base, QStringLiteral(" (%1).png").arg(n));
        names << name;
        m_state->records << record;
        m_state->files << QUrl::fromLocalFile(dir.filePath(name));
    }
    m_state->left = int(m_state->records.size());
    m_state->written.assign(m_state->records.size(), false);
    for (qsizetype i = 0; i < m_state->records.size(); ++i) {
        startOnPool(pool, [state = m_state, i] {
            const QImage picture = state->records.at(i)->applyAllEffects();
            QSaveFile file(state->files.at(i).toLocalFile());
            const bool written = !picture.isNull() && file.open(QIODevice::WriteOnly)
                                 && QImageWriter(&file, "png").write(picture) && file.commit();
            std::lock_guard lock(state->mutex);
            state->written[size_t(i)] = written;
            if (--state->left == 0)
                state->done.notify_all();
        });
    }
}

ImageDragOut::~ImageDragOut() = default;

QStringList ImageDragOut::formats() const
{
    return {kUriList};
}

bool ImageDragOut::hasFormat(const QString &mimeType) const
{
    return mimeType == kUriList;
}

QList<QUrl> ImageDragOut::writtenFiles() const
{
    std::unique_lock lock(m_state->mutex);
    m_state->done.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] { return m_state->left == 0; });
    QList<QUrl> urls;
    for (qsizetype i = 0; i < m_state->files.size(); ++i)
        if (m_state->written[size_t(i)])
            urls << m_state->files.at(i);
    return urls;
}

void ImageDragOut::noteDropped() const
{
    const QList<QUrl> written = writtenFiles();
    std::lock_guard lock(m_state->mutex);
    for (qsizetype i = 0; i < m_state->records.size(); ++i)
        if (written.contains(m_state->files.at(i)))
            m_state->records.at(i)->markExported();
}

QVariant ImageDragOut::retrieveData(const QString &mimeType, QMetaType type) const
{
    if (mimeType != kUriList)
        return QMimeData::retrieveData(mimeType, type);
    QVariantList urls;
    for (const QUrl &url : writtenFiles())
        urls << url;
    return urls;
}

} // namespace zembrix
