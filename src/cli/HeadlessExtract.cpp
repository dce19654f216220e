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
#include <vector>

#include <csignal>

#include <unistd.h>

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
    struct sigaction action {}, oldInterrupt {}, oldTerminate {};
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

} // namespace

int runExtract(const CommandLine &cl, const std::shared_ptr<CoreContext> &context, QTextStream &out,
               QTextStream &err)
{
    QElapsedTimer clock;
    clock.start();

    const std::optional<int> format = ExportFormat::indexOfNameIgnoringCase(cl.format);
    if (!format) {
        err << usageErrorText(QStringLiteral("unknown format \"%1\"").arg(cl.format));
        return 2;
    }
    const QString folder = QFileInfo(cl.outPath.isEmpty() ? cl.outDir : cl.outPath).absoluteFilePath();
    if (!ensureExportFolder(folder)) {
        err << "zembrix: " << cl.outDir << ": " << outputFolderProblem(folder) << "\n";
        return 1;
    }

    // Every picture is written once and not needed again. The cache keeps
    // the small pictures the walk built whole until they are written, within
    // a small bound, and the pictures being written.
    context->pictureCache().setLimit(qint64(64) << 20);

    // The manifest, and with --resume what it shows done already.
    const QString manifestShown = QString::fromUtf8(argumentBytes(cl.manifest));
    QString manifestError;
    std::optional<ResumePlan> resume;
    if (cl.resume && !(resume = readResumePlan(cl.manifest, folder, &manifestError))) {
        err << "zembrix: " << manifestShown << ": the manifest cannot be read (" << manifestError << ")\n";
        return 1;
    }
    ManifestFile manifest;
    if (!cl.manifest.isEmpty() && !manifest.open(cl.manifest, resume ? &resume->keptLines : nullptr, &manifestError)) {
        err << "zembrix: " << manifestShown << ": the manifest cannot be written (" << manifestError << ")\n";
        return 1;
    }
    bool manifestFailed = false;
    const auto appendToManifest = [&](const QJsonObject &line) {
        if (!manifest.isOpen() || manifest.append(line) || manifestFailed)
            return;
        manifestFailed = true;
        err << "zembrix: " << manifestShown << ": the manifest cannot be written\n";
        err.flush();
    };
    // The manifest's output paths show the --out folder as it was given.
    const auto shownOutput = [&](const QString &path) {
        return cl.outDir + QLatin1Char('/') + QFileInfo(path).fileName();
    };

    int status = 0;
    int filesDone = 0;
    if (resume) {
        for (qsizetype f = 0; f < cl.files.size(); ++f)
            filesDone += resume->doneFiles.contains(cl.fileBytes.value(f, cl.files[f].toUtf8())) ? 1 : 0;
        out << "Resume: " << filesDone << " of " << cl.files.size() << " files done by an earlier run ("
            << imagesText(resume->images) << " written), skipped\n";
        out.flush();
    }

    // The files go in batches, each read and then exported by one job: the
    // images of a long list are not all held at once, and the manifest grows
    // from the first batch on. The batches share the names taken and the
    // pictures written, so the result is that of one job.
    const auto claims = std::make_shared<ExportPathClaims>();
    // The manifest's facts of the first image of each picture, which its duplicates name.
    QHash<QByteArray, QJsonObject> firstOfPicture;
    if (resume) {
        for (const QString &path : resume->reservedPaths)
            claims->reserve(path);
        firstOfPicture = resume->writtenPictures;
    }
    // On a terminal a progress line on standard error, rewritten in place
    // and wiped at the end; every other line wipes it first.
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const auto wipeProgress = [&] {
        if (terminal)
            err << "\r\033[K";
    };
    int filesRead = 0;
    int hidden = 0; // smaller than --min-size
    int imagesFound = 0;
    int imagesDone = 0;
    ExportJobResult sums;
    for (qsizetype batchStart = 0; batchStart < cl.files.size() && !interrupted.load() && !sums.folderMissing;
         batchStart += kFilesInABatch) {
        std::vector<ExtractInput> inputs;
        FileRecordList files;
        for (qsizetype f = batchStart; f < std::min(cl.files.size(), batchStart + kFilesInABatch); ++f) {
            const QString &file = cl.files[f];
            const QByteArray bytes = cl.fileBytes.value(f, file.toUtf8());
            if (resume && resume->doneFiles.contains(bytes))
                continue;
            auto record = parseFileHeadless(f, cl, context, err);
            if (!record) {
                status = 1;
                continue;
            }
            ++filesRead;
            record->setSelection(true);
            ExtractInput input;
            input.argument = file;
            input.record = record;
            input.bytes = bytes;
            const auto all = record->images();
            for (qsizetype i = 0; i < all.size(); ++i)
                input.indexOf.insert(all[i].get(), int(i));
            if (cl.pages) {
                // The images keep the names of their place among all of the file's images.
                QList<std::shared_ptr<PDFImageStruct>> chosen;
                for (const auto &image : all)
                    if (cl.pages->contains(image->source().page))
                        chosen << image;
                record->setImages(chosen);
            }
            if (cl.minSize) {
                const QList<std::shared_ptr<PDFImageStruct>> shown = record->images();
                const QList<std::shared_ptr<PDFImageStruct>> kept = SmallImages::withoutSmall(shown, *cl.minSize);
                hidden += int(shown.size() - kept.size());
                record->setImages(kept);
            }
            files.append(record);
            input.total = int(record->imageCount());
            QList<PDFFileStruct::SkippedImage> refused;
            for (const PDFFileStruct::SkippedImage &skipped : record->skippedImages())
                if (!skipped.kept && (!cl.pages || cl.pages->contains(skipped.page)))
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
            imagesFound += input.total;
            inputs.push_back(std::move(input));
        }

        ExportJobSettings settings;
        settings.folder = folder;
        settings.claims = claims;
        // Large pictures go one after another rather than all at once: the
        // pictures in flight stay within 1 GiB (one alone may pass it).
        settings.picturesInFlightBytes = ExportJobSettings::kDefaultPicturesInFlightBytes;
        settings.skipDuplicates = cl.skipDuplicates;
        // Files an earlier run left are kept unless --overwrite says otherwise;
        // a resumed run replaces those its interrupted run left unlisted (the
        // ones it kept are reserved above).
        settings.existingFiles = cl.overwrite || cl.resume ? ExportPathClaims::ExistingFiles::Replace
                                                           : ExportPathClaims::ExistingFiles::KeepBoth;
        settings.replaceOlderFiles = cl.resume;
        if (cl.skipDuplicates)
            for (auto it = firstOfPicture.cbegin(); it != firstOfPicture.cend(); ++it)
                settings.knownDigests.insert(it.key());
        // Called on the job's threads one at a time while this thread waits,
        // so the inputs and the streams are used by one thread at a time.
        settings.imageFinished = [&](const ExportedImage &image) {
            ++imagesDone;
            const ExtractInput *current = nullptr;
            for (ExtractInput &input : inputs) {
                if (input.record != image.file)
                    continue;
                current = &input;
                if (image.record && (image.result.isWritten() || image.duplicate || !interrupted.load())) {
                    // An image cancelled by an interrupt gets no line: its file is not complete.
                    QJsonObject line = manifestImageLine(input, *image.record);
                    if (!image.pixelDigest.isEmpty())
                        line.insert(QLatin1String("pixels"), QString::fromLatin1(image.pixelDigest.toHex()));
                    if (image.result.isWritten()) {
                        line.insert(QLatin1String("output"), shownOutput(image.path));
                        line.insert(QLatin1String("bytes"), image.bytes);
                        if (manifest.isOpen()) // read back only for the manifest
                            line.insert(QLatin1String("sha256"), fileSha256(image.path));
                        line.insert(QLatin1String("status"), QStringLiteral("written"));
                        if (!image.note.isEmpty())
                            line.insert(QLatin1String("reason"), image.note);
                    } else if (image.duplicate) {
                        const QJsonObject first = firstOfPicture.value(image.pixelDigest);
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
                            line.insert(QLatin1String("reason"),
                                        QStringLiteral("same pixels as %1, which was not written").arg(which));
                        }
                    } else {
                        line.insert(QLatin1String("status"), image.result.isFailure() ? QStringLiteral("failed")
                                                                                      : QStringLiteral("skipped"));
                        line.insert(QLatin1String("reason"), image.result.message());
                    }
                    if (!image.pixelDigest.isEmpty() && !image.duplicate && !firstOfPicture.contains(image.pixelDigest))
                        firstOfPicture.insert(image.pixelDigest, line);
                    appendToManifest(line);
                }
                if (image.duplicate) {
                    ++input.duplicates;
                } else if (image.result.isWritten()) {
                    ++input.written;
                    if (!image.note.isEmpty()) {
                        wipeProgress();
                        err << "zembrix: " << input.argument << ": " << imageLabel(image) << " " << image.note << "\n";
                        err.flush();
                    }
                } else if (interrupted.load()) {
                    ++input.notWritten; // said once, at the end
                } else {
                    ++input.notWritten;
                    wipeProgress();
                    err << "zembrix: " << input.argument << ": " << imageLabel(image) << " not written";
                    if (!image.result.message().isEmpty())
                        err << " (" << image.result.message() << ")";
                    err << "\n";
                    err.flush();
                }
                break;
            }
            if (terminal) {
                // Lines on standard output share the terminal too.
                wipeProgress();
                err.flush();
                reportFinishedInputs(inputs, out);
                err << "zembrix: " << imagesDone << " of " << imagesFound << " images";
                if (current)
                    err << ", " << current->argument;
                err.flush();
            } else {
                reportFinishedInputs(inputs, out);
            }
        };
        reportFinishedInputs(inputs, out);
        const ExportJob job = startAllImagesExport(context, files, *format, float(cl.dpi), std::move(settings));
        const ExportJobResult result = waitInterruptibly(job);
        wipeProgress();
        err.flush();
        if (!result.folderMissing)
            reportFinishedInputs(inputs, out);
        sums.total += result.total;
        sums.filesWritten += result.filesWritten;
        sums.duplicates += result.duplicates;
        sums.bytesWritten += result.bytesWritten;
        sums.folderMissing = sums.folderMissing || result.folderMissing;
    }
    if (interrupted.load()) {
        err << "zembrix: interrupted: " << (imagesFound - sums.filesWritten - sums.duplicates) << " of "
            << imagesText(imagesFound) << " found not written\n";
        err.flush();
    }

    if (sums.folderMissing || interrupted.load() || sums.filesWritten + sums.duplicates < sums.total || manifestFailed)
        status = 1;
    out << "Summary: " << filesRead << " of " << (cl.files.size() - filesDone) << " files read, "
        << imagesText(sums.filesWritten) << " written, ";
    if (sums.duplicates > 0)
        out << sums.duplicates << (sums.duplicates == 1 ? " duplicate" : " duplicates") << " not written again, ";
    out << sums.bytesWritten << " bytes, " << QString::number(clock.elapsed() / 1000.0, 'f', 2) << " seconds";
    if (cl.minSize)
        out << ", " << SmallImages::hiddenImagesText(hidden, *cl.minSize) << " hidden";
    out << "\n";
    out.flush();
    return status;
}
