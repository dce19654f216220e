#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace zembrix {

class PDFFileStruct;

// What the core tells the application: status text, the busy spinner,
// refreshes of the browser, the file table and the tool buttons, undo
// registration, export alerts and progress, and the end of a file's read.
// The window implements it, the headless modes print the alerts, the tests
// record everything. Every default does nothing, so the core runs with the
// base class itself. The core reaches it through its CoreContext.
class CoreEvents
{
public:
    CoreEvents() = default;
    CoreEvents(const CoreEvents &) = delete;
    CoreEvents &operator=(const CoreEvents &) = delete;
    virtual ~CoreEvents();

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
};

} // namespace zembrix
