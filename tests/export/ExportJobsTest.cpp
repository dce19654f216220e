#include "ExportTestDecoders.h"
#include "RecordingEvents.h"
#include "WaitUntil.h"

#include "export/ExportFormat.h"
#include "export/ExportJobs.h"
#include "export/ExportPathClaims.h"
#include "export/QueuedExportWriter.h"
#include "images/PDFImageStruct.h"
#include "images/PoolStart.h"
#include "pdf/PDFFileStruct.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QThreadPool>

#include <future>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using namespace zembrix;

using namespace exporttest;
using fixture::filesIn;

namespace {

std::shared_ptr<PDFImageStruct> record(const QString &name, const QImage &image)
{
    auto r = PDFImageStruct::create(nullptr);
    r->setImage(image);
    r->setImagename(name);
    ImageSource source;
    source.width = image.width();
    source.height = image.height();
    r->setSource(source);
    return r;
}

QImage solid(QRgb colour, int width = 8, int height = 6)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

std::shared_ptr<PDFFileStruct> fileRecord(const ImageRecordList &images, bool checked, bool parsing)
{
    auto file = std::make_shared<PDFFileStruct>(nullptr);
    file->setImages(images);
    file->setSelection(checked);
    file->setIsThreading(parsing);
    return file;
}

ExportJobSettings into(const QString &folder)
{
    ExportJobSettings settings;
    settings.folder = folder;
    return settings;
}

QRgb centrePixel(const QString &path)
{
    const QImage image(path);
    return image.isNull() ? 0u : image.pixel(image.width() / 2, image.height() / 2);
}

std::vector<std::pair<int, int>> countingUpTo(int total)
{
    std::vector<std::pair<int, int>> steps;
    for (int done = 0; done <= total; ++done)
        steps.emplace_back(done, total);
    return steps;
}

} // namespace

// A second job told to replace earlier files replaces the file of the first, but a job running at the same time numbers
// further; a cancelled write leaves no file. (Numbering within one job: PathClaimsStayInTheFolder.)
TEST(ExportJobs, JobsAtOnceNumberFurtherJobsAfterwardsReplace)
{
    RecordingEvents events;
    QTemporaryDir dir;
    const auto job = [&](QRgb colour, std::shared_ptr<ExportWriter> writer = nullptr) {
        ExportJobSettings settings = into(dir.path());
        settings.writer = std::move(writer);
        settings.existingFiles = ExportPathClaims::ExistingFiles::Replace;
        return startSelectedImagesExport(events.context(), {record("c", solid(colour))}, ExportFormat::Png, 72, std::move(settings));
    };
    job(0xFF101010).wait(), job(0xFF202020).wait();
    EXPECT_EQ(filesIn(dir.path()), QStringList{"c.png"});
    // The first job holds "c.png" while its writer waits: the second one takes "c (2).png", or,
    // with "c (2).png" there from the round before, "c (3).png".
    struct GateWriter final : ExportWriter { // writes once `open` is ready
        explicit GateWriter(std::shared_future<void> gate)
            : open(std::move(gate))
        {
        }
        std::shared_future<void> open;
        void write(ExportRequest r, Done done) override { open.wait(), DirectExportWriter().write(std::move(r), std::move(done)); }
    };
    for (const bool cancelFirst : {false, true}) {
        std::promise<void> gate;
        QFile::remove(dir.filePath("c.png"));
        const ExportJob first = job(0xFF303030, std::make_shared<GateWriter>(gate.get_future().share()));
        ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(dir.filePath("c.png")); }));
        EXPECT_EQ(job(0xFF404040).wait().filesWritten, 1);
        if (cancelFirst)
            first.cancel();
        gate.set_value();
        first.wait();
        EXPECT_EQ(centrePixel(dir.filePath("c.png")), cancelFirst ? 0u : 0xFF303030);
        EXPECT_EQ(centrePixel(dir.filePath(cancelFirst ? "c (3).png" : "c (2).png")), 0xFF404040);
    }
    EXPECT_EQ(filesIn(dir.path()), (QStringList{"c (2).png", "c (3).png"}));
}

// Names keep their dots and percent signs, but always give a file directly inside the folder.
TEST(ExportJobs, PathClaimsStayInTheFolder)
{
    ExportPathClaims claims;
    const std::pair<const char *, const char *> rows[] = {
        {"x.v1", "/out/x.v1.png"},
        {"x.v1", "/out/x.v1 (2).png"},
        {"100%1", "/out/100%1.png"},
        {"100%1", "/out/100%1 (2).png"},
        {"/etc/passwd", "/out/passwd.png"},
        {"../../up_000", "/out/up_000.png"},
        {"..", "/out/__.png"},
        {"a/..", "/out/a___.png"},
        {".._000", "/out/.._000.png"},
        {"dir/", "/out/dir.png"},
        {"", "/out/_.png"},
        {"x.v1 (2)", "/out/x.v1 (2) (2).png"},
    };
    for (const auto &[name, path] : rows)
        EXPECT_EQ(claims.claim(QStringLiteral("/out/"), QString::fromLatin1(name), ExportFormat::Png),
                  QString::fromLatin1(path));
    // "/out/./x.v1" is the same file as "/out/x.v1".
    EXPECT_EQ(claims.claim(QStringLiteral("/out/."), QStringLiteral("x.v1"), ExportFormat::Png),
              QStringLiteral("/out/x.v1 (3).png"));
    // The extension is part of the name: another format starts afresh.
    EXPECT_EQ(claims.claim(QStringLiteral("/out"), QStringLiteral("x.v1"), ExportFormat::Tiff),
              QStringLiteral("/out/x.v1.tiff"));
    EXPECT_TRUE(claims.claim(QStringLiteral("/out"), QStringLiteral("x"), ExportFormat::Count).isEmpty());
    // A name too long for a file is cut in its middle; its end, the counter and the extension stay.
    for (const char *end : {"\u00e9_007.png", "\u00e9_007 (2).png"}) {
        const QString path = claims.claim("/out", QString(300, u'\u00e9') + "_007", ExportFormat::Png);
        EXPECT_TRUE(path.startsWith("/out/\u00e9") && path.contains(u'\u2026') && path.endsWith(QString::fromUtf8(end))
                    && QFile::encodeName(QFileInfo(path).fileName()).size() == 255)
            << path.toStdString();
    }
}

// Only checked files whose parse has finished take part, in list order.
TEST(ExportJobs, AllImagesOfCheckedParsedFiles)
{
    RecordingEvents events;
    QTemporaryDir dir;
    const auto one = fileRecord({record("one_000", solid(0xFF100000)), record("one_001", solid(0xFF200000))}, true, false);
    const auto unchecked = fileRecord({record("unchecked_000", solid(0xFF300000))}, false, false);
    const auto parsing = fileRecord({record("parsing_000", solid(0xFF400000))}, true, true);
    const auto two = fileRecord({record("two_000", solid(0xFF500000)), record("two_001", solid(0xFF600000)),
                                 record("two_002", solid(0xFF700000))},
                                true, false);
    ExportJobSettings settings = into(dir.path());
    std::vector<int> finishedOrder;
    settings.imageFinished = [&finishedOrder](const ExportedImage &image) { finishedOrder.push_back(image.position); };
    int jobFinishedCalls = 0;
    settings.jobFinished = [&jobFinishedCalls](const ExportJobResult &) { ++jobFinishedCalls; };
    const ExportJobResult result =
        startAllImagesExport(events.context(), {one, unchecked, nullptr, parsing, two}, ExportFormat::Png, 72, std::move(settings)).wait();

    EXPECT_EQ(filesIn(dir.path()), (QStringList{"one_000.png", "one_001.png", "two_000.png", "two_001.png", "two_002.png"}));
    ASSERT_EQ(result.images.size(), 5u);
    const std::pair<std::shared_ptr<PDFFileStruct>, QRgb> expected[] = {
        {one, 0xFF100000},
        {one, 0xFF200000},
        {two, 0xFF500000},
        {two, 0xFF600000},
        {two, 0xFF700000},
    };
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(result.images[i].file, expected[i].first) << i;
        EXPECT_EQ(centrePixel(result.images[i].path), expected[i].second) << i;
    }
    EXPECT_EQ(finishedOrder, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(jobFinishedCalls, 1);
    EXPECT_EQ(events.progress(), countingUpTo(5));

    // Nothing to do still ends its busy period.
    EXPECT_EQ(startAllImagesExport(events.context(), {unchecked, parsing}, ExportFormat::Png, 72, into(dir.path())).wait().total, 0);
    EXPECT_EQ(events.openBusyPeriods(), 0);
}

// A file that cannot be created is reported (HEIC and icon families only
// logged) and the next image is still written; a record without a picture is
// passed over in silence.
TEST(ExportJobs, FailedWritesAreReportedAndTheJobGoesOn)
{
    const std::tuple<int, const char *, int> rows[] = {// format (-1: icon families), extension, alerts
                                                       {ExportFormat::Png, "png", 1},
                                                       {ExportFormat::Tiff, "tiff", 1},
                                                       {ExportFormat::Heic, "heic", 0},
                                                       {-1, "icns", 0}};
    for (const auto &[format, extension, alerts] : rows) {
        SCOPED_TRACE(extension);
        RecordingEvents events;
        QTemporaryDir dir;
        const QString blocked = dir.filePath(QStringLiteral("a.") + extension);
        // A folder where the file should go: no writer can replace it.
        ASSERT_TRUE(QDir().mkdir(blocked));
        const ImageRecordList records{record("a", solid(0xFFFF0000, 20, 20)), record("empty", QImage()),
                                      record("b", solid(0xFF0000FF, 20, 20))};
        ExportJobSettings settings = into(dir.path());
        settings.existingFiles = ExportPathClaims::ExistingFiles::Replace; // kept, it would go to "a (2)"
        const ExportJobResult result = (format < 0 ? startIconFamilyExport(events.context(), records, settings)
                                                   : startSelectedImagesExport(events.context(), records, format, 72, settings))
                                           .wait();
        EXPECT_EQ(events.alerts().size(), alerts);
        EXPECT_EQ(result.failures, 1);
        EXPECT_EQ(result.filesWritten, 1);
        ASSERT_EQ(result.images.size(), 3u);
        EXPECT_TRUE(result.images[0].result.isFailure());
        EXPECT_EQ(result.images[1].result.status(), WriteResult::Status::NothingWritten);
        EXPECT_TRUE(result.images[2].result.isWritten());
        const QByteArray written = readFile(dir.filePath(QStringLiteral("b.") + extension));
        EXPECT_FALSE(format < 0 ? icnsTypes(written).size() != 10 : decodeExportFile(format, written).isNull());
        EXPECT_EQ(filesIn(dir.path()).size(), 2);
        EXPECT_EQ(events.openBusyPeriods(), 0);
    }
}

// A missing folder is made when its parent exists; otherwise the job says so
// once and writes nothing.
TEST(ExportJobs, ExportFolderIsCreatedWhenItsParentExists)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile(dir.filePath("a file")).open(QIODevice::WriteOnly));
    for (const QString &folder : {dir.filePath("new"), dir.filePath("missing/new"), dir.filePath("a file"), QString()}) {
        SCOPED_TRACE(folder.toStdString());
        const bool written = folder == dir.filePath("new");
        RecordingEvents events;
        const ExportJobResult result =
            startSelectedImagesExport(events.context(), {record("x", solid(0xFF336699))}, ExportFormat::Png, 72, into(folder)).wait();
        EXPECT_EQ(result.folderMissing, !written);
        EXPECT_EQ(result.filesWritten, written ? 1 : 0);
        EXPECT_EQ(QFileInfo(folder + QStringLiteral("/x.png")).isFile(), written);
        EXPECT_EQ(events.alerts().size(), written ? 0 : 1);
        EXPECT_EQ(events.openBusyPeriods(), 0);
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));
}

// The job passes the DPI to the writer; the pixels are those of the edited picture.
TEST(ExportJobs, DpiIsMetadataAndEditsAreRendered)
{
    RecordingEvents events;
    QTemporaryDir dir;
    auto rotated = record("rotated", opaqueGradientImage(40, 30));
    rotated->setAngle(90);
    const QImage edited = rotated->applyAllEffects();
    ASSERT_EQ(edited.size(), QSize(30, 40));
    startSelectedImagesExport(events.context(), {rotated}, ExportFormat::Png, 300, into(dir.path())).wait();
    const QByteArray file = readFile(dir.filePath("rotated.png"));
    EXPECT_NEAR(dpiOfFile(ExportFormat::Png, file).value_or(0), 300, 0.05);
    EXPECT_EQ(compareImages(decodeExportFile(ExportFormat::Png, file), edited).maximum, 0);
}

// The window's writer: files go through the posting queue in order, HEIC to
// a pool of its own; two jobs run at once.
TEST(ExportJobs, QueuedWriterWritesOnThePostingThread)
{
    RecordingEvents events;
    QTemporaryDir dir;
    // A stand-in for the main thread's event queue: one thread that never expires runs the posted
    // closures one after another.
    QThreadPool queue;
    queue.setMaxThreadCount(1);
    queue.setExpiryTimeout(-1);
    std::mutex mutex;
    std::thread::id queueThread;
    QThreadPool heicPool;
    auto writer = std::make_shared<QueuedExportWriter>(
        [&](std::function<void()> task) {
            startOnPool(queue, [&, task = std::move(task)] {
                {
                    std::lock_guard lock(mutex);
                    queueThread = std::this_thread::get_id();
                }
                task();
            });
        },
        [&](std::function<void()> task) { startOnPool(heicPool, std::move(task)); });

    std::vector<std::pair<int, std::thread::id>> finished;
    ExportJobSettings settings = into(dir.path());
    settings.writer = writer;
    settings.imageFinished = [&](const ExportedImage &image) {
        std::lock_guard lock(mutex);
        finished.emplace_back(image.position, std::this_thread::get_id());
    };
    ImageRecordList records;
    for (int i = 0; i < 6; ++i)
        records << record(QStringLiteral("p%1").arg(i), solid(qRgb(i * 40, 0, 0)));
    const ExportJob pngJob = startSelectedImagesExport(events.context(), records, ExportFormat::Png, 72, settings);
    ExportJobSettings heicSettings = into(dir.path());
    heicSettings.writer = writer;
    const ExportJob heicJob = startSelectedImagesExport(events.context(), {records[0], records[1]}, ExportFormat::Heic, 72, heicSettings);

    EXPECT_EQ(pngJob.wait().filesWritten, 6);
    EXPECT_EQ(heicJob.wait().filesWritten, 2);
    queue.waitForDone();
    std::lock_guard lock(mutex);
    ASSERT_EQ(finished.size(), 6u);
    for (size_t i = 0; i < finished.size(); ++i) {
        EXPECT_EQ(finished[i].first, int(i));
        EXPECT_EQ(finished[i].second, queueThread);
        EXPECT_EQ(centrePixel(dir.filePath(QStringLiteral("p%1.png").arg(i))), qRgb(int(i) * 40, 0, 0));
    }
    EXPECT_TRUE(QFileInfo(dir.filePath("p1.heic")).isFile());
    EXPECT_EQ(events.openBusyPeriods(), 0);
}

// A job of several files on a pool of workers writes what one worker writes: the same files,
// names, collision suffixes, bytes and the report lines in the same order; so does a pool whose
// memory lets one picture through at a time.
TEST(ExportJobs, PoolWritesWhatOneWorkerWrites)
{
    RecordingEvents events;
    const auto run = [&events](int workers, qint64 bytesInFlight = ExportJobSettings::kDefaultPicturesInFlightBytes) {
        QTemporaryDir dir;
        FileRecordList files;
        for (int f = 0; f < 3; ++f) {
            ImageRecordList images;
            for (int i = 0; i < 7; ++i)
                images << record(i % 3 == 0 ? QStringLiteral("same") : QStringLiteral("f%1_%2").arg(f).arg(i),
                                 solid(qRgb(f * 80, i * 30, 7), 40 + i * 13, 30 + f * 11));
            files << fileRecord(images, true, false);
        }
        QStringList outcome; // report lines, then every file with its bytes
        ExportJobSettings settings = into(dir.path());
        settings.workers = workers;
        settings.picturesInFlightBytes = bytesInFlight;
        settings.imageFinished = [&](const ExportedImage &image) {
            outcome << QStringLiteral("%1 %2").arg(image.position).arg(QFileInfo(image.path).fileName());
        };
        EXPECT_EQ(startAllImagesExport(events.context(), files, ExportFormat::Png, 150, settings).wait().filesWritten,
                  21);
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files, QDir::Name))
            outcome << name + QLatin1Char(' ') + QString::fromLatin1(readFile(dir.filePath(name)).toHex());
        return outcome;
    };
    const QStringList one = run(1);
    EXPECT_EQ(run(4), one);
    EXPECT_EQ(run(4, 1), one);
    EXPECT_TRUE(one.join('\n').contains("same (9).png"));
}
