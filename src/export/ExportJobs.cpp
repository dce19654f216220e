#include "ExportJobs.h"

#include "ExportResolution.h"

#include "ExportFolder.h"
#include "ExportFormat.h"
#include "ExportPathClaims.h"
#include "IconFamily.h"
#include "OriginalFile.h"
#include "PictureDigest.h"

#include "images/CoreContext.h"
#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"

#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

namespace zembrix {

namespace {

enum class JobKind { Images, IconFamilies };

// Why an image was skipped: a file of an earlier export is kept under its name.
QString earlierFileKept()
{
    return QStringLiteral("an earlier file is kept");
}

} // namespace

// Shared by the handles, the job's tasks and the writer's completions; the
// last of them to let go destroys it.
struct ExportJob::State : std::enable_shared_from_this<ExportJob::State> {
    std::shared_ptr<CoreContext> context;
    JobKind kind = JobKind::Images;
    int formatIndex = ExportFormat::Png;
    float dpi = 72.0f;
    ExportJobSettings settings;

    // The estimated bytes of the pictures in flight, and each image's share.
    std::mutex memoryMutex;
    std::condition_variable memoryFreed;
    qint64 bytesInFlight = 0;
    std::vector<qint64> reservedBytes;
    bool memoryWaits = true; // false when the job runs on its starting thread

    // skipDuplicates: the pictures are looked up in job order, each once
    // every image before it is (or has no picture). The first image not yet
    // looked up never waits for memory, so the workers waiting here for it
    // cannot hold it up.
    std::mutex gateMutex;
    std::condition_variable gateMoved;
    std::vector<char> gatePassed;
    std::atomic<int> gateLow{0}; // every position below it is looked up
    QHash<QByteArray, int> firstOfDigest;

    mutable std::mutex mutex; // guards result, reported, done
    std::mutex callbackMutex; // held while callbacks are delivered: one at a time, in order
    std::mutex progressMutex; // guards progressShown and orders the progress calls
    int progressShown = 0;
    std::atomic<bool> cancelled{false};
    std::shared_ptr<ExportPathClaims>
        claims; // the job's file names, planned in run() and taken on disk before each write
    std::condition_variable doneChanged;
    ExportJobResult result; // images filled with record, file and position when planned
    int reported = 0;       // images, in job order, whose imageFinished callback has returned
    bool done = false;

    // The images' planned paths (written before the workers start) and the
    // next position a worker takes.
    std::vector<QString> paths;
    std::atomic<int> next{0};

    void start();
    void run();
    void work();
    void simplySave(int position, const QString &claimedPath);
    void reserveMemory(int position, const PDFImageStruct &record);
    void passGate(int position);
    bool skippedAsDuplicate(int position, const QImage &picture);
    void releaseMemory(int position);
    void finishImage(int position, const QString &path, const WriteResult &outcome, const QString &note = {});
    std::optional<OriginalFile> originalFileOf(const PDFImageStruct &record, float fileDpi, QString *reason) const;
    void complete();
};

void ExportJob::State::start()
{
    // The writers load Qt's image plugins, which belong to Qt's main thread:
    // the first thread that asks Qt for its thread. When nothing has asked yet
    // (no application object, as in a test program), that must be the
    // starting thread and not a worker of the pool.
    QThread::currentThread();

    CoreEvents &events = context->events();
    events.setSpinTitle(settings.spinTitle);
    events.startSpinAnimation();
    if (context->start([self = shared_from_this()] { self->run(); }))
        return;
    // No pool: the job runs on the caller's thread instead, which may be the
    // one a queued writer needs to free memory.
    memoryWaits = false;
    run();
}

void ExportJob::State::run()
{
    const int total = result.total; // fixed when planned
    context->events().exportProgress(0, total);

    if (!ensureExportFolder(settings.folder)) {
        context->events().showAlert(noFolderAlertMessage(), noFolderAlertText(settings.folder));
        {
            std::lock_guard lock(mutex);
            result.folderMissing = true;
            for (ExportedImage &image : result.images) {
                image.finished = true;
                image.result = WriteResult::nothingWritten(QStringLiteral("no export folder"));
            }
            result.finished = total;
        }
        complete();
        return;
    }

    // Names are claimed in job order before any image is rendered, so the
    // collision suffixes do not depend on which worker finishes first.
    paths.assign(size_t(std::max(total, 0)), QString());
    claims->setExistingFiles(settings.existingFiles);
    claims->beginOnDisk(settings.folder, settings.replaceOlderFiles);
    {
        std::lock_guard lock(memoryMutex);
        reservedBytes.assign(size_t(std::max(total, 0)), 0);
    }
    {
        std::lock_guard lock(mutex);
        for (int position = 0; position < total; ++position) {
            const std::shared_ptr<PDFImageStruct> &record = result.images[size_t(position)].record;
            if (!record)
                continue;
            paths[size_t(position)] =
                kind == JobKind::IconFamilies
                    ? claims->claimWithExtension(settings.folder, record->imagename(), QStringLiteral("icns"))
                    : claims->claim(settings.folder, record->imagename(), formatIndex);
            result.images[size_t(position)].plannedPath = paths[size_t(position)];
        }
    }
    {
        std::lock_guard lock(gateMutex);
        gatePassed.assign(size_t(std::max(total, 0)), 0);
    }

    // Workers no larger in number than the machine's cores render, encode
    // and hand over the images; this task is one of them. The others are
    // tasks of the pool too. No task waits for another to start or end: a
    // worker that starts late finds every image taken, so a pool busy with
    // other work only makes the job slower.
    const int wanted = settings.workers > 0 ? settings.workers : QThread::idealThreadCount();
    const int workers = std::clamp(wanted, 1, std::max(total, 1));
    for (int i = 1; i < workers; ++i)
        if (!context->start([self = shared_from_this()] { self->work(); }))
            break;
    work();
    if (total == 0)
        complete();
}

void ExportJob::State::work()
{
    const int total = result.total;
    for (int position = next++; position < total; position = next++) {
        simplySave(position, paths[size_t(position)]);
        passGate(position);
    }
}

// Renders one record and hands it to the writer; every image ends in exactly
// one finishImage call, here or from the writer.
void ExportJob::State::simplySave(int position, const QString &claimedPath)
{
    std::shared_ptr<PDFImageStruct> record;
    {
        std::lock_guard lock(mutex);
        record = result.images[size_t(position)].record;
    }
    if (!record) {
        finishImage(position, {}, WriteResult::nothingWritten(QStringLiteral("no image record")));
        return;
    }
    if (cancelled.load()) {
        finishImage(position, {}, WriteResult::nothingWritten(QStringLiteral("cancelled")));
        return;
    }

    std::shared_ptr<State> self = shared_from_this();
    ExportRequest request;
    if (dpi == kPlacedDpi) {
        const double placed = record->source().xPpi;
        request.dpi = placed > 0 ? float(placed) : kDefaultExportDpi;
    } else {
        request.dpi = dpi;
    }
    request.cancelled = [self] { return self->cancelled.load(); };

    // The Original format: the stored file when there is one, else PNG.
    QString note;
    int fileFormat = formatIndex;
    QString filePath = claimedPath;
    bool lookedUp = false; // its picture was looked up among the earlier ones
    if (kind == JobKind::Images && formatIndex == ExportFormat::Original) {
        if (settings.skipDuplicates) {
            lookedUp = true;
            QImage picture;
            try {
                picture = record->image();
            } catch (...) {
            }
            if (skippedAsDuplicate(position, picture))
                return;
        }
        QString reason;
        if (std::optional<OriginalFile> original = originalFileOf(*record, request.dpi, &reason)) {
            request.formatIndex = ExportFormat::Original;
            request.encoded = std::move(original->bytes);
            request.path = claims->claimOnDisk(claimedPath + QLatin1Char('.') + original->extension);
            if (request.path.isEmpty()) {
                finishImage(position, {}, WriteResult::nothingWritten(earlierFileKept()));
                return;
            }
            const QString path = request.path;
            const QString written = original->note;
            settings.writer->write(std::move(request), [self, position, path, written](const WriteResult &outcome) {
                self->finishImage(position, path, outcome, written);
            });
            return;
        }
        note = QStringLiteral("written as PNG: %1").arg(reason);
        fileFormat = ExportFormat::Png;
        filePath = claimedPath + QStringLiteral(".png");
    }

    reserveMemory(position, *record);
    if (cancelled.load()) {
        finishImage(position, {}, WriteResult::nothingWritten(QStringLiteral("cancelled")));
        return;
    }
    QImage picture;
    try {
        picture = kind == JobKind::IconFamilies ? record->getNSImage() : record->getBitmapRepImg();
    } catch (const std::exception &e) {
        const QString reason = QString::fromLocal8Bit(e.what());
        context->events().showImageAlert(QStringLiteral("Rendering Error"), reason);
        finishImage(position, {}, WriteResult::failed(QStringLiteral("rendering"), -1, reason));
        return;
    } catch (...) {
        const QString reason = QStringLiteral("The picture could not be rendered.");
        context->events().showImageAlert(QStringLiteral("Rendering Error"), reason);
        finishImage(position, {}, WriteResult::failed(QStringLiteral("rendering"), -1, reason));
        return;
    }
    if (picture.isNull()) {
        finishImage(position, {}, WriteResult::nothingWritten(QStringLiteral("no picture")));
        return;
    }
    if (kind == JobKind::Images && !lookedUp && skippedAsDuplicate(position, picture))
        return;

    if (kind == JobKind::IconFamilies) {
        const std::optional<IconFamily> family = IconFamily::iconFamilyWithThumbnailsOfImage(picture);
        if (!family) {
            finishImage(position, {}, WriteResult::nothingWritten(QStringLiteral("no icon family could be built")));
            return;
        }
        request.formatIndex = ExportFormat::Icns;
        request.encoded = family->data();
        request.path = claimedPath;
    } else {
        if (!ExportFormat::isValidIndex(fileFormat)) {
            finishImage(position, {},
                        WriteResult::nothingWritten(QStringLiteral("no export format %1").arg(fileFormat)));
            return;
        }
        request.formatIndex = fileFormat;
        request.image = std::move(picture);
        request.path = filePath;
    }

    request.path = claims->claimOnDisk(request.path);
    if (request.path.isEmpty()) {
        finishImage(position, {}, WriteResult::nothingWritten(earlierFileKept()));
        return;
    }
    const QString path = request.path;
    settings.writer->write(std::move(request), [self, position, path, note](const WriteResult &outcome) {
        self->finishImage(position, path, outcome, note);
    });
}

// The record's stored coded data as a file of its own, or none with the
// reason in `reason`.
std::optional<OriginalFile> ExportJob::State::originalFileOf(const PDFImageStruct &record, float fileDpi,
                                                             QString *reason) const
{
    if (!record.effectParameters().isNeutral()) {
        *reason = QStringLiteral("it has edits");
        return std::nullopt;
    }
    std::optional<EmbeddedPicture> embedded;
    try {
        embedded = record.embeddedPicture();
    } catch (...) {
    }
    if (!embedded) {
        *reason = QStringLiteral("its data is not a JPEG, JPEG 2000 or fax file");
        return std::nullopt;
    }
    OriginalFile file = originalFile(*embedded, fileDpi);
    if (file.bytes.isEmpty()) {
        *reason = file.obstacle;
        return std::nullopt;
    }
    return file;
}

// Estimated from the image's size: the picture, its mask and the masked
// picture during the build (8 bytes a pixel at most together), which the
// encoders' working copies do not pass.
void ExportJob::State::reserveMemory(int position, const PDFImageStruct &record)
{
    const ImageSource source = record.source();
    const double estimate = std::max(0.0, source.width) * std::max(0.0, source.height) * 8.0;
    const qint64 limit = settings.picturesInFlightBytes;
    const qint64 bytes = estimate > 0x1p62 ? qint64(1) << 62 : qint64(estimate);
    std::unique_lock lock(memoryMutex);
    if (limit > 0 && memoryWaits)
        memoryFreed.wait(lock, [&] {
            return bytesInFlight == 0 || bytesInFlight + bytes <= limit || cancelled.load()
                   || (settings.skipDuplicates && gateLow.load() >= position);
        });
    bytesInFlight += bytes;
    reservedBytes[size_t(position)] = bytes;
}

void ExportJob::State::passGate(int position)
{
    if (!settings.skipDuplicates)
        return;
    {
        std::lock_guard lock(gateMutex);
        if (size_t(position) >= gatePassed.size() || gatePassed[size_t(position)])
            return;
        gatePassed[size_t(position)] = 1;
        int low = gateLow.load();
        while (size_t(low) < gatePassed.size() && gatePassed[size_t(low)])
            ++low;
        gateLow.store(low);
    }
    gateMoved.notify_all();
    {
        std::lock_guard lock(memoryMutex); // a worker may be between its test and its wait
    }
    memoryFreed.notify_all();
}

// With skipDuplicates: looks the picture up once every image before it has
// been, and finishes the image as a duplicate when an earlier one (or a known
// picture) is equal.
bool ExportJob::State::skippedAsDuplicate(int position, const QImage &picture)
{
    if (!settings.skipDuplicates)
        return false;
    if (picture.isNull()) {
        passGate(position);
        return false;
    }
    const QByteArray digest = pictureDigest(picture);
    bool duplicate = false;
    int first = -1;
    {
        std::unique_lock lock(gateMutex);
        gateMoved.wait(lock, [&] { return gateLow.load() >= position || cancelled.load(); });
        if (settings.knownDigests.contains(digest)) {
            duplicate = true;
        } else if (const auto found = firstOfDigest.constFind(digest); found != firstOfDigest.cend()) {
            duplicate = true;
            first = *found;
        } else {
            firstOfDigest.insert(digest, position);
        }
    }
    passGate(position);
    {
        std::lock_guard lock(mutex);
        ExportedImage &entry = result.images[size_t(position)];
        entry.pixelDigest = digest;
        entry.duplicate = duplicate;
        entry.duplicateOf = first;
    }
    if (duplicate)
        finishImage(position, {}, WriteResult::nothingWritten(QStringLiteral("duplicate")));
    return duplicate;
}

void ExportJob::State::releaseMemory(int position)
{
    {
        std::lock_guard lock(memoryMutex);
        if (size_t(position) >= reservedBytes.size() || reservedBytes[size_t(position)] == 0)
            return;
        bytesInFlight -= reservedBytes[size_t(position)];
        reservedBytes[size_t(position)] = 0;
    }
    memoryFreed.notify_all();
}

void ExportJob::State::finishImage(int position, const QString &path, const WriteResult &outcome, const QString &note)
{
    releaseMemory(position);
    const qint64 bytes = outcome.isWritten() ? QFileInfo(path).size() : 0;
    if (!outcome.isWritten() && !path.isEmpty())
        claims->release(path);
    const bool renderingFailed = outcome.isFailure() && outcome.domain() == QLatin1String("rendering");
    int total = 0;
    {
        std::lock_guard lock(mutex);
        ExportedImage &entry = result.images[size_t(position)];
        entry.finished = true;
        entry.path = path;
        entry.result = outcome;
        entry.bytes = bytes;
        entry.note = outcome.isWritten() ? note : QString();
        if (outcome.isWritten()) {
            if (entry.record)
                entry.record->markExported();
            ++result.filesWritten;
            result.bytesWritten += bytes;
        } else if (outcome.isFailure()) {
            ++result.failures;
        } else if (outcome.message() == earlierFileKept()) {
            ++result.skipped;
        }
        if (entry.duplicate)
            ++result.duplicates;
        ++result.finished;
        total = result.total;
    }

    if (outcome.isFailure() && !renderingFailed) {
        // Under the callback's lock: the alert and the callback may write to
        // one stream, and the workers must not do so at the same time.
        std::lock_guard callbackLock(callbackMutex);
        if (kind == JobKind::IconFamilies || formatIndex == ExportFormat::Heic)
            context->events().logImageFailure(outcome.message());
        else
            context->events().showImageAlert(QStringLiteral("File System Error"),
                                             QStringLiteral("Couldn't create file."));
    }
    {
        // Counted again under a lock of its own, so the figures never go backwards.
        std::lock_guard progressLock(progressMutex);
        context->events().exportProgress(++progressShown, total);
    }

    // Workers finish images in any order; the callback sees them one at a
    // time and in job order, each as soon as the images before it are done.
    bool last = false;
    {
        std::lock_guard callbackLock(callbackMutex);
        for (;;) {
            ExportedImage next;
            {
                std::lock_guard lock(mutex);
                if (reported >= result.total || !result.images[size_t(reported)].finished)
                    break;
                next = result.images[size_t(reported)];
            }
            if (settings.imageFinished)
                settings.imageFinished(next);
            std::lock_guard lock(mutex);
            last = ++reported == result.total;
        }
    }
    if (last)
        complete();
}

void ExportJob::State::complete()
{
    claims->endOnDisk();
    {
        std::lock_guard lock(mutex);
        result.cancelled = cancelled.load();
    }
    context->events().stopSpinAnimation();
    if (settings.jobFinished) {
        ExportJobResult snapshot;
        {
            std::lock_guard lock(mutex);
            snapshot = result;
        }
        settings.jobFinished(snapshot);
    }
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    doneChanged.notify_all();
}

void ExportJob::cancel() const
{
    if (!m_state)
        return;
    m_state->cancelled.store(true);
    // Workers waiting for memory or for earlier pictures go on, to finish their images as cancelled.
    {
        std::lock_guard lock(m_state->memoryMutex);
        m_state->memoryFreed.notify_all();
    }
    std::lock_guard lock(m_state->gateMutex);
    m_state->gateMoved.notify_all();
}

bool ExportJob::isFinished() const
{
    if (!m_state)
        return true;
    std::lock_guard lock(m_state->mutex);
    return m_state->done;
}

ExportJobResult ExportJob::result() const
{
    if (!m_state)
        return {};
    std::lock_guard lock(m_state->mutex);
    return m_state->result;
}

ExportJobResult ExportJob::wait() const
{
    if (!m_state)
        return {};
    ExportJobResult result;
    {
        std::unique_lock lock(m_state->mutex);
        m_state->doneChanged.wait(lock, [this] { return m_state->done; });
        result = m_state->result;
    }
    return result;
}

namespace {

std::shared_ptr<ExportJob::State> newState(std::shared_ptr<CoreContext> context, JobKind kind, int formatIndex,
                                           float dpi, ExportJobSettings settings)
{
    auto state = std::make_shared<ExportJob::State>();
    state->context = context ? std::move(context) : std::make_shared<CoreContext>();
    state->kind = kind;
    state->formatIndex = formatIndex;
    state->dpi = dpi;
    if (settings.spinTitle.isEmpty())
        settings.spinTitle =
            kind == JobKind::IconFamilies ? exportingImagesAsTitle(QStringLiteral("ICNS")) : exportingImagesTitle();
    if (!settings.writer)
        settings.writer = std::make_shared<DirectExportWriter>();
    state->claims = settings.claims ? settings.claims : std::make_shared<ExportPathClaims>();
    state->settings = std::move(settings);
    return state;
}

void plan(ExportJob::State &state, const std::shared_ptr<PDFImageStruct> &record,
          const std::shared_ptr<PDFFileStruct> &file)
{
    ExportedImage image;
    image.position = int(state.result.images.size());
    image.record = record;
    image.file = file;
    state.result.images.push_back(std::move(image));
    state.result.total = int(state.result.images.size());
}

ExportJob startJob(std::shared_ptr<ExportJob::State> state)
{
    state->start();
    return ExportJob(std::move(state));
}

} // namespace

ExportJob startSelectedImagesExport(std::shared_ptr<CoreContext> context, const ImageRecordList &records,
                                    int formatIndex, float dpi, ExportJobSettings settings)
{
    auto state = newState(std::move(context), JobKind::Images, formatIndex, dpi, std::move(settings));
    for (const auto &record : records)
        plan(*state, record, nullptr);
    return startJob(std::move(state));
}

ExportJob startAllImagesExport(std::shared_ptr<CoreContext> context, const FileRecordList &files, int formatIndex,
                               float dpi, ExportJobSettings settings)
{
    const auto leaveOut = settings.leaveOut;
    auto state = newState(std::move(context), JobKind::Images, formatIndex, dpi, std::move(settings));
    for (const auto &file : files) {
        if (!file || !file->IsSelected() || file->isThreading())
            continue;
        for (const auto &record : file->images())
            if (!(leaveOut && record && leaveOut(*record)))
                plan(*state, record, file);
    }
    return startJob(std::move(state));
}

ExportJob startIconFamilyExport(std::shared_ptr<CoreContext> context, const ImageRecordList &records,
                                ExportJobSettings settings)
{
    auto state = newState(std::move(context), JobKind::IconFamilies, ExportFormat::Icns, 72.0f, std::move(settings));
    for (const auto &record : records)
        plan(*state, record, nullptr);
    return startJob(std::move(state));
}

QString exportingImagesTitle()
{
    return QStringLiteral("Exporting images...");
}

QString exportingImagesAsTitle(const QString &name)
{
    return QStringLiteral("Exporting images as %1...").arg(name);
}

} // namespace zembrix
