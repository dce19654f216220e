#pragma once

#include "Actions.h"
#include "PostBox.h"
#include "ImageEditStore.h"
#include "ThumbnailSequence.h"

#include "images/CoreContext.h"
#include "images/CoreEvents.h"
#include "widgets/MySpinView.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSize>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QItemSelectionModel;

namespace zembrix {

class FileTableModel;
class Preferences;
class ThumbnailLoader;
class ThumbnailModel;
class EffectsController;
class UndoManager;

// The one controller of the window: it owns the file list and the thumbnail
// models with their selections, counts busy periods for the spinner, builds
// the status text, holds the export settings and reads and writes the
// preferences. It owns the core's context (CoreContext.h) and the one pool of
// worker threads the application runs its parses, exports, thumbnails and
// drag-out files on, and the core reaches it through that context's events.
//
// Threads: the CoreEvents calls, startSpin and stopSpin may come
// from any thread and post their work to the main thread, in call order.
// Everything else is main-thread only. Widgets are not owned here: the window
// gives the spinner (setSpinView) and the two choosers; each may be absent.
class Controller : public QObject, public CoreEvents
{
    Q_OBJECT
public:
    explicit Controller(QObject *parent = nullptr);
    // Stops every parse and waits until every task of the pool has ended.
    ~Controller() override;

    // What the core's records and jobs of this window share, and the pool
    // they run on.
    const std::shared_ptr<CoreContext> &context() const { return m_context; }
    QThreadPool *workPool() { return &m_pool; }
    // Parses started and not yet ended.
    int runningParses() const { return m_context->runningParses().load(); }

    FileTableModel *fileModel() const { return m_fileModel; }
    QItemSelectionModel *fileSelection() const { return m_fileSelection; }
    ThumbnailModel *thumbnailModel() const { return m_thumbModel; }
    QItemSelectionModel *thumbnailSelection() const { return m_thumbSelection; }
    // The selected thumbnails' records, in browser order.
    ImageRecordList selectedImageRecords() const;
    ThumbnailLoader *thumbnailLoader() const { return m_loader; }
    Actions *actions() const { return m_actions; }

    void setSpinView(MySpinView *spinner);
    // Shows a folder chooser and calls back with the chosen path (empty when
    // cancelled). Set by the window.
    using FolderChooser = std::function<void(std::function<void(const QString &)>)>;
    void setFolderChooser(FolderChooser chooser) { m_folderChooser = std::move(chooser); }

    // Start-up after the window is built: defaults, the preferences, the
    // thumbnail size, the export settings and the control states.
    void awakeFromNib(Preferences &preferences);
    // Shutdown: the preferences are written.
    void applicationWillTerminate(Preferences &preferences);
    void readPref(Preferences &preferences);
    void savePref(Preferences &preferences);

    // CoreEvents.
    void setStatusText(const QString &text) override;
    void startSpinAnimation() override { startSpin(); }
    void stopSpinAnimation() override { stopSpin(); }
    void setToolsButtonState() override;
    void updateIKDatasource() override;
    void updateFileList() override;
    void registerUndo(std::function<void()> undo) override;
    void showAlert(const QString &message, const QString &text) override;
    void setSpinTitle(const QString &title) override;
    // Refreshes the file's row and the information area; a file that needs a
    // password has it asked for (one file at a time, in the order found).
    void fileReadEnded(std::shared_ptr<PDFFileStruct> file) override;

    // Asks for the password of the file named; `wrongBefore` when the last one
    // given did not open it. Calls back with the password, or none when
    // cancelled. Set by the window.
    using PasswordAsker =
        std::function<void(const QString &fileName, bool wrongBefore, std::function<void(std::optional<QByteArray>)>)>;
    void setPasswordAsker(PasswordAsker asker) { m_passwordAsker = std::move(asker); }

    // Busy periods: the spinner shows while at least one is open.
    void startSpin();
    void stopSpin();

    // The file list.
    const FileRecordList &pdfFiles() const;
    bool isFileExistsInArray(const QString &path) const;
    void addPdfFile(const QString &path);
    // A batch from the open dialog, a drop or the command line: the parsing
    // title, then addPdfFile for each path in order.
    void addPdfFiles(const QStringList &paths);
    // The PDF files inside the folder and its subfolders (FolderIntake).
    void addFolder(const QString &folder);
    void checkSelected();
    void extractCheckitPressed(int row);
    void clearSelected();
    void removeSelected();
    void parseSelectedPDF();
    // Sets what `apply` sets on every file, and parses each again.
    void parseEveryFileAgain(const std::function<void(PDFFileStruct &)> &apply);
    void selectAllBtn();
    using Focus = Actions::Focus;
    void stopAction(Focus focus);
    // Where the keyboard focus is now (the window tells on every change).
    void setFirstResponder(Focus focus);
    // The stop command where the focus is.
    void stopAction() { stopAction(m_focus); }
    // A parse is running or about to start.
    bool isParsing() const;
    qint64 countPDFImages() const;
    std::shared_ptr<PDFImageStruct> imageFromIKInadex(quint64 index) const;
    int previewUpdateCount() const { return m_previewUpdateCount.load(); }
    // New files wait this long before their parse starts (tests shorten it).
    void setParsePause(std::chrono::milliseconds pause) { m_parsePause = pause; }

    // Status area.
    void setInfoText(bool fromFileList);
    void updateStates();
    QString statusText() const { return m_statusText; }

    // Thumbnail browser.
    void reloadBrowser();
    void imageBrowserSelectionDidChange();
    void setListZoom(int level);
    int zoomIdx() const { return m_zoomIdx; }
    int thumbnailEdge() const;

    // Controls that follow the file selection.
    void updatePrefState();
    void updatePrefValue();
    void namePatternEdited(const QString &text);

    // Export settings.
    QString exportFormat() const { return m_exportFormat; }
    void setExportFormat(const QString &name);
    float dpi() const { return m_dpi; }
    void setDpi(float dpi);
    // Whether pictures are converted through their colour profiles. A change
    // parses every file again, so that thumbnails and exports follow it.
    bool colorManaged() const { return m_colorManaged; }
    void setColorManaged(bool managed);
    // Whether the walks also find inline, annotation and pattern images; a
    // change parses every file again too.
    bool allImages() const { return m_allImages; }
    // View > Skip Duplicates, for Export All.
    bool skipDuplicates() const;
    void setAllImages(bool all);
    // The resolution field's text when editing ends.
    void dpiEdited(const QString &text);
    void initExportFormats();
    void initDpiCombo();
    QString exportFolder() const { return m_exportFolder; }
    void setExportPath(const QString &folder);
    // Asks for a folder; with one chosen, sets it and calls `completion`
    // with true when a folder is set now. Nothing on cancel.
    void modalOpenFolder(std::function<void(bool)> completion = nullptr);
    void openFolder() { modalOpenFolder(); }
    void addBookmark(const QString &folder) { m_bookmarks.append(folder); }
    const QStringList &bookmarks() const { return m_bookmarks; }

    // Small images (SmallImages.h): hidden from the browser, the counts and
    // Export All while hideSmallImages is on.
    void setHideSmallImages(bool hide);
    bool hideSmallImages() const { return m_hideSmall; }
    void setSmallImageSize(QSize size);
    QSize smallImageSize() const { return m_smallSize; }
    // The minimum size in force: empty while nothing is hidden.
    QSize hiddenBelow() const { return m_hideSmall ? m_smallSize : QSize(); }

    // The images' edits kept across parses and runs, and the listed images
    // whose edits no exported file holds.
    ImageEditStore &imageEdits() { return m_imageEdits; }
    int unexportedEditCount() const;

    // The window's undo history and the effects commands.
    UndoManager *undoManager() const { return m_undo; }
    EffectsController *effects() const { return m_effects; }
    std::size_t undoStepCount() const;
    // Undo or redo one step, then the sliders, the export settings and the
    // name pattern show the restored state.
    void undo();
    void redo();
    void selectAllImages();
    void setEffectsPanelVisible(bool visible);

    // Modifier keys last seen: Ctrl, Shift, Alt.
    void flagsChanged(Qt::KeyboardModifiers modifiers);
    bool commandPressed() const { return m_commandPressed; }
    bool shiftPressed() const { return m_shiftPressed; }

    // Where the window's HEIC files are encoded and written: a pool of their
    // own, so that no wait of Qt's on its global pool stalls the window.
    QThreadPool *heicPool() { return &m_heicPool; }

    // The window's export job runs (its commands are disabled meanwhile).
    void setExportRunning(bool running);
    bool exportRunning() const { return m_exportRunning; }

signals:
    void statusTextChanged(const QString &text);
    void exportFolderChanged(const QString &folder);
    // initExportFormats: the format list position to show.
    void exportFormatShown(int index);
    // initDpiCombo: the list position (-1 for none) and the text to show.
    void dpiShown(int index, const QString &text);
    void namePatternEnabled(bool enabled);
    void namePatternShown(const QString &text);
    void zoomChanged(int level, int edge);
    void alertRequested(const QString &message, const QString &text);
    // After every browser reload (the effects sliders follow the selection).
    void browserReloaded();

private:
    // Runs `work` on the main thread, after what was posted before it.
    void post(std::function<void()> work) { m_posts.post(std::move(work)); }
    void scheduleBrowserRefresh();
    void askNextPassword();
    void stopParse(const std::shared_ptr<PDFFileStruct> &file);
    // Removal as one undo step; undoing it puts the same records back.
    struct RemovedFile {
        int row;
        std::shared_ptr<PDFFileStruct> file;
        bool interrupted; // its parse was stopped: it is parsed again when back
    };
    void removeFiles(const QList<int> &rows);
    void restoreFiles(const QList<RemovedFile> &removed);
    void afterListChange();
    QList<int> selectedRows() const;
    int selectedThumbnailCount() const;
    void applyActionState();
    void centreSpinner();

    // First: the models below hand the context to their records, and the
    // loader runs on the pool.
    PostBox m_posts;
    QThreadPool m_pool;
    std::shared_ptr<CoreContext> m_context;
    FileTableModel *m_fileModel;
    QItemSelectionModel *m_fileSelection;
    ThumbnailLoader *m_loader;
    ThumbnailModel *m_thumbModel;
    QItemSelectionModel *m_thumbSelection;
    Actions *m_actions;
    QPointer<MySpinView> m_spin;
    FolderChooser m_folderChooser;
    PasswordAsker m_passwordAsker;
    QList<std::weak_ptr<PDFFileStruct>> m_passwordQueue;
    bool m_askingPassword = false;

    std::atomic<int> m_spinStart{0};
    std::atomic<int> m_previewUpdateCount{0};
    QThreadPool m_heicPool;
    std::vector<std::weak_ptr<PDFFileStruct>> m_everyFile;
    std::chrono::milliseconds m_parsePause{1000};

    QString m_statusText;
    bool m_lastInfoFromFileList = true;
    qint64 m_lastInfoImages = 0;
    QTimer m_browserTimer;
    QElapsedTimer m_lastBrowserReload;

    int m_zoomIdx = 0;
    QString m_exportFormat = QStringLiteral("PNG");
    float m_dpi = 72.0f;
    bool m_colorManaged = true;
    bool m_allImages = false;
    bool m_hideSmall = false;
    QSize m_smallSize{32, 32};
    ImageEditStore m_imageEdits;
    QString m_exportFolder;
    QStringList m_bookmarks;
    UndoManager *m_undo;
    EffectsController *m_effects;
    Focus m_focus = Focus::Other;
    bool m_effectsPanelVisible = false;
    std::atomic<bool> m_reloadPosted{false};
    bool m_commandPressed = false;
    bool m_shiftPressed = false;
    bool m_exportRunning = false;
};

} // namespace zembrix
