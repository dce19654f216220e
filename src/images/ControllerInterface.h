#pragma once

#include "images/PictureCache.h"
#include "raster/ColorManagement.h"
#include "raster/WorkBudget.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class PDFFileStruct;

// What the core asks of the application's window controller: status text,
// the busy spinner, refreshes of the browser, the file table and the tool
// buttons, undo registration and export alerts. The GUI derives from it; the
// tests fake it. Every default does nothing, so the core runs headless with
// the base class itself.
class ControllerInterface
{
public:
    ControllerInterface() = default;
    ControllerInterface(const ControllerInterface &) = delete;
    ControllerInterface &operator=(const ControllerInterface &) = delete;
    virtual ~ControllerInterface();

    // Callable from any thread; GUI implementations post their work to the
    // main thread.
    virtual void setStatusText(const QString &text);
    virtual void startSpinAnimation();
    virtual void stopSpinAnimation();
    virtual void setToolsButtonState();
    virtual void updateIKDatasource(); // refresh browser and sliders
    virtual void updateFileList();     // refresh the file table's counts

    // Main thread: one undo step; the closure restores the previous state.
    // Running it may register the step that redoes the change.
    virtual void registerUndo(std::function<void()> undo);

    // Export failures: the alert panel in the window, a line on standard
    // error headless.
    virtual void showAlert(const QString &message, const QString &text);
    // About one image of an export job, whose result names the image as
    // well: an alert (a rendering failure, a file that cannot be created;
    // showAlert by default) and a log line (the formats whose failures are
    // only logged; qWarning by default).
    virtual void showImageAlert(const QString &message, const QString &text);
    virtual void logImageFailure(const QString &line);

    // Pushes the busy spinner's title; a caller pushes one before its
    // startSpinAnimation, and every stopSpinAnimation removes one.
    virtual void setSpinTitle(const QString &title);
    // An export job's progress: `done` of its `total` images are finished
    // (written, failed or skipped). Called once with 0 when the job starts,
    // then once per image, from the thread that finished it.
    virtual void exportProgress(int done, int total);

    // A file's background read has ended, however it went (its readStatus():
    // a file that could not be read, one that needs a password, a stopped
    // read). From the parse thread.
    virtual void fileReadEnded(std::shared_ptr<PDFFileStruct> file);

    // Running parse threads; each counts itself in and out.
    std::atomic<int> &threadCount() { return m_threadCount; }

    // The full-size pictures of all image records, decoded on demand.
    PictureCache &pictureCache() { return m_pictureCache; }

    // The colour transforms all image decoding shares.
    ColorTransformCache &colorTransforms() { return m_colorTransforms; }

    // The work all tint transforms of the run may do together (each file
    // has its own, smaller budget besides).
    static constexpr qint64 kRunTintUnits = qint64(1) << 32;
    WorkBudget &tintBudget() { return m_tintBudget; }

private:
    std::atomic<int> m_threadCount{0};
    WorkBudget m_tintBudget{kRunTintUnits};
    PictureCache m_pictureCache;
    ColorTransformCache m_colorTransforms;
};

// The one controller of the process, from any thread. Never null: a
// do-nothing controller until one is set. The caller of setMainController
// keeps ownership and must restore nullptr (the do-nothing one) before the
// controller is destroyed.
ControllerInterface *mainController();
void setMainController(ControllerInterface *controller);
