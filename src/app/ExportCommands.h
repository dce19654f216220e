#pragma once

#include "export/ExportJobs.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

namespace zembrix {

class QueuedExportWriter;

class Controller;
class PostBox;

// The window's export commands: the selected images in the chosen format or
// as JPEG, TIFF, PNG or icon families, all images of the checked files, the
// copy to the clipboard and the export folder in the file manager.
//
// An export asks for a folder first when none is set. When files of an
// earlier export are where it would write, it asks once what to do with them
// (Replace, Keep Both: the " (2)" names, Skip, or Cancel). It then runs as
// one job (spinner with its title, files written on the main thread in job
// order, HEIC on the controller's pool) and reports progress. One job at a time: the export actions are disabled
// while it runs. A job that finds its folder gone shows the missing-folder
// alert, then asks for a folder and, with one chosen, runs again. Main thread.
class ExportCommands : public QObject
{
    Q_OBJECT
public:
    // The controller's export and clipboard actions are connected here.
    ExportCommands(Controller *controller, QObject *parent = nullptr);
    // A running job is cancelled; its last queued writes still run (and
    // write nothing) on the main thread.
    ~ExportCommands() override;

    void saveImg();    // selected, in the format of the format list
    void saveImgAll(); // every image of the checked, parsed files
    void saveAsJPG();
    void saveAsTIF();
    void saveAsPNG();
    void saveAsICNS();
    // The first selected image's edited picture as "image/tiff" and
    // "image/png"; rendered off the main thread, copied() when it is there.
    void copyImages();
    void openExportFolder();
    // The folder of the last export in the file manager.
    void showLastFolder() { showFolder(m_lastFolder); }
    QString lastFolder() const { return m_lastFolder; }

    // Stops the running job: no further image is rendered or written, the
    // files finished so far stay. No effect when none runs.
    void cancel();
    bool isRunning() const { return m_running; }

    // How a folder is shown in the file manager (tests replace it).
    void setFolderOpener(std::function<bool(const QUrl &)> opener) { m_openFolder = std::move(opener); }

signals:
    // The export would write over files that are there: the question is up.
    void existingFilesQuestion();
    void jobStarted();
    void progress(int done, int total);
    void jobFinished(const ExportJobResult &result);
    void copied();
    // The file manager could not show the folder.
    void folderNotShown(const QString &folder);

private:
    enum class Kind { Selected, All, IconFamilies };
    struct Request {
        Kind kind;
        int formatIndex;
        QString title; // empty for the job's own
    };
    void exportWithFolder(const Request &request);
    void start(const Request &request);
    // The job itself, with the answer about earlier files.
    void run(const Request &request, ExportPathClaims::ExistingFiles existing);
    // The files of the folder the export would write over, at most a few.
    QStringList existingFiles(const Request &request) const;
    ImageRecordList recordsOf(const Request &request) const;
    // The folder prompt; the export starts once a folder is chosen.
    void startAfterFolderPrompt(const Request &request);
    void finish(const Request &request, const ExportJobResult &result);
    void showFolder(const QString &folder);

    Controller *m_controller;
    PostBox *m_mainThread = nullptr; // the application's: what the job threads hand back
    std::shared_ptr<QueuedExportWriter> m_writer;
    ExportJob m_job;
    bool m_running = false;
    bool m_asking = false;
    QString m_lastFolder;
    int m_total = 0;
    std::function<bool(const QUrl &)> m_openFolder;
};

} // namespace zembrix
