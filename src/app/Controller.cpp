#include "Controller.h"

#include "EffectsController.h"
#include "UndoManager.h"

#include "ExportSettings.h"
#include "FileIntake.h"
#include "FolderIntake.h"
#include "SmallImages.h"
#include "FileTableModel.h"
#include "Preferences.h"
#include "SummaryText.h"
#include "ThumbnailLoader.h"
#include "ThumbnailModel.h"
#include "ThumbnailZoom.h"

#include "export/ExportFormat.h"
#include "images/EffectOperation.h"
#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"
#include "widgets/MySpinView.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QThread>

#include <algorithm>

namespace zembrix {

namespace {
constexpr int kLiveCountLimit = 30;    // files; above it counts refresh at the next reload
constexpr int kBrowserRefreshMs = 500; // while walks add images
const QString kDefaultPattern = QStringLiteral("$_###");
const QString kUpdatingPreviewTitle = QStringLiteral("Updating Preview...");
} // namespace

Controller::Controller(QObject *parent)
    : QObject(parent)
    , m_context(std::make_shared<CoreContext>(this, &m_pool))
    , m_fileModel(new FileTableModel(this))
    , m_fileSelection(new QItemSelectionModel(m_fileModel, this))
    , m_loader(new ThumbnailLoader(m_pool, this))
    , m_thumbModel(new ThumbnailModel(m_loader, this))
    , m_thumbSelection(new QItemSelectionModel(m_thumbModel, this))
    , m_actions(new Actions(this))
    , m_undo(new UndoManager(this))
    , m_effects(new EffectsController(this, m_undo))
{
    // Parses hold at most CoreContext::parsesAtOnce() workers and an export
    // job about as many (one per core); two more keep thumbnails, drag-out
    // files and the clipboard going meanwhile. Idle workers end by themselves.
    m_pool.setMaxThreadCount(2 * CoreContext::parsesAtOnce() + 2);
    m_pool.setObjectName(QStringLiteral("work"));
    m_browserTimer.setSingleShot(true);
    connect(&m_browserTimer, &QTimer::timeout, this, &Controller::reloadBrowser);
    connect(m_fileModel, &FileTableModel::checkToggleRequested, this, &Controller::extractCheckitPressed);
    connect(m_fileSelection, &QItemSelectionModel::selectionChanged, this, [this] {
        updatePrefState();
        updatePrefValue();
        setInfoText(true);
    });
    connect(m_thumbSelection, &QItemSelectionModel::selectionChanged, this,
            &Controller::imageBrowserSelectionDidChange);
    connect(m_actions->removeFiles, &QAction::triggered, this, &Controller::removeSelected);
    connect(m_actions->removeFilesButton, &QAction::triggered, this, &Controller::removeSelected);
    connect(m_actions->checkFiles, &QAction::triggered, this, &Controller::checkSelected);
    connect(m_actions->clearSelection, &QAction::triggered, this, &Controller::clearSelected);
    connect(m_actions->reparseFiles, &QAction::triggered, this, &Controller::parseSelectedPDF);
    connect(m_actions->colorManagement, &QAction::toggled, this, &Controller::setColorManaged);
    connect(m_actions->allImages, &QAction::toggled, this, &Controller::setAllImages);
    connect(m_actions->hideSmallImages, &QAction::toggled, this, &Controller::setHideSmallImages);
    connect(m_actions->selectAllFiles, &QAction::triggered, this, &Controller::selectAllBtn);
    connect(m_actions->chooseExportFolder, &QAction::triggered, this, &Controller::openFolder);
    for (QAction *zoom : {m_actions->zoomSmall, m_actions->zoomMiddle, m_actions->zoomLarge})
        connect(zoom, &QAction::triggered, this, [this, zoom] { setListZoom(zoom->data().toInt()); });
    connect(m_undo, &UndoManager::changed, this, &Controller::applyActionState);
    connect(m_actions->undo, &QAction::triggered, this, &Controller::undo);
    connect(m_actions->redo, &QAction::triggered, this, &Controller::redo);
    connect(m_actions->selectAllImages, &QAction::triggered, this, &Controller::selectAllImages);
    const std::pair<QAction *, EffectOperation> edits[] = {
        {m_actions->rotateLeft, EffectOperation::Rotate},
        {m_actions->rotateRight, EffectOperation::RotateRight},
        {m_actions->flipHorizontal, EffectOperation::FlipHorizontal},
        {m_actions->flipVertical, EffectOperation::FlipVertical},
        {m_actions->resetAngle, EffectOperation::ResetAngle},
        {m_actions->resetFlip, EffectOperation::ResetFlip},
    };
    for (const auto &[action, code] : edits)
        connect(action, &QAction::triggered, this, [this, code = code] { m_effects->selectedOperation(int(code)); });
    // The menu's reset sets the neutral values, as the panel's reset does.
    connect(m_actions->resetEffects, &QAction::triggered, m_effects, &EffectsController::resetImageEffects);
    connect(this, &Controller::browserReloaded, m_effects, &EffectsController::updateEffectsSliderValues);
    connect(m_thumbSelection, &QItemSelectionModel::selectionChanged, m_effects,
            &EffectsController::updateEffectsSliderValues);
}

Controller::~Controller()
{
    // Steps that bring removed files back hold them.
    m_undo->clear();
    m_browserTimer.stop();
    for (const auto &weak : m_everyFile)
        if (auto file = weak.lock())
            file->setIsThreading(false);
    m_heicPool.waitForDone();
    // Every parse, export and rendering ends (a stopped parse at once); what
    // a task posts here meanwhile is dropped with this object.
    m_pool.waitForDone();
    m_context->detach();
    m_fileModel->removeRecords([this] {
        QList<int> all;
        for (int r = 0; r < m_fileModel->rowCount(); ++r)
            all << r;
        return all;
    }());
    m_thumbModel->setRecords({});
}

void Controller::setSpinView(MySpinView *spinner)
{
    m_spin = spinner;
    if (m_spin)
        m_spin->hide();
}

// --- Start-up and shutdown ---------------------------------------------------

void Controller::awakeFromNib(Preferences &preferences)
{
    m_fileSelection->clearSelection();
    m_bookmarks.clear();
    setStatusText(QString());
    m_dpi = 72.0f;
    m_exportFormat = QStringLiteral("PNG");
    readPref(preferences);
    // The size the user left is the size shown again (see ThumbnailZoom).
    setListZoom(m_zoomIdx);
    initExportFormats();
    updatePrefState();
    updatePrefValue();
    setInfoText(true);
}

void Controller::applicationWillTerminate(Preferences &preferences)
{
    savePref(preferences);
}

void Controller::readPref(Preferences &preferences)
{
    const StoredPreferences values = preferences.read();
    setColorManaged(values.colorManagement);
    setAllImages(values.allImages);
    m_actions->skipDuplicates->setChecked(values.skipDuplicates);
    m_smallSize = values.smallImageSize;
    setHideSmallImages(values.hideSmallImages);
    if (!values.filesPresent)
        return;
    m_imageEdits.load(values.imageEdits);
    for (const QVariant &saved : values.savedFiles) {
        auto file = std::make_shared<PDFFileStruct>(m_context);
        file->setParsePause(m_parsePause);
        file->setColorManaged(m_colorManaged);
        file->setAllImages(m_allImages);
        file->setSelection(true);
        // Marked as running, the record takes its path and pattern without
        // starting a parse: a file that is gone meanwhile gets none.
        file->setIsThreading(true);
        file->readPref(saved);
        file->setIsThreading(false);
        if (file->filePath().isEmpty() || !file->IsValid() || isFileExistsInArray(file->filePath()))
            continue;
        m_imageEdits.fileAdded(*file);
        file->threadFillImageList();
        m_everyFile.push_back(file);
        m_fileModel->append(file);
        setInfoText(true);
    }
    if (values.exportFolder)
        setExportPath(*values.exportFolder);
    m_zoomIdx = values.zoomIdx;
    m_exportFormat = values.exportFormat;
    m_dpi = values.dpi;
    setListZoom(m_zoomIdx);
}

void Controller::savePref(Preferences &preferences)
{
    StoredPreferences values;
    values.filesPresent = true;
    for (const auto &file : pdfFiles())
        values.savedFiles.append(QVariant(file->savePref()));
    if (!m_exportFolder.isEmpty())
        values.exportFolder = m_exportFolder;
    values.zoomIdx = m_zoomIdx;
    values.exportFormat = m_exportFormat;
    values.dpi = m_dpi;
    values.colorManagement = m_colorManaged;
    values.allImages = m_allImages;
    values.skipDuplicates = skipDuplicates();
    values.hideSmallImages = m_hideSmall;
    values.smallImageSize = m_smallSize;
    values.imageEdits = m_imageEdits.save(pdfFiles());
    values.bookmarks = m_bookmarks;
    preferences.write(values);
    m_bookmarks.clear();
}

// --- CoreEvents -------------------------------------------------------

void Controller::setStatusText(const QString &text)
{
    post([this, text] {
        m_statusText = text;
        emit statusTextChanged(text);
    });
}

void Controller::setToolsButtonState()
{
    post([this] { applyActionState(); });
}

void Controller::updateIKDatasource()
{
    // Requests made before the reload runs are served by it: an edit of many
    // images reloads once.
    if (m_reloadPosted.exchange(true))
        return;
    post([this] {
        m_reloadPosted.store(false);
        reloadBrowser();
    });
}

void Controller::fileReadEnded(std::shared_ptr<PDFFileStruct> file)
{
    std::weak_ptr<PDFFileStruct> weak = file;
    post([this, weak] {
        const auto file = weak.lock();
        if (!file || !m_fileModel->files().contains(file))
            return;
        m_fileModel->refreshCounts();
        const QList<int> rows = selectedRows();
        if (rows.size() == 1 && m_fileModel->fileAt(rows.first()) == file)
            setInfoText(true);
        if (file->readStatus().state == PDFFileStruct::ReadStatus::State::Locked && m_passwordAsker) {
            m_passwordQueue.append(weak);
            askNextPassword();
        }
    });
}

void Controller::askNextPassword()
{
    while (!m_askingPassword && !m_passwordQueue.isEmpty()) {
        const auto file = m_passwordQueue.takeFirst().lock();
        if (!file || !m_fileModel->files().contains(file) || file->isThreading()
            || file->readStatus().state != PDFFileStruct::ReadStatus::State::Locked)
            continue;
        m_askingPassword = true;
        std::weak_ptr<PDFFileStruct> weak = file;
        QPointer<Controller> self(this);
        m_passwordAsker(file->fileName(), !file->password().isEmpty(),
                        [self, weak](std::optional<QByteArray> password) {
                            if (!self)
                                return;
                            self->m_askingPassword = false;
                            const auto file = weak.lock();
                            if (file && password && self->m_fileModel->files().contains(file)) {
                                // Read again with it; a wrong one asks again when that read ends.
                                file->setPassword(*password);
                                file->reparse();
                                self->m_fileModel->refreshCounts();
                            }
                            self->askNextPassword();
                        });
    }
}

void Controller::updateFileList()
{
    post([this] {
        if (pdfFiles().size() <= kLiveCountLimit)
            m_fileModel->refreshCounts();
        scheduleBrowserRefresh();
    });
}

void Controller::registerUndo(std::function<void()> undo)
{
    m_undo->registerUndo(std::move(undo));
}

std::size_t Controller::undoStepCount() const
{
    return std::size_t(m_undo->count());
}

void Controller::undo()
{
    m_undo->undo();
    m_effects->updateEffectsSliderValues();
    initExportFormats();
    updatePrefValue();
    m_thumbModel->refreshNames();
    applyActionState();
}

void Controller::redo()
{
    m_undo->redo();
    m_effects->updateEffectsSliderValues();
    initExportFormats();
    updatePrefValue();
    m_thumbModel->refreshNames();
    applyActionState();
}

void Controller::selectAllImages()
{
    const int rows = m_thumbModel->rowCount();
    if (rows > 0)
        m_thumbSelection->select(QItemSelection(m_thumbModel->index(0), m_thumbModel->index(rows - 1)),
                                 QItemSelectionModel::ClearAndSelect);
}

void Controller::setEffectsPanelVisible(bool visible)
{
    m_effectsPanelVisible = visible;
    applyActionState();
}

void Controller::flagsChanged(Qt::KeyboardModifiers modifiers)
{
    m_commandPressed = modifiers.testFlag(Qt::ControlModifier);
    m_shiftPressed = modifiers.testFlag(Qt::ShiftModifier);
}

void Controller::setFirstResponder(Focus focus)
{
    if (focus == m_focus)
        return;
    m_focus = focus;
    applyActionState();
}

bool Controller::isParsing() const
{
    if (runningParses() > 0)
        return true;
    for (const auto &file : pdfFiles())
        if (file->isThreading())
            return true;
    return false;
}

void Controller::showAlert(const QString &message, const QString &text)
{
    post([this, message, text] { emit alertRequested(message, text); });
}

void Controller::setSpinTitle(const QString &title)
{
    post([this, title] {
        if (m_spin)
            m_spin->title(title);
    });
}

// --- Busy periods ------------------------------------------------------------------

void Controller::startSpin()
{
    if (m_spinStart.fetch_add(1) >= 1)
        return;
    post([this] {
        updatePrefState();
        if (!m_spin)
            return;
        centreSpinner();
        m_spin->show();
        m_spin->raise();
        m_spin->update();
        m_spin->go();
    });
}

void Controller::stopSpin()
{
    int value = m_spinStart.load();
    while (value > 0 && !m_spinStart.compare_exchange_weak(value, value - 1)) {
    }
    if (value <= 0)
        return;
    post([this] {
        if (m_spinStart.load() == 0) {
            if (m_spin) {
                m_spin->hide();
                m_spin->stop();
            }
            updatePrefState();
        }
        if (m_spin)
            m_spin->title();
    });
}

void Controller::centreSpinner()
{
    if (!m_spin || !m_spin->parentWidget())
        return;
    const QSize outer = m_spin->parentWidget()->size();
    m_spin->move(outer.width() / 2 - m_spin->width() / 2, outer.height() / 2 - m_spin->height() / 2);
}

// --- File list -------------------------------------------------------------------------

const FileRecordList &Controller::pdfFiles() const
{
    return m_fileModel->files();
}

bool Controller::isFileExistsInArray(const QString &path) const
{
    for (const auto &file : pdfFiles())
        if (file->filePath() == path)
            return true;
    return false;
}

void Controller::addPdfFile(const QString &path)
{
    if (isFileExistsInArray(path))
        return;
    auto file = std::make_shared<PDFFileStruct>(m_context);
    file->setParsePause(m_parsePause);
    file->setColorManaged(m_colorManaged);
    file->setAllImages(m_allImages);
    if (file->namePattern().isEmpty())
        file->setNamePatternDirect(kDefaultPattern);
    // Checked before the parse starts, so that its end refreshes the browser.
    file->setSelection(true);
    file->setFilePath(path);
    m_imageEdits.fileAdded(*file);
    m_everyFile.push_back(file);
    m_fileModel->append(file);
    setInfoText(true);
}

void Controller::addPdfFiles(const QStringList &paths)
{
    // The running-parse count is left alone: parses of earlier files may
    // still be running, and they count themselves out when they end.
    QStringList fresh;
    for (const QString &path : paths)
        if (!isFileExistsInArray(path) && !fresh.contains(path))
            fresh << path;
    if (fresh.isEmpty())
        return;
    if (m_spin)
        m_spin->title(FileIntake::parsingTitle());
    for (const QString &path : fresh)
        addPdfFile(path);
}

QList<int> Controller::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_fileSelection->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

ImageRecordList Controller::selectedImageRecords() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_thumbSelection->selectedIndexes())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    ImageRecordList records;
    for (int row : rows)
        if (auto record = m_thumbModel->recordAt(row))
            records << record;
    return records;
}

int Controller::selectedThumbnailCount() const
{
    return int(m_thumbSelection->selectedIndexes().size());
}

void Controller::stopParse(const std::shared_ptr<PDFFileStruct> &file)
{
    if (file && file->isThreading())
        file->setIsThreading(false);
}

void Controller::checkSelected()
{
    if (m_previewUpdateCount.load() != 0)
        return;
    if (m_spin)
        m_spin->title(kUpdatingPreviewTitle);
    startSpin();
    m_previewUpdateCount.fetch_add(1);
    for (int row : selectedRows()) {
        const auto file = m_fileModel->fileAt(row);
        if (!file || file->isThreading())
            continue;
        file->setSelection(!file->IsSelected());
        reloadBrowser();
    }
    m_fileModel->refreshChecks();
    stopSpin();
    updateStates();
    m_previewUpdateCount.fetch_sub(1);
}

void Controller::extractCheckitPressed(int row)
{
    const auto file = m_fileModel->fileAt(row);
    if (!file)
        return;
    if (file->isThreading() || m_previewUpdateCount.load() != 0) {
        m_fileModel->refreshChecks();
        return;
    }
    if (m_spin)
        m_spin->title(kUpdatingPreviewTitle);
    startSpin();
    file->setSelection(!file->IsSelected());
    m_fileModel->refreshChecks();
    m_previewUpdateCount.fetch_add(1);
    post([this] {
        reloadBrowser();
        setToolsButtonState();
        setInfoText(false);
        m_previewUpdateCount.fetch_sub(1);
        stopSpin();
    });
}

void Controller::clearSelected()
{
    m_fileSelection->clearSelection();
    m_fileModel->refreshChecks();
    setInfoText(true);
    setToolsButtonState();
}

void Controller::removeSelected()
{
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty())
        removeFiles(rows);
}

void Controller::removeFiles(const QList<int> &rows)
{
    QList<RemovedFile> removed;
    for (int row : rows) {
        const auto file = m_fileModel->fileAt(row);
        if (!file)
            continue;
        removed.append({row, file, file->isThreading()});
        stopParse(file);
    }
    if (removed.isEmpty())
        return;
    std::sort(removed.begin(), removed.end(), [](const RemovedFile &a, const RemovedFile &b) { return a.row < b.row; });
    m_fileModel->removeRecords(rows);
    registerUndo([this, removed] { restoreFiles(removed); });
    m_undo->setActionName(removed.size() == 1 ? tr("Remove File") : tr("Remove Files"));
    afterListChange();
}

void Controller::restoreFiles(const QList<RemovedFile> &removed)
{
    // In ascending rows, each goes back to its old place.
    QList<std::shared_ptr<PDFFileStruct>> back;
    for (const RemovedFile &entry : removed) {
        if (isFileExistsInArray(entry.file->filePath()))
            continue; // added again meanwhile
        m_fileModel->insert(entry.row, entry.file);
        back << entry.file;
        if (entry.interrupted) {
            m_imageEdits.keepEditsOf(*entry.file);
            entry.file->reparse();
        }
    }
    registerUndo([this, back] {
        QList<int> rows;
        for (int row = 0; row < m_fileModel->rowCount(); ++row)
            if (back.contains(m_fileModel->fileAt(row)))
                rows << row;
        removeFiles(rows);
    });
    afterListChange();
}

void Controller::afterListChange()
{
    reloadBrowser();
    m_fileModel->refreshCounts();
    setInfoText(true);
    setToolsButtonState();
    updatePrefState();
}

int Controller::unexportedEditCount() const
{
    int count = 0;
    for (const auto &file : pdfFiles())
        for (const auto &image : file->images())
            count += image->hasUnexportedEdits() ? 1 : 0;
    return count;
}

void Controller::addFolder(const QString &folder)
{
    const FolderIntake::Found found = FolderIntake::pdfFilesIn(folder);
    if (found.limitReached)
        showAlert(tr("Add Folder"), FolderIntake::limitText(folder, found));
    addPdfFiles(found.paths);
}

void Controller::setHideSmallImages(bool hide)
{
    m_actions->hideSmallImages->setChecked(hide);
    if (hide == m_hideSmall)
        return;
    m_hideSmall = hide;
    reloadBrowser();
    setInfoText(m_lastInfoFromFileList);
    applyActionState();
}

void Controller::setSmallImageSize(QSize size)
{
    if (size.isEmpty() || size == m_smallSize)
        return;
    m_smallSize = size;
    if (m_hideSmall) {
        reloadBrowser();
        setInfoText(m_lastInfoFromFileList);
        applyActionState();
    }
}

void Controller::setColorManaged(bool managed)
{
    m_actions->colorManagement->setChecked(managed); // toggles back into here once
    if (managed == m_colorManaged)
        return;
    m_colorManaged = managed;
    parseEveryFileAgain([managed](PDFFileStruct &file) { file.setColorManaged(managed); });
}

bool Controller::skipDuplicates() const
{
    return m_actions->skipDuplicates->isChecked();
}

void Controller::setAllImages(bool all)
{
    m_actions->allImages->setChecked(all);
    if (all == m_allImages)
        return;
    m_allImages = all;
    parseEveryFileAgain([all](PDFFileStruct &file) { file.setAllImages(all); });
}

void Controller::parseEveryFileAgain(const std::function<void(PDFFileStruct &)> &apply)
{
    for (const auto &file : pdfFiles()) {
        stopParse(file);
        apply(*file);
        m_imageEdits.keepEditsOf(*file);
        file->reparse();
    }
    reloadBrowser();
    m_fileModel->refreshCounts();
    setInfoText(true);
}

void Controller::parseSelectedPDF()
{
    const QList<int> rows = selectedRows();
    for (int row : rows)
        stopParse(m_fileModel->fileAt(row));
    for (int row : rows) {
        if (const auto file = m_fileModel->fileAt(row)) {
            // A file whose last read failed or was stopped is read again
            // where it stands: it stays checked.
            if (!file->readStatus().isProblem())
                file->setSelection(false);
            m_imageEdits.keepEditsOf(*file);
            file->reparse();
        }
    }
    reloadBrowser();
    m_fileModel->refreshChecks();
    m_fileModel->refreshCounts();
    setInfoText(true);
}

void Controller::selectAllBtn()
{
    if (m_fileModel->rowCount() == 0)
        return;
    m_fileSelection->select(
        QItemSelection(m_fileModel->index(0, 0),
                       m_fileModel->index(m_fileModel->rowCount() - 1, FileTableModel::ColumnCount - 1)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void Controller::stopAction(Focus focus)
{
    if (focus == Focus::Browser && m_thumbSelection->hasSelection()) {
        m_thumbSelection->clearSelection();
        return;
    }
    if (focus != Focus::FileTable)
        return;
    if (!isParsing()) {
        if (m_fileSelection->hasSelection())
            clearSelected();
        return;
    }
    for (const auto &file : pdfFiles())
        stopParse(file);
}

qint64 Controller::countPDFImages() const
{
    if (m_hideSmall)
        return SmallImages::withoutSmall(ThumbnailSequence::collect(pdfFiles()), m_smallSize).size();
    return ThumbnailSequence::count(pdfFiles());
}

std::shared_ptr<PDFImageStruct> Controller::imageFromIKInadex(quint64 index) const
{
    if (m_hideSmall) {
        const ImageRecordList shown = SmallImages::withoutSmall(ThumbnailSequence::collect(pdfFiles()), m_smallSize);
        return index < quint64(shown.size()) ? shown[qsizetype(index)] : nullptr;
    }
    return ThumbnailSequence::imageAt(pdfFiles(), index);
}

// --- Status area ---------------------------------------------------------------------------

void Controller::setInfoText(bool fromFileList)
{
    post([this, fromFileList] {
        SummaryCounts counts;
        counts.files = pdfFiles().size();
        const QList<int> rows = selectedRows();
        counts.selectedRows = rows.size();
        counts.images = countPDFImages();
        const QModelIndexList thumbnails = m_thumbSelection->selectedIndexes();
        counts.selectedThumbnails = thumbnails.size();
        QString detail;
        if (!fromFileList && thumbnails.size() == 1) {
            if (const auto image = m_thumbModel->recordAt(thumbnails.first().row()))
                detail = imageDetail(image->imagename(), image->info());
        } else if (fromFileList || thumbnails.isEmpty()) {
            if (rows.size() == 1)
                if (const auto file = m_fileModel->fileAt(rows.first())) {
                    detail = file->info();
                    const PDFFileStruct::ReadStatus status = file->readStatus();
                    if (status.state == PDFFileStruct::ReadStatus::State::Stopped)
                        detail = QStringLiteral("Reading %1 pages (F5 reads on)\n").arg(status.text()) + detail;
                }
        }
        m_lastInfoFromFileList = fromFileList;
        m_lastInfoImages = counts.images;
        m_statusText = summaryText(counts, detail);
        emit statusTextChanged(m_statusText);
    });
}

void Controller::updateStates()
{
    setToolsButtonState();
    setInfoText(false);
}

// --- Thumbnail browser ----------------------------------------------------------------------

void Controller::reloadBrowser()
{
    m_browserTimer.stop();
    m_lastBrowserReload.restart();
    m_imageEdits.applyPending(pdfFiles());
    m_thumbModel->setRecords(SmallImages::withoutSmall(ThumbnailSequence::collect(pdfFiles()), hiddenBelow()));
    if (pdfFiles().size() <= kLiveCountLimit)
        m_fileModel->refreshCounts();
    // The summary follows the images found since it was made.
    if (countPDFImages() != m_lastInfoImages)
        setInfoText(m_lastInfoFromFileList);
    emit browserReloaded();
}

void Controller::scheduleBrowserRefresh()
{
    if (m_browserTimer.isActive())
        return;
    const qint64 since = m_lastBrowserReload.isValid() ? m_lastBrowserReload.elapsed() : kBrowserRefreshMs;
    if (since >= kBrowserRefreshMs)
        reloadBrowser();
    else
        m_browserTimer.start(int(kBrowserRefreshMs - since));
}

void Controller::imageBrowserSelectionDidChange()
{
    setToolsButtonState();
    setInfoText(false);
    updatePrefValue();
}

void Controller::setListZoom(int level)
{
    m_zoomIdx = level;
    applyActionState();
    const int edge = thumbnailEdge();
    m_thumbModel->setThumbnailEdge(edge);
    emit zoomChanged(level, edge);
}

int Controller::thumbnailEdge() const
{
    return ThumbnailZoom::edgeForLevel(m_zoomIdx);
}

// --- Controls that follow the file selection --------------------------------------------------

void Controller::applyActionState()
{
    Actions::State state;
    state.selectedRows = int(selectedRows().size());
    state.busy = m_spinStart.load() > 0;
    state.selectedThumbnails = selectedThumbnailCount();
    state.images = countPDFImages();
    state.zoomIdx = m_zoomIdx;
    state.focus = m_focus;
    state.parsing = isParsing();
    state.canUndo = m_undo->canUndo();
    state.canRedo = m_undo->canRedo();
    state.undoText = m_undo->undoText();
    state.redoText = m_undo->redoText();
    state.effectsPanelVisible = m_effectsPanelVisible;
    state.exportRunning = m_exportRunning;
    m_actions->applyState(state);
}

void Controller::setExportRunning(bool running)
{
    m_exportRunning = running;
    applyActionState();
}

void Controller::updatePrefState()
{
    applyActionState();
    emit namePatternEnabled(selectedRows().size() == 1);
}

void Controller::updatePrefValue()
{
    const QList<int> rows = selectedRows();
    const auto file = rows.size() == 1 ? m_fileModel->fileAt(rows.first()) : nullptr;
    emit namePatternShown(file ? file->namePattern() : QString());
}

void Controller::namePatternEdited(const QString &text)
{
    const QList<int> rows = selectedRows();
    if (rows.size() != 1)
        return;
    const auto file = m_fileModel->fileAt(rows.first());
    if (!file)
        return;
    const QString pattern = text.isEmpty() ? kDefaultPattern : text;
    if (const QString problem = PDFImageStruct::namePatternProblem(pattern); !problem.isEmpty()) {
        // The field goes back to the file's pattern before the alert takes the focus.
        updatePrefValue();
        showAlert(tr("Name Pattern"), tr("The name pattern \"%1\" is refused: %2.").arg(pattern, problem));
        return;
    }
    if (pattern != file->namePattern()) {
        file->setNamePattern(pattern);
        m_undo->setActionName(tr("Name Pattern"));
        m_thumbModel->refreshNames();
        setInfoText(false);
    }
    updatePrefValue();
}

// --- Export settings -----------------------------------------------------------------------------

void Controller::setExportFormat(const QString &name)
{
    if (!ExportFormat::indexOfName(name) || name == m_exportFormat)
        return;
    const QString old = m_exportFormat;
    registerUndo([this, old] {
        setExportFormat(old);
        initExportFormats();
    });
    m_undo->setActionName(tr("Format"));
    m_exportFormat = name;
}

void Controller::setDpi(float dpi)
{
    const float old = m_dpi;
    registerUndo([this, old] {
        setDpi(old);
        initDpiCombo();
    });
    m_undo->setActionName(tr("Resolution"));
    m_dpi = dpi;
}

void Controller::dpiEdited(const QString &text)
{
    float value = 0;
    switch (ExportSettings::classifyDpiText(text, &value)) {
    case ExportSettings::DpiEdit::Apply:
        if (value != m_dpi)
            setDpi(value);
        break;
    // The corrected value the field shows is the value used, so that the
    // field never shows one resolution while export writes another.
    case ExportSettings::DpiEdit::SelectFirst:
        if (m_dpi != ExportSettings::kLowestTypedDpi)
            setDpi(ExportSettings::kLowestTypedDpi);
        break;
    case ExportSettings::DpiEdit::ShowMaximum:
        if (m_dpi != ExportSettings::kHighestTypedDpi)
            setDpi(ExportSettings::kHighestTypedDpi);
        break;
    case ExportSettings::DpiEdit::ShowCurrent: break;
    }
    initDpiCombo();
}

void Controller::initExportFormats()
{
    emit exportFormatShown(ExportFormat::indexOfName(m_exportFormat).value_or(0));
    initDpiCombo();
}

void Controller::initDpiCombo()
{
    emit dpiShown(ExportSettings::dpiChoiceIndex(m_dpi), ExportSettings::dpiText(m_dpi));
}

void Controller::setExportPath(const QString &folder)
{
    m_exportFolder = folder;
    emit exportFolderChanged(folder);
}

void Controller::modalOpenFolder(std::function<void(bool)> completion)
{
    if (!m_folderChooser)
        return;
    QPointer<Controller> self(this);
    m_folderChooser([self, completion](const QString &path) {
        if (!self || path.isEmpty())
            return;
        self->setExportPath(path);
        if (completion)
            completion(!self->exportFolder().isEmpty());
    });
}

} // namespace zembrix
