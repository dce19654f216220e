#include "HeadlessModes.h"
#include "SmallImages.h"

#include "ArgumentPaths.h"
#include "ExtractManifest.h"

#include "export/ExportFolder.h"
#include "export/ExportFormat.h"
#include "export/ExportJobs.h"
#include "export/ExportPathClaims.h"
#include "images/CoreContext.h"
#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>

#include <atomic>
#include <cmath>
#include <optional>
#include <vector>

#include <csignal>

#include <unistd.h>

namespace zembrix {

namespace {

// One input that could be read, with the count of its images finished so far.
struct ExtractInput {
    QString argument; // the path as given on the command line
    std::shared_ptr<PDFFileStruct> record;
    int total = 0;
    int written = 0;
    int notWritten = 0;
    int duplicates = 0;
    bool reported = false;
    QByteArray bytes;                           // the path's bytes, its identity in the manifest
    QHash<const PDFImageStruct *, int> indexOf; // each image's number in the file
    int manifestLines = 0;                      // its images exported, and those not decoded
};

// The fields of a manifest line that say which image it is.
QJsonObject manifestImageLine(const ExtractInput &input, const PDFImageStruct &image)
{
    const ImageSource source = image.source();
    QJsonObject line;
    setManifestFile(line, input.argument, input.bytes);
    line.insert(QLatin1String("file_images"), input.manifestLines);
    line.insert(QLatin1String("page"), source.page);
    line.insert(QLatin1String("object"), source.objectKey);
    line.insert(QLatin1String("index"), input.indexOf.value(&image, -1));
    line.insert(QLatin1String("name"), image.imagename());
    line.insert(QLatin1String("width"), source.width);
    line.insert(QLatin1String("height"), source.height);
    line.insert(QLatin1String("bpc"), source.bitsPerComponent);
    line.insert(QLatin1String("colorspace"), source.colorSpace);
    line.insert(QLatin1String("filter"), source.filter);
    // Hundredths of a pixel per inch, as a number
    const auto ppi = [](double value) { return std::round(value * 100) / 100; };
    line.insert(QLatin1String("x_ppi"), ppi(source.xPpi));
    line.insert(QLatin1String("y_ppi"), ppi(source.yPpi));
    return line;
}

// How a line names one image: its object and its name.
QString imageLabel(const ExportedImage &image)
{
    if (!image.record)
        return QStringLiteral("an image");
    const QString object = image.record->source().objectKey;
    return object.isEmpty() ? image.record->imagename()
                            : QStringLiteral("object %1: %2").arg(object, image.record->imagename());
}

QString imagesText(int count)
{
    return count == 1 ? QStringLiteral("1 image") : QStringLiteral("%1 images").arg(count);
}

// Prints the line of every input, in command line order, whose images are all
// finished and whose earlier inputs are printed.
void reportFinishedInputs(std::vector<ExtractInput> &inputs, QTextStream &out)
{
    for (ExtractInput &input : inputs) {
        if (input.reported)
            continue;
        if (input.written + input.notWritten + input.duplicates < input.total)
            break;
        out << input.argument << ": " << imagesText(input.written) << " written";
        if (input.duplicates > 0)
            out << ", " << input.duplicates << (input.duplicates == 1 ? " duplicate" : " duplicates");
        if (input.notWritten > 0)
            out << ", " << input.notWritten << " not written";
        out << "\n";
        input.reported = true;
    }
    out.flush();
}

// Why no output folder could be had at this path.
QString outputFolderProblem(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("this is a file, not a folder; --out needs a folder");
    const QFileInfo parent(info.absolutePath());
    if (!parent.exists())
        return QStringLiteral("the output folder cannot be created: its parent folder does not exist");
    if (!parent.isDir())
        return QStringLiteral("the output folder cannot be created: its parent is a file, not a folder");
    return QStringLiteral("the output folder cannot be created in its parent folder");
}

// Files read and exported by one job at a time.
constexpr qsizetype kFilesInABatch = 200;

// Set by an interrupt (Ctrl+C) or a termination request while a job runs.
std::atomic<bool> interrupted{false};
std::atomic<const ExportJob *> runningJob{nullptr};

void interrupt(int)
{
    interrupted.store(true);
    if (const ExportJob *job = runningJob.load())
        job->cancel();
}

// Waits for the job. An interrupt or a termination request meanwhile cancels
// it: the images being written are finished or dropped whole, so no file and
// no claim of one is left half made. A second one ends the program at once.
ExportJobResult waitInterruptibly(const ExportJob &job)
{
    runningJob.store(&job);
    struct sigaction action {
    }, oldInterrupt{}, oldTerminate{};
    action.sa_handler = interrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &oldInterrupt);
    ::sigaction(SIGTERM, &action, &oldTerminate);
    const ExportJobResult result = job.wait();
    ::sigaction(SIGINT, &oldInterrupt, nullptr);
    ::sigaction(SIGTERM, &oldTerminate, nullptr);
    runningJob.store(nullptr);
    return result;
}

// One --extract run over its files: read in batches, each exported by one
// job, with the manifest written as images finish and the lines on standard
// output and error.
class ExtractRun
{
public:
    ExtractRun(const CommandLine &cl, const std::shared_ptr<CoreContext> &context, QTextStream &out, QTextStream &err)
        : m_cl(cl)
        , m_context(context)
        , m_out(out)
        , m_err(err)
        , m_manifestShown(QString::fromUtf8(argumentBytes(cl.manifest)))
        , m_terminal(::isatty(STDERR_FILENO) == 1)
    {
        m_clock.start();
    }

    // The format, the folder and the manifest; a status to end with when
    // one of them cannot be had.
    std::optional<int> prepare();
    void runBatch(qsizetype batchStart);
    bool mayGoOn() const { return !interrupted.load() && !m_sums.folderMissing; }
    int finish();

private:
    std::optional<ExtractInput> readInput(qsizetype f);
    void imageFinished(std::vector<ExtractInput> &inputs, const ExportedImage &image);
    QJsonObject manifestLine(const ExtractInput &input, const ExportedImage &image);
    void countFinished(ExtractInput &input, const ExportedImage &image);
    void appendToManifest(const QJsonObject &line);
    // The manifest's output paths show the --out folder as it was given.
    QString shownOutput(const QString &path) const
    {
        return m_cl.outDir + QLatin1Char('/') + QFileInfo(path).fileName();
    }
    // On a terminal a progress line on standard error, rewritten in place
    // and wiped at the end; every other line wipes it first.
    void wipeProgress()
    {
        if (m_terminal)
            m_err << "\r\033[K";
    }

    const CommandLine &m_cl;
    std::shared_ptr<CoreContext> m_context;
    QTextStream &m_out;
    QTextStream &m_err;
    const QString m_manifestShown;
    const bool m_terminal;
    QElapsedTimer m_clock;
    int m_format = 0;
    QString m_folder;
    std::optional<ResumePlan> m_resume;
    ManifestFile m_manifest;
    bool m_manifestFailed = false;
    // The batches share the names taken and the pictures written, so the
    // result is that of one job.
    std::shared_ptr<ExportPathClaims> m_claims = std::make_shared<ExportPathClaims>();
    // The manifest's facts of the first image of each picture, which its duplicates name.
    QHash<QByteArray, QJsonObject> m_firstOfPicture;
    int m_status = 0;
    int m_filesDone = 0; // by an earlier run
    int m_filesRead = 0;
    int m_hidden = 0; // smaller than --min-size
    int m_imagesFound = 0;
    int m_imagesDone = 0;
    ExportJobResult m_sums;
};

std::optional<int> ExtractRun::prepare()
{
    const std::optional<int> format = ExportFormat::indexOfNameIgnoringCase(m_cl.format);
    if (!format) {
        m_err << usageErrorText(QStringLiteral("unknown format \"%1\"").arg(m_cl.format));
        return 2;
    }
    m_format = *format;
    m_folder = QFileInfo(m_cl.outPath.isEmpty() ? m_cl.outDir : m_cl.outPath).absoluteFilePath();
    if (!ensureExportFolder(m_folder)) {
        m_err << "zembrix: " << m_cl.outDir << ": " << outputFolderProblem(m_folder) << "\n";
        return 1;
    }

    // Every picture is written once and not needed again. The cache keeps
    // the small pictures the walk built whole until they are written, within
    // a small bound, and the pictures being written.
    m_context->pictureCache().setLimit(qint64(64) << 20);

    // The manifest, and with --resume what it shows done already.
    QString manifestError;
    if (m_cl.resume && !(m_resume = readResumePlan(m_cl.manifest, m_folder, &manifestError))) {
        m_err << "zembrix: " << m_manifestShown << ": the manifest cannot be read (" << manifestError << ")\n";
        return 1;
    }
    if (!m_cl.manifest.isEmpty()
        && !m_manifest.open(m_cl.manifest, m_resume ? &m_resume->keptLines : nullptr, &manifestError)) {
        m_err << "zembrix: " << m_manifestShown << ": the manifest cannot be written (" << manifestError << ")\n";
        return 1;
    }
    if (m_resume) {
        for (qsizetype f = 0; f < m_cl.files.size(); ++f)
            m_filesDone += m_resume->doneFiles.contains(m_cl.fileBytes.value(f, m_cl.files[f].toUtf8())) ? 1 : 0;
        m_out << "Resume: " << m_filesDone << " of " << m_cl.files.size() << " files done by an earlier run ("
              << imagesText(m_resume->images) << " written), skipped\n";
        m_out.flush();
        for (const QString &path : m_resume->reservedPaths)
            m_claims->reserve(path);
        m_firstOfPicture = m_resume->writtenPictures;
    }
    return std::nullopt;
}

void ExtractRun::appendToManifest(const QJsonObject &line)
{
    if (!m_manifest.isOpen() || m_manifest.append(line) || m_manifestFailed)
        return;
    m_manifestFailed = true;
    m_err << "zembrix: " << m_manifestShown << ": the manifest cannot be written\n";
    m_err.flush();
}

// Reads the file at `f` of the command line and chooses its images (--pages,
// --min-size); the images not decoded get their manifest lines now. Nothing
// when the file is done already or cannot be read.
std::optional<ExtractInput> ExtractRun::readInput(qsizetype f)
{
    const QString &file = m_cl.files[f];
    const QByteArray bytes = m_cl.fileBytes.value(f, file.toUtf8());
    if (m_resume && m_resume->doneFiles.contains(bytes))
        return std::nullopt;
    auto record = parseFileHeadless(f, m_cl, m_context, m_err);
    if (!record) {
        m_status = 1;
        return std::nullopt;
    }
    ++m_filesRead;
    record->setSelection(true);
    ExtractInput input;
    input.argument = file;
    input.record = record;
    input.bytes = bytes;
    const auto all = record->images();
    for (qsizetype i = 0; i < all.size(); ++i)
        input.indexOf.insert(all[i].get(), int(i));
    if (m_cl.pages) {
        // The images keep the names of their place among all of the file's images.
        QList<std::shared_ptr<PDFImageStruct>> chosen;
        for (const auto &image : all)
            if (m_cl.pages->contains(image->source().page))
                chosen << image;
        record->setImages(chosen);
    }
    if (m_cl.minSize) {
        const QList<std::shared_ptr<PDFImageStruct>> shown = record->images();
        const QList<std::shared_ptr<PDFImageStruct>> kept = SmallImages::withoutSmall(shown, *m_cl.minSize);
        m_hidden += int(shown.size() - kept.size());
        record->setImages(kept);
    }
    input.total = int(record->imageCount());
    QList<PDFFileStruct::SkippedImage> refused;
    for (const PDFFileStruct::SkippedImage &skipped : record->skippedImages())
        if (!skipped.kept && (!m_cl.pages || m_cl.pages->contains(skipped.page)))
            refused << skipped;
    input.manifestLines = input.total + int(refused.size());
    for (const PDFFileStruct::SkippedImage &skipped : refused) {
        QJsonObject line;
        setManifestFile(line, file, bytes);
        line.insert(QLatin1String("file_images"), input.manifestLines);
        line.insert(QLatin1String("page"), skipped.page);
        line.insert(QLatin1String("object"), skipped.objectKey);
        line.insert(QLatin1String("status"), QStringLiteral("skipped"));
        line.insert(QLatin1String("reason"), QStringLiteral("not decoded (%1)").arg(skipped.reason));
        appendToManifest(line);
    }
    m_imagesFound += input.total;
    return input;
}

// The manifest line of an image the job finished with.
QJsonObject ExtractRun::manifestLine(const ExtractInput &input, const ExportedImage &image)
{
    QJsonObject line = manifestImageLine(input, *image.record);
    if (!image.pixelDigest.isEmpty())
        line.insert(QLatin1String("pixels"), QString::fromLatin1(image.pixelDigest.toHex()));
    if (image.result.isWritten()) {
        line.insert(QLatin1String("output"), shownOutput(image.path));
        line.insert(QLatin1String("bytes"), image.bytes);
        if (m_manifest.isOpen()) // read back only for the manifest
            line.insert(QLatin1String("sha256"), fileSha256(image.path));
        line.insert(QLatin1String("status"), QStringLiteral("written"));
        if (!image.note.isEmpty())
            line.insert(QLatin1String("reason"), image.note);
    } else if (image.duplicate) {
        const QJsonObject first = m_firstOfPicture.value(image.pixelDigest);
        const QString which = QStringLiteral("image %1 of %2")
                                  .arg(first.value(QLatin1String("index")).toInt())
                                  .arg(first.value(QLatin1String("file")).toString());
        line.insert(QLatin1String("planned"), shownOutput(image.plannedPath));
        if (first.value(QLatin1String("status")).toString() == QLatin1String("written")) {
            for (const char *key : {"output", "bytes", "sha256"})
                line.insert(QLatin1String(key), first.value(QLatin1String(key)));
            line.insert(QLatin1String("status"), QStringLiteral("duplicate"));
            line.insert(QLatin1String("reason"), QStringLiteral("same pixels as %1").arg(which));
        } else {
            line.insert(QLatin1String("status"), QStringLiteral("failed"));
            line.insert(QLatin1String("reason"), QStringLiteral("same pixels as %1, which was not written").arg(which));
        }
    } else {
        line.insert(QLatin1String("status"),
                    image.result.isFailure() ? QStringLiteral("failed") : QStringLiteral("skipped"));
        line.insert(QLatin1String("reason"), image.result.message());
    }
    return line;
}

// Counts a finished image on its input and says what went wrong with it.
void ExtractRun::countFinished(ExtractInput &input, const ExportedImage &image)
{
    if (image.duplicate) {
        ++input.duplicates;
    } else if (image.result.isWritten()) {
        ++input.written;
        if (!image.note.isEmpty()) {
            wipeProgress();
            m_err << "zembrix: " << input.argument << ": " << imageLabel(image) << " " << image.note << "\n";
            m_err.flush();
        }
    } else if (interrupted.load()) {
        ++input.notWritten; // said once, at the end
    } else {
        ++input.notWritten;
        wipeProgress();
        m_err << "zembrix: " << input.argument << ": " << imageLabel(image) << " not written";
        if (!image.result.message().isEmpty())
            m_err << " (" << image.result.message() << ")";
        m_err << "\n";
        m_err.flush();
    }
}

// Called on the job's threads one at a time while the run's thread waits,
// so the inputs and the streams are used by one thread at a time.
void ExtractRun::imageFinished(std::vector<ExtractInput> &inputs, const ExportedImage &image)
{
    ++m_imagesDone;
    const ExtractInput *current = nullptr;
    for (ExtractInput &input : inputs) {
        if (input.record != image.file)
            continue;
        current = &input;
        if (image.record && (image.result.isWritten() || image.duplicate || !interrupted.load())) {
            // An image cancelled by an interrupt gets no line: its file is not complete.
            const QJsonObject line = manifestLine(input, image);
            if (!image.pixelDigest.isEmpty() && !image.duplicate && !m_firstOfPicture.contains(image.pixelDigest))
                m_firstOfPicture.insert(image.pixelDigest, line);
            appendToManifest(line);
        }
        countFinished(input, image);
        break;
    }
    if (m_terminal) {
        // Lines on standard output share the terminal too.
        wipeProgress();
        m_err.flush();
        reportFinishedInputs(inputs, m_out);
        m_err << "zembrix: " << m_imagesDone << " of " << m_imagesFound << " images";
        if (current)
            m_err << ", " << current->argument;
        m_err.flush();
    } else {
        reportFinishedInputs(inputs, m_out);
    }
}

// Reads the files of one batch and exports their images by one job: the
// images of a long list are not all held at once, and the manifest grows
// from the first batch on.
void ExtractRun::runBatch(qsizetype batchStart)
{
    std::vector<ExtractInput> inputs;
    FileRecordList files;
    for (qsizetype f = batchStart; f < std::min(m_cl.files.size(), batchStart + kFilesInABatch); ++f) {
        if (std::optional<ExtractInput> input = readInput(f)) {
            files.append(input->record);
            inputs.push_back(std::move(*input));
        }
    }

    ExportJobSettings settings;
    settings.folder = m_folder;
    settings.claims = m_claims;
    // Large pictures go one after another rather than all at once: the
    // pictures in flight stay within 1 GiB (one alone may pass it).
    settings.picturesInFlightBytes = ExportJobSettings::kDefaultPicturesInFlightBytes;
    settings.skipDuplicates = m_cl.skipDuplicates;
    // Files an earlier run left are kept unless --overwrite says otherwise;
    // a resumed run replaces those its interrupted run left unlisted (the
    // ones it kept are reserved).
    settings.existingFiles = m_cl.overwrite || m_cl.resume ? ExportPathClaims::ExistingFiles::Replace
                                                           : ExportPathClaims::ExistingFiles::KeepBoth;
    settings.replaceOlderFiles = m_cl.resume;
    if (m_cl.skipDuplicates)
        for (auto it = m_firstOfPicture.cbegin(); it != m_firstOfPicture.cend(); ++it)
            settings.knownDigests.insert(it.key());
    settings.imageFinished = [this, &inputs](const ExportedImage &image) { imageFinished(inputs, image); };
    reportFinishedInputs(inputs, m_out);
    const ExportJob job = startAllImagesExport(m_context, files, m_format, float(m_cl.dpi), std::move(settings));
    const ExportJobResult result = waitInterruptibly(job);
    wipeProgress();
    m_err.flush();
    if (!result.folderMissing)
        reportFinishedInputs(inputs, m_out);
    m_sums.total += result.total;
    m_sums.filesWritten += result.filesWritten;
    m_sums.duplicates += result.duplicates;
    m_sums.bytesWritten += result.bytesWritten;
    m_sums.folderMissing = m_sums.folderMissing || result.folderMissing;
}

// The closing lines; the status of the run.
int ExtractRun::finish()
{
    if (interrupted.load()) {
        m_err << "zembrix: interrupted: " << (m_imagesFound - m_sums.filesWritten - m_sums.duplicates) << " of "
              << imagesText(m_imagesFound) << " found not written\n";
        m_err.flush();
    }
    if (m_sums.folderMissing || interrupted.load() || m_sums.filesWritten + m_sums.duplicates < m_sums.total
        || m_manifestFailed)
        m_status = 1;
    m_out << "Summary: " << m_filesRead << " of " << (m_cl.files.size() - m_filesDone) << " files read, "
          << imagesText(m_sums.filesWritten) << " written, ";
    if (m_sums.duplicates > 0)
        m_out << m_sums.duplicates << (m_sums.duplicates == 1 ? " duplicate" : " duplicates") << " not written again, ";
    m_out << m_sums.bytesWritten << " bytes, " << QString::number(m_clock.elapsed() / 1000.0, 'f', 2) << " seconds";
    if (m_cl.minSize)
        m_out << ", " << SmallImages::hiddenImagesText(m_hidden, *m_cl.minSize) << " hidden";
    m_out << "\n";
    m_out.flush();
    return m_status;
}

} // namespace

int runExtract(const CommandLine &cl, const std::shared_ptr<CoreContext> &context, QTextStream &out, QTextStream &err)
{
    ExtractRun run(cl, context, out, err);
    if (const std::optional<int> failed = run.prepare())
        return *failed;
    for (qsizetype batchStart = 0; batchStart < cl.files.size() && run.mayGoOn(); batchStart += kFilesInABatch)
        run.runBatch(batchStart);
    return run.finish();
}

} // namespace zembrix
