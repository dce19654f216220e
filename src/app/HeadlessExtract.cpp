#include "HeadlessModes.h"
#include "SmallImages.h"

#include "export/ExportFolder.h"
#include "export/ExportFormat.h"
#include "export/ExportJobs.h"
#include "images/ControllerInterface.h"
#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <atomic>
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
    bool reported = false;
};

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
        if (input.written + input.notWritten < input.total)
            break;
        out << input.argument << ": " << imagesText(input.written) << " written";
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

int runExtract(const CommandLine &cl, QTextStream &out, QTextStream &err)
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
    mainController()->pictureCache().setLimit(qint64(64) << 20);

    int status = 0;
    std::vector<ExtractInput> inputs;
    FileRecordList files;
    int hidden = 0; // smaller than --min-size
    for (qsizetype f = 0; f < cl.files.size(); ++f) {
        const QString &file = cl.files[f];
        auto record = parseFileHeadless(f, cl, err);
        if (!record) {
            status = 1;
            continue;
        }
        record->setSelection(true);
        if (cl.pages) {
            // The images keep the names of their place among all of the file's images.
            QList<std::shared_ptr<PDFImageStruct>> chosen;
            for (const auto &image : record->images())
                if (cl.pages->contains(image->source().page))
                    chosen << image;
            record->setImages(chosen);
        }
        if (cl.minSize) {
            const QList<std::shared_ptr<PDFImageStruct>> all = record->images();
            const QList<std::shared_ptr<PDFImageStruct>> kept = SmallImages::withoutSmall(all, *cl.minSize);
            hidden += int(all.size() - kept.size());
            record->setImages(kept);
        }
        files.append(record);
        inputs.push_back({file, record, int(record->imageCount())});
    }

    ExportJobSettings settings;
    settings.folder = folder;
    settings.existingFiles = cl.overwrite ? ExportPathClaims::ExistingFiles::Replace : ExportPathClaims::ExistingFiles::KeepBoth;
    // Large pictures go one after another rather than all at once: the
    // pictures in flight stay within 1 GiB (one alone may pass it).
    settings.picturesInFlightBytes = ExportJobSettings::kDefaultPicturesInFlightBytes;
    // Called on the job thread while this thread waits, so the inputs and the
    // streams are used by one thread at a time.
    // On a terminal a progress line on standard error, rewritten in place
    // and wiped at the end; every other line wipes it first.
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    int imagesFound = 0;
    for (const ExtractInput &input : inputs)
        imagesFound += input.total;
    int imagesDone = 0;
    const auto wipeProgress = [&] {
        if (terminal)
            err << "\r\033[K";
    };
    settings.imageFinished = [&](const ExportedImage &image) {
        ++imagesDone;
        const ExtractInput *current = nullptr;
        for (ExtractInput &input : inputs) {
            if (input.record != image.file)
                continue;
            current = &input;
            if (image.result.isWritten()) {
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
    const ExportJob job = startAllImagesExport(files, *format, float(cl.dpi), std::move(settings));
    const ExportJobResult result = waitInterruptibly(job);
    wipeProgress();
    if (interrupted.load())
        err << "zembrix: interrupted: " << (result.total - result.filesWritten) << " of " << imagesText(result.total)
            << " not written\n";
    err.flush();
    if (!result.folderMissing)
        reportFinishedInputs(inputs, out);

    if (result.folderMissing || result.filesWritten < result.total)
        status = 1;
    out << "Summary: " << inputs.size() << " of " << cl.files.size() << " files read, "
        << imagesText(result.filesWritten) << " written, " << result.bytesWritten << " bytes, "
        << QString::number(clock.elapsed() / 1000.0, 'f', 2) << " seconds";
    if (cl.minSize)
        out << ", " << SmallImages::hiddenImagesText(hidden, *cl.minSize) << " hidden";
    out << "\n";
    out.flush();
    return status;
}
