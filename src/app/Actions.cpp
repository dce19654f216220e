#include "Actions.h"

#include "widgets/DrawnIcons.h"

#include <QAction>
#include <QKeySequence>

namespace zembrix {

namespace {
QAction *makeAction(QObject *parent, const QString &text, const QString &icon, const QKeySequence &shortcut,
                    const QString &tip = QString())
{
    auto *action = new QAction(text, parent);
    if (!icon.isEmpty())
        action->setIcon(DrawnIcons::icon(icon));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    if (!tip.isEmpty())
        action->setToolTip(tip);
    return action;
}
} // namespace

Actions::Actions(QObject *parent)
    : QObject(parent)
{
    addFiles = makeAction(this, tr("&Add PDF Files\u2026"), QStringLiteral("add"), QKeySequence::Open,
                          tr("Add PDF files to the list"));
    addFolder = makeAction(this, tr("Add &Folder\u2026"), QString(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O),
                           tr("Add the PDF files inside a folder and its subfolders"));
    chooseExportFolder = makeAction(this, tr("Choose &Export Folder\u2026"), QStringLiteral("folder"),
                                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), tr("Choose the export folder"));
    removeFiles = makeAction(this, tr("&Remove Selected Files"), QStringLiteral("remove"), QKeySequence::Delete,
                             tr("Remove the selected files from the list"));
    checkFiles = makeAction(this, tr("Check / &Uncheck Selected Files"), QStringLiteral("check"),
                            QKeySequence(Qt::CTRL | Qt::Key_K), tr("Show or hide the images of the selected files"));
    clearSelection = makeAction(this, tr("&Deselect Files"), QStringLiteral("clear"),
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), tr("Deselect all files"));
    reparseFiles = makeAction(this, tr("&Parse Selected Files Again"), QStringLiteral("reparse"), QKeySequence::Refresh,
                              tr("Parse the selected files again"));
    stop = makeAction(this, tr("&Stop"), QStringLiteral("stop"), QKeySequence(Qt::Key_Escape),
                      tr("Stop parsing, or clear the selection"));
    selectAllFiles =
        makeAction(this, tr("Select All &Files"), QString(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    zoomSmall = makeAction(this, tr("&Small Thumbnails"), QStringLiteral("small"), QKeySequence(Qt::CTRL | Qt::Key_1),
                           tr("Small thumbnails"));
    zoomMiddle = makeAction(this, tr("&Medium Thumbnails"), QStringLiteral("middle"),
                            QKeySequence(Qt::CTRL | Qt::Key_2), tr("Medium thumbnails"));
    zoomLarge = makeAction(this, tr("&Large Thumbnails"), QStringLiteral("large"), QKeySequence(Qt::CTRL | Qt::Key_3),
                           tr("Large thumbnails"));
    for (QAction *zoom : {zoomSmall, zoomMiddle, zoomLarge})
        zoom->setCheckable(true);
    zoomSmall->setData(0);
    zoomMiddle->setData(1);
    zoomLarge->setData(2);
    colorManagement = makeAction(this, tr("&Color Management"), QString(), QKeySequence(),
                                 tr("Convert CMYK, ICC-based and Lab pictures through their colour profiles"));
    colorManagement->setCheckable(true);
    colorManagement->setChecked(true);
    allImages = makeAction(this, tr("&All Images"), QString(), QKeySequence(),
                           tr("Also find inline images and the images of annotations and patterns"));
    allImages->setCheckable(true);
    skipDuplicates = makeAction(this, tr("Skip &Duplicates"), QString(), QKeySequence(),
                                tr("Export All writes a picture equal to an earlier one only once"));
    skipDuplicates->setCheckable(true);
    hideSmallImages = makeAction(this, tr("&Hide Small Images"), QString(), QKeySequence(),
                                 tr("Hide slivers and tiny images from the browser and from Export All"));
    hideSmallImages->setCheckable(true);
    smallImageSize = makeAction(this, tr("Small Image &Size\u2026"), QString(), QKeySequence(),
                                tr("Images narrower or lower than this are small"));
    exportSelected = makeAction(this, tr("&Export Selected Images"), QStringLiteral("export"),
                                QKeySequence(Qt::CTRL | Qt::Key_E), tr("Export the selected images"));
    exportAll = makeAction(this, tr("Export &All Images"), QString(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
                           tr("Export every image of the checked files"));
    exportJpg = makeAction(this, tr("Export Selected as &JPEG"), QString(), QKeySequence());
    exportTif = makeAction(this, tr("Export Selected as &TIFF"), QString(), QKeySequence());
    exportPng = makeAction(this, tr("Export Selected as &PNG"), QString(), QKeySequence());
    exportIcns = makeAction(this, tr("Export Selected as &Icon Family"), QString(), QKeySequence());
    copyImage = makeAction(this, tr("&Copy Image"), QString(), QKeySequence::Copy,
                           tr("Copy the selected image to the clipboard"));
    openExportFolder =
        makeAction(this, tr("&Open Export Folder"), QString(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
                   tr("Show the export folder in the file manager"));
    removeFilesButton =
        makeAction(this, removeFiles->text(), QStringLiteral("remove"), QKeySequence(), removeFiles->toolTip());
    undo = makeAction(this, tr("&Undo"), QString(), QKeySequence::Undo);
    redo = makeAction(this, tr("&Redo"), QString(), QKeySequence::Redo);
    redo->setShortcuts(QKeySequence::Redo); // every binding of the platform (Ctrl+Shift+Z, Ctrl+Y)
    paste = makeAction(this, tr("&Paste"), QString(), QKeySequence::Paste);
    selectAllImages = makeAction(this, tr("Select &All Images"), QString(), QKeySequence::SelectAll);
    rotateLeft = makeAction(this, tr("Rotate &Left"), QStringLiteral("rotateleft"), QKeySequence(Qt::CTRL | Qt::Key_L),
                            tr("Turn the selected images a quarter left"));
    rotateRight = makeAction(this, tr("Rotate &Right"), QStringLiteral("rotateright"),
                             QKeySequence(Qt::CTRL | Qt::Key_R), tr("Turn the selected images a quarter right"));
    flipHorizontal =
        makeAction(this, tr("Mirror &Horizontally"), QStringLiteral("fliph"),
                   QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_H), tr("Mirror the selected images left to right"));
    flipVertical =
        makeAction(this, tr("Mirror &Vertically"), QStringLiteral("flipv"),
                   QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_V), tr("Mirror the selected images top to bottom"));
    resetAngle = makeAction(this, tr("Reset R&otation"), QString(), QKeySequence());
    resetFlip = makeAction(this, tr("Reset &Mirror"), QString(), QKeySequence());
    resetEffects = makeAction(this, tr("Reset &Colour Effects"), QString(), QKeySequence());
    showEffectsPanel = makeAction(this, tr("&Effects Panel"), QStringLiteral("effects"),
                                  QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_E), tr("Show or hide the effects panel"));
    showEffectsPanel->setCheckable(true);
    minimize = makeAction(this, tr("Mi&nimize"), QString(), QKeySequence(Qt::CTRL | Qt::Key_M));
    help = makeAction(this, tr("Zembrix &Help"), QStringLiteral("help"), QKeySequence::HelpContents);
    about = makeAction(this, tr("&About Zembrix"), QString(), QKeySequence());
    quit = makeAction(this, tr("&Quit"), QString(), QKeySequence::Quit);
    applyState(m_state);
}

void Actions::applyState(const State &state)
{
    m_state = state;
    const bool rows = state.selectedRows > 0;
    // The Delete key and the menu item act where the file table has the
    // keyboard; the file list's button acts on its selection at any time.
    removeFiles->setEnabled(state.focus == Focus::FileTable && rows && !state.busy);
    removeFilesButton->setEnabled(rows && !state.busy);
    reparseFiles->setEnabled(rows && !state.busy);
    checkFiles->setEnabled(rows);
    clearSelection->setEnabled(rows);
    const bool images = state.selectedThumbnails > 0 && !state.exportRunning;
    for (QAction *action : {exportSelected, exportJpg, exportTif, exportPng, exportIcns})
        action->setEnabled(images);
    exportAll->setEnabled(state.images > 0 && !state.exportRunning);
    copyImage->setEnabled(state.selectedThumbnails == 1);
    undo->setEnabled(state.canUndo);
    redo->setEnabled(state.canRedo);
    undo->setText(state.undoText.isEmpty() ? tr("&Undo") : tr("&Undo %1").arg(state.undoText));
    redo->setText(state.redoText.isEmpty() ? tr("&Redo") : tr("&Redo %1").arg(state.redoText));
    paste->setEnabled(false);
    for (QAction *action : {rotateLeft, rotateRight, flipHorizontal, flipVertical, resetAngle, resetFlip, resetEffects})
        action->setEnabled(state.selectedThumbnails > 0);
    selectAllImages->setEnabled(state.images > 0);
    showEffectsPanel->setChecked(state.effectsPanelVisible);
    // The stop command says what it would do where the focus is.
    if (state.focus == Focus::Browser) {
        stop->setText(state.selectedThumbnails == 1 ? tr("Unselect Image") : tr("Unselect All Images"));
        stop->setEnabled(state.selectedThumbnails > 0);
    } else if (state.focus == Focus::FileTable && rows) {
        stop->setText(tr("Unselect PDF File"));
        stop->setEnabled(true);
    } else {
        stop->setText(tr("Stop PDF Parsing"));
        stop->setEnabled(state.focus == Focus::FileTable && state.parsing);
    }
    // While an export runs, the stop command (and Escape) cancels it first.
    if (state.exportRunning) {
        stop->setText(tr("Cancel Export"));
        stop->setEnabled(true);
    }
    zoomSmall->setChecked(state.zoomIdx == 0);
    zoomMiddle->setChecked(state.zoomIdx == 1);
    zoomLarge->setChecked(state.zoomIdx == 2);
}

} // namespace zembrix
