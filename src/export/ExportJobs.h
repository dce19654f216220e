#pragma once

#include "ExportJobResult.h"
#include "ExportPathClaims.h"
#include "ExportWriter.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

namespace zembrix {

class CoreContext;
class ExportPathClaims;
class PDFFileStruct;
class PDFImageStruct;

// The export jobs: the selected images, all images of the checked files, and
// the selected images as icon families. A job runs on its context's pool
// (CoreContext.h; on the starting thread when the context has none): it
// makes sure the export folder is there, chooses every file name in job order
// (the record's imagename plus the format's extension, with " (2)", " (3)",
// ... for a name the same job already used), then renders the records with
// their edits (getBitmapRepImg, or getNSImage for icon families) on workers
// of the pool no more than the number of cores, and hands each picture to
// the job's writer from the worker that rendered it. A failed image is
// reported and the next one goes on. A cancelled job renders and writes no
// further image; the files it finished before stay, complete, and no file is
// left half-written.
//
// In the Original format an image goes out as its stored coded data
// (OriginalFile.h) when it has no edits and that data stands on its own;
// otherwise as PNG, and its ExportedImage note says why.
//
// Through the context's events, from the job's threads: the spinner title is
// pushed and the spinner started once when the job starts (on the starting
// thread) and stopped once when its last image is finished; progress after
// each image; alerts for a missing export folder ("Error" / "No folder ...
// found. Please set the export folder", nothing is written then), a rendering
// that raised ("Rendering Error" / the reason) and a file that could not be
// written ("File System Error" / "Couldn't create file."). HEIC files and
// icon families that fail are only logged.

using ImageRecordList = QList<std::shared_ptr<PDFImageStruct>>;
using FileRecordList = QList<std::shared_ptr<PDFFileStruct>>;

struct ExportJobSettings {
    // The export folder. A missing folder whose parent exists is created.
    QString folder;
    // Pushed as the spinner title before the spinner starts; empty for the
    // job's own title ("Exporting images..." or "Exporting images as ICNS...").
    QString spinTitle;
    // Where files are written; null for a DirectExportWriter (on the workers).
    std::shared_ptr<ExportWriter> writer;
    // Called once per image when it and every image before it in the job are
    // finished, in job order, never concurrently with itself; on the thread
    // that finished the last of them (a worker or the writer's).
    std::function<void(const ExportedImage &)> imageFinished;
    // Worker threads rendering and encoding at once; 0 for one per core.
    int workers = 0;
    // The memory the pictures being rendered, encoded and written may take
    // together, estimated from their sizes (a picture with its mask and
    // the copies its encoder makes): a worker waits before rendering while
    // its picture would pass it. A picture larger than this alone still
    // goes, when no other is in flight. 0 or less: no limit.
    qint64 picturesInFlightBytes = kDefaultPicturesInFlightBytes;
    static constexpr qint64 kDefaultPicturesInFlightBytes = qint64(1) << 30;
    // An image whose picture (its pixels after its mask and edits) equals
    // that of an image before it in the job, or one of knownDigests
    // (pictureDigest() of pictures written earlier), is not written. Which
    // image is the first does not depend on the order the workers finish in.
    bool skipDuplicates = false;
    QSet<QByteArray> knownDigests;
    // The names taken, when jobs export into one folder one after another as
    // one export (the batches of a long list): a name one of them took, or
    // one reserved before (the files an earlier run kept), is not given
    // again. Null: the job's own.
    std::shared_ptr<ExportPathClaims> claims;
    // Files made before the job began are replaced even while another export
    // runs in the folder: those an interrupted run left, for its resumed run
    // beside the other pieces of the same list (ExportPathClaims).
    bool replaceOlderFiles = false;
    // What becomes of a file an earlier export left under an image's name:
    // kept, the image taking the next " (N)" name; replaced; or kept, the
    // image skipped (nothing written, counted in ExportJobResult::skipped).
    ExportPathClaims::ExistingFiles existingFiles = ExportPathClaims::ExistingFiles::KeepBoth;
    // Called once after the last image and the spinner stop, before wait() returns.
    std::function<void(const ExportJobResult &)> jobFinished;
    // The all-images job leaves out the images for which this says true
    // (the window's hidden small images); null for none.
    std::function<bool(const PDFImageStruct &)> leaveOut;
};

// A handle on a running or finished job; copies share the job. The job runs
// to its end whether or not a handle is kept.
class ExportJob
{
public:
    ExportJob() = default; // no job: finished, with an empty result

    // Asks the job to stop: every image not yet written ends as nothing
    // written. Any thread; the job still finishes (and calls jobFinished).
    void cancel() const;
    bool isFinished() const;
    // The sums so far (final once isFinished()).
    ExportJobResult result() const;
    // Blocks until every image is finished and returns the final result. Not
    // on the thread a queued writer writes on: its writes could never run.
    ExportJobResult wait() const;

    // The job's shared state, defined where the jobs are run.
    struct State;
    explicit ExportJob(std::shared_ptr<State> state)
        : m_state(std::move(state))
    {
    }

private:
    std::shared_ptr<State> m_state;
};

// The chosen records, in the given order, in an ExportFormat index at a DPI
// (resolution metadata only). Null records are skipped.
ExportJob startSelectedImagesExport(std::shared_ptr<CoreContext> context, const ImageRecordList &records,
                                    int formatIndex, float dpi, ExportJobSettings settings);

// Every image of every file that is checked (IsSelected) and not being parsed
// (isThreading), in list order and within a file in discovery order. Which
// files and images take part is decided when the job starts, on the calling
// thread.
ExportJob startAllImagesExport(std::shared_ptr<CoreContext> context, const FileRecordList &files, int formatIndex,
                               float dpi, ExportJobSettings settings);

// The chosen records as full icon families, "<imagename>.icns" each. The
// icon family is built on the job's workers.
ExportJob startIconFamilyExport(std::shared_ptr<CoreContext> context, const ImageRecordList &records,
                                ExportJobSettings settings);

// Spinner titles of the export commands.
QString exportingImagesTitle();                      // "Exporting images..."
QString exportingImagesAsTitle(const QString &name); // "Exporting images as <name>..."

} // namespace zembrix
