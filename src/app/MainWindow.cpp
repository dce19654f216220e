#include "MainWindow.h"

#include "Controller.h"
#include "DesktopIntegration.h"
#include "EffectsPanel.h"
#include "ExportCommands.h"
#include "ExportNotes.h"
#include "ExportOutcome.h"
#include "ExportSettings.h"
#include "FileIntake.h"
#include "FileTableModel.h"
#include "FileTableView.h"
#include "ImageBrowser.h"
#include "QuitConfirmation.h"
#include "SmallImages.h"
#include "InfoArea.h"
#include "ThumbnailModel.h"
#include "ViewerPage.h"
#include "WindowMenus.h"

#include "export/ExportFormat.h"
#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"
#include "widgets/BaseColoredButton.h"
#include "widgets/DrawnIcons.h"
#include "widgets/ExportProgressView.h"
#include "widgets/KeshAlert.h"
#include "widgets/MyPathControl.h"
#include "widgets/MySpinView.h"
#include "widgets/StatusLineView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSet>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

#include <climits>
#include <cmath>

namespace zembrix {

namespace {

QLabel *sectionLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setObjectName(QStringLiteral("sectionLabel"));
    return label;
}

// Tab stops for the summary text in the information area's font, so that
// its counts stand in two columns under "All" and "Selected": the labels end
// between the first and second stop ("Pdf Files:") and between the third and
// fourth ("Preview Images:"), the counts start at the fourth, and a count of
// four digits reaches past the fifth (its line has one tab less).
QList<qreal> summaryTabStops(const QFontMetricsF &m)
{
    const qreal files = m.horizontalAdvance(QStringLiteral("Pdf Files:"));
    const qreal images = m.horizontalAdvance(QStringLiteral("Preview Images:"));
    const qreal digit = m.horizontalAdvance(QLatin1Char('0'));
    const qreal gap = m.horizontalAdvance(QLatin1Char(' ')) * 2;
    QList<qreal> stops;
    stops << files * 0.5 << files + gap / 2;
    stops << std::max(images, stops.last() + gap) << stops.last() + gap * 2;                       // 3, 4: "All"
    stops << stops.last() + digit * 3.5;                                                           // 5
    stops << stops.last() + std::max(digit * 4, m.horizontalAdvance(QStringLiteral("All")) + gap); // 6
    stops << stops.last() + m.horizontalAdvance(QStringLiteral("  Se")); // 7: under "Selected"
    return stops;
}

} // namespace

MainWindow::MainWindow(Controller *controller, QWidget *parent)
    : QMainWindow(parent)
    , m_controller(controller)
{
    setWindowTitle(QStringLiteral("Zembrix"));
    setObjectName(QStringLiteral("Zembrix"));
    setAcceptDrops(true);
    resize(1240, 800);

    auto *top = new QSplitter(Qt::Horizontal);
    top->setChildrenCollapsible(false);
    top->addWidget(buildFilePanel());
    top->addWidget(buildBrowserArea());
    top->setStretchFactor(0, 0);
    top->setStretchFactor(1, 1);
    top->setSizes({310, 930});

    m_info = new QPlainTextEdit;
    m_info->setObjectName(QStringLiteral("infoStatusText"));
    m_info->setReadOnly(true);
    m_info->setLineWrapMode(QPlainTextEdit::NoWrap);
    {
        QTextOption option = m_info->document()->defaultTextOption();
        QList<QTextOption::Tab> tabs;
        for (qreal stop : summaryTabStops(QFontMetricsF(m_info->font())))
            tabs << QTextOption::Tab(stop, QTextOption::LeftTab);
        option.setTabs(tabs);
        m_info->document()->setDefaultTextOption(option);
        m_info->setTabStopDistance(QFontMetricsF(m_info->font()).horizontalAdvance(QLatin1Char(' ')) * 8);
    }
    m_info->setMinimumHeight(90);

    auto *outer = new QSplitter(Qt::Vertical);
    outer->setChildrenCollapsible(false);
    outer->addWidget(top);
    m_infoArea = new InfoArea(m_info);
    outer->addWidget(m_infoArea);
    outer->setStretchFactor(0, 1);
    outer->setStretchFactor(1, 0);
    outer->setSizes({600, 170});
    connect(m_infoArea, &InfoArea::collapsedChanged, this, [outer](bool collapsed) {
        if (!collapsed)
            outer->setSizes({std::max(200, outer->height() - 170), 170});
    });
    outer->setContentsMargins(6, 6, 6, 6);
    setCentralWidget(outer);

    m_export = new ExportCommands(m_controller, this);
    m_progress = new ExportProgressView;
    m_statusLine = new StatusLineView;
    statusBar()->addWidget(m_statusLine, 1);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->setSizeGripEnabled(false);
    connect(m_export, &ExportCommands::jobStarted, m_progress, &ExportProgressView::begin);
    connect(m_export, &ExportCommands::jobStarted, m_statusLine, &StatusLineView::clear);
    connect(m_export, &ExportCommands::progress, m_progress, &ExportProgressView::setProgress);
    connect(m_statusLine, &StatusLineView::showRequested, m_export, &ExportCommands::showLastFolder);
    connect(m_export, &ExportCommands::folderNotShown, this, [this](const QString &folder) {
        m_statusLine->showLine(tr("No program could show the folder %1").arg(QDir::toNativeSeparators(folder)));
    });
    connect(m_export, &ExportCommands::jobFinished, this, [this](const ExportJobResult &result) {
        m_progress->end();
        const ExportOutcome outcome = exportOutcome(result, m_export->lastFolder());
        m_statusLine->showLine(outcome.text, outcome.details, outcome.wroteFiles);
        const QString notes = exportNotesText(result);
        if (!notes.isEmpty())
            queueAlert(tr("Not every image had an original file"), notes);
    });
    connect(m_progress, &ExportProgressView::cancelRequested, m_export, &ExportCommands::cancel);

    buildMenus();

    m_unpause = new QTimer(this);
    m_unpause->setSingleShot(true);
    m_unpause->setInterval(200);
    connect(m_unpause, &QTimer::timeout, this, [this] { m_spin->setPaused(false); });

    // The controller's side.
    m_controller->setSpinView(m_spin);
    m_controller->setFolderChooser(
        [this](std::function<void(const QString &)> done) { chooseFolder(std::move(done)); });
    m_controller->setPasswordAsker(
        [this](const QString &name, bool wrong, std::function<void(std::optional<QByteArray>)> done) {
            askPassword(name, wrong, std::move(done));
        });
    connect(m_controller, &Controller::statusTextChanged, this, &MainWindow::showStatusText);
    connect(m_controller, &Controller::exportFolderChanged, m_pathControl, &MyPathControl::setPath);
    connect(m_controller, &Controller::exportFormatShown, m_format, &QComboBox::setCurrentIndex);
    connect(m_controller, &Controller::dpiShown, this, [this](int index, const QString &text) {
        const QSignalBlocker block(m_dpi);
        if (index >= 0)
            m_dpi->setCurrentIndex(index);
        m_dpi->setEditText(index >= 0 ? m_dpi->itemText(index) : text);
    });
    connect(m_controller, &Controller::namePatternEnabled, m_pattern, &QLineEdit::setEnabled);
    connect(m_controller, &Controller::namePatternShown, m_pattern, &QLineEdit::setText);
    connect(m_controller, &Controller::zoomChanged, this, [this](int, int edge) { m_browser->setThumbnailEdge(edge); });
    connect(m_controller, &Controller::alertRequested, this, &MainWindow::queueAlert);
    connect(m_controller->thumbnailSelection(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::showImageInfo);
    connect(m_controller, &Controller::browserReloaded, this, &MainWindow::showImageInfo);
    auto showCount = [this] {
        m_browserTitle->setText(tr("Images  \u00b7  %1").arg(m_controller->thumbnailModel()->rowCount()));
    };
    connect(m_controller->thumbnailModel(), &QAbstractItemModel::rowsInserted, this, showCount);
    connect(m_controller->thumbnailModel(), &QAbstractItemModel::rowsRemoved, this, showCount);
    connect(m_controller->thumbnailModel(), &QAbstractItemModel::modelReset, this, showCount);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            m_controller->updateStates();
    });
}

QWidget *MainWindow::buildFilePanel()
{
    auto *panel = new QWidget;
    panel->setObjectName(QStringLiteral("filePanel"));
    panel->setMinimumWidth(260);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 4, 8, 4);
    layout->setSpacing(6);

    layout->addWidget(sectionLabel(tr("PDF FILES")));
    m_table = new FileTableView;
    m_table->setModel(m_controller->fileModel());
    m_table->setSelectionModel(m_controller->fileSelection());
    m_table->setUpColumns();
    connect(m_table, &FileTableView::pdfFilesDropped, m_controller, &Controller::addPdfFiles);
    connect(m_table, &FileTableView::alertRequested, m_controller, &Controller::showAlert);
    layout->addWidget(m_table, 1);

    Actions *a = m_controller->actions();
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(actionButton(a->addFiles, QStringLiteral("add")));
    buttons->addWidget(actionButton(a->removeFilesButton, QStringLiteral("remove")));
    buttons->addSpacing(8);
    buttons->addWidget(actionButton(a->checkFiles, QStringLiteral("check")));
    buttons->addWidget(actionButton(a->clearSelection, QStringLiteral("clear")));
    buttons->addWidget(actionButton(a->reparseFiles, QStringLiteral("reparse")));
    buttons->addStretch(1);
    layout->addLayout(buttons);

    auto *patternRow = new QFormLayout;
    patternRow->setContentsMargins(0, 4, 0, 0);
    patternRow->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pattern = new QLineEdit;
    m_pattern->setObjectName(QStringLiteral("mNamePattern"));
    m_pattern->setPlaceholderText(QStringLiteral("$_###"));
    m_pattern->setToolTip(tr("Image names of the selected file: $ is the file name, ### the image number"));
    m_pattern->setEnabled(false);
    connect(m_pattern, &QLineEdit::editingFinished, this,
            [this] { m_controller->namePatternEdited(m_pattern->text()); });
    patternRow->addRow(tr("Name pattern"), m_pattern);
    layout->addLayout(patternRow);

    layout->addSpacing(10);
    layout->addWidget(sectionLabel(tr("EXPORT")));
    auto *form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setHorizontalSpacing(10);
    form->setVerticalSpacing(8);
    m_pathControl = new MyPathControl;
    m_pathControl->setObjectName(QStringLiteral("exportPathControl"));
    connect(m_pathControl, &MyPathControl::clicked, m_controller, &Controller::openFolder);
    connect(m_pathControl, &MyPathControl::folderDropped, m_controller, &Controller::setExportPath);
    form->addRow(tr("Folder"), m_pathControl);

    m_format = new QComboBox;
    m_format->setObjectName(QStringLiteral("mformatCombo"));
    m_format->addItems(ExportFormat::names());
    connect(m_format, &QComboBox::activated, this,
            [this](int) { m_controller->setExportFormat(m_format->currentText()); });
    form->addRow(tr("Format"), m_format);

    m_dpi = new QComboBox;
    m_dpi->setObjectName(QStringLiteral("mDpiCombo"));
    m_dpi->setEditable(true);
    m_dpi->setInsertPolicy(QComboBox::NoInsert);
    m_dpi->addItems(ExportSettings::dpiChoices());
    m_dpi->setToolTip(tr("Resolution written into the exported files (72 to 3600 dpi, or Auto: each image's resolution "
                         "where its page first draws it); the pixels stay as they are"));
    connect(m_dpi, &QComboBox::activated, this, [this](int) { m_controller->dpiEdited(m_dpi->currentText()); });
    connect(m_dpi->lineEdit(), &QLineEdit::editingFinished, this,
            [this] { m_controller->dpiEdited(m_dpi->lineEdit()->text()); });
    auto *dpiRow = new QHBoxLayout;
    dpiRow->addWidget(m_dpi, 1);
    dpiRow->addWidget(new QLabel(tr("dpi")));
    form->addRow(tr("Resolution"), dpiRow);
    layout->addLayout(form);
    layout->addSpacing(4);
    return panel;
}

QWidget *MainWindow::buildBrowserArea()
{
    m_browserArea = new QWidget;
    m_browserArea->setObjectName(QStringLiteral("browserArea"));
    auto *layout = new QVBoxLayout(m_browserArea);
    layout->setContentsMargins(8, 4, 4, 4);
    layout->setSpacing(6);

    auto *bar = new QHBoxLayout;
    m_browserTitle = sectionLabel(tr("Images  \u00b7  0"));
    bar->addWidget(m_browserTitle);
    bar->addStretch(1);
    Actions *a = m_controller->actions();
    // The edit buttons act on the selected thumbnails; the last one shows the panel.
    bar->addWidget(actionButton(a->rotateLeft, QStringLiteral("rotateleft")));
    bar->addWidget(actionButton(a->rotateRight, QStringLiteral("rotateright")));
    bar->addWidget(actionButton(a->flipHorizontal, QStringLiteral("fliph")));
    bar->addWidget(actionButton(a->flipVertical, QStringLiteral("flipv")));
    bar->addWidget(actionButton(a->showEffectsPanel, QStringLiteral("effects"), true));
    bar->addSpacing(14);
    bar->addWidget(actionButton(a->zoomSmall, QStringLiteral("small"), true));
    bar->addWidget(actionButton(a->zoomMiddle, QStringLiteral("middle"), true));
    bar->addWidget(actionButton(a->zoomLarge, QStringLiteral("large"), true));
    layout->addLayout(bar);

    m_browser = new ImageBrowser;
    m_browser->setObjectName(QStringLiteral("imageBrowser"));
    m_browser->setModel(m_controller->thumbnailModel());
    m_browser->setSelectionModel(m_controller->thumbnailSelection());
    m_browser->setThumbnailEdge(m_controller->thumbnailEdge());
    connect(m_browser, &ImageBrowser::pdfFilesDropped, m_controller, &Controller::addPdfFiles);
    connect(m_browser, &ImageBrowser::alertRequested, m_controller, &Controller::showAlert);
    m_browser->setWorkPool(m_controller->workPool());
    m_viewer = new ViewerPage(m_controller->thumbnailModel(), m_controller->thumbnailSelection());
    m_browserStack = new QStackedWidget;
    m_browserStack->addWidget(m_browser);
    m_browserStack->addWidget(m_viewer);
    connect(m_browser, &ImageBrowser::viewRequested, this,
            [this](const QModelIndex &index) { openViewer(index.row()); });
    connect(m_viewer, &ViewerPage::closed, this, [this](int row) {
        m_browserStack->setCurrentWidget(m_browser);
        const QModelIndex index = m_controller->thumbnailModel()->index(row);
        if (index.isValid()) {
            m_browser->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            m_browser->scrollTo(index);
        }
        m_browser->setFocus(Qt::OtherFocusReason);
    });
    layout->addWidget(m_browserStack, 1);

    m_spin = new MySpinView(m_browserArea);
    m_spin->hide();
    m_browserArea->installEventFilter(this);
    return m_browserArea;
}

BaseColoredButton *MainWindow::actionButton(QAction *action, const QString &picture, bool checkable)
{
    auto *button = new BaseColoredButton;
    const QSize size(30, 30);
    const qreal dpr = devicePixelRatioF();
    button->setImage(DrawnIcons::buttonPicture(picture, size, false, dpr));
    button->setAlternateImage(DrawnIcons::buttonPicture(picture, size, true, dpr));
    button->setFixedSize(size);
    button->setCheckable(checkable);
    auto sync = [button, action] {
        button->setEnabled(action->isEnabled());
        button->setToolTip(action->toolTip()
                           + (action->shortcut().isEmpty() ? QString()
                                                           : QStringLiteral("  (%1)").arg(
                                                               action->shortcut().toString(QKeySequence::NativeText))));
        if (action->isCheckable())
            button->setChecked(action->isChecked());
    };
    sync();
    connect(action, &QAction::changed, button, sync);
    // A size button shows the state the controller sets; the click only asks.
    connect(button, &QAbstractButton::clicked, action, [action, sync] {
        action->trigger();
        sync();
    });
    return button;
}

void MainWindow::buildMenus()
{
    Actions *a = m_controller->actions();
    for (QMenu *menu : WindowMenus::fillMenuBar(menuBar(), a))
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::refreshMenuState);

    // Window-wide keys work while a menu is closed.
    addActions({a->addFiles,       a->addFolder,      a->chooseExportFolder, a->reparseFiles, a->removeFiles,
                a->quit,           a->selectAllFiles, a->clearSelection,     a->checkFiles,   a->stop,
                a->zoomSmall,      a->zoomMiddle,     a->zoomLarge,          a->help,         a->undo,
                a->redo,           a->paste,          a->selectAllImages,    a->rotateLeft,   a->rotateRight,
                a->flipHorizontal, a->flipVertical,   a->showEffectsPanel,   a->minimize,     a->exportSelected,
                a->exportAll,      a->copyImage,      a->openExportFolder});

    connect(a->addFiles, &QAction::triggered, this, &MainWindow::openFiles);
    connect(a->addFolder, &QAction::triggered, this, [this] {
        auto *dialog = new QFileDialog(this, tr("Add Folder"));
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QFileDialog::fileSelected, m_controller, &Controller::addFolder);
        dialog->open();
    });
    connect(a->smallImageSize, &QAction::triggered, this, [this] {
        auto *dialog = new QInputDialog(this);
        dialog->setWindowTitle(tr("Small Image Size"));
        dialog->setLabelText(tr("Images narrower or lower than this (width x height) are small:"));
        dialog->setTextValue(SmallImages::sizeText(m_controller->smallImageSize()));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QInputDialog::textValueSelected, this, [this](const QString &text) {
            if (const auto size = SmallImages::parseSize(text)) {
                m_controller->setSmallImageSize(*size);
                m_controller->setHideSmallImages(true);
            } else {
                queueAlert(tr("Small Image Size"), tr("\"%1\" is not a size such as 32x32.").arg(text));
            }
        });
        dialog->open();
    });
    new QuitConfirmation(m_controller, this);
    connect(a->stop, &QAction::triggered, this, &MainWindow::stopPressed);
    connect(a->quit, &QAction::triggered, this, &QWidget::close);
    connect(a->help, &QAction::triggered, this, [this] {
        if (DesktopIntegration::helpPagePath().isEmpty())
            m_statusLine->showLine(tr("The help page is not installed"));
        else if (!DesktopIntegration::openHelp())
            m_statusLine->showLine(tr("No program could show the help page %1")
                                       .arg(QDir::toNativeSeparators(DesktopIntegration::helpPagePath())));
    });
    connect(a->about, &QAction::triggered, this, &MainWindow::showAbout);
    connect(a->minimize, &QAction::triggered, this, &QWidget::showMinimized);

    // The panel is docked beside the browser (or floats), never over it.
    m_effectsPanel = new EffectsPanel(m_controller->effects(), a, this);
    m_effectsDock = new QDockWidget(m_effectsPanel->windowTitle(), this);
    m_effectsDock->setObjectName(QStringLiteral("effectsDock"));
    m_effectsDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    m_effectsDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                               | QDockWidget::DockWidgetFloatable);
    m_effectsDock->setWidget(m_effectsPanel);
    addDockWidget(Qt::RightDockWidgetArea, m_effectsDock);
    m_effectsDock->hide();
    connect(m_effectsPanel, &EffectsPanel::visibilityChanged, m_controller, &Controller::setEffectsPanelVisible);
    connect(m_effectsPanel, &EffectsPanel::done, this, [this] { activateWindow(); });
    // The action's own check toggle is undone: the panel's visibility decides.
    connect(a->showEffectsPanel, &QAction::triggered, this, &MainWindow::showImageEffectsPanel);

    auto contextMenu = [this](QAbstractItemView *view, QMenu *menu) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view, menu](const QPoint &at) {
            view->setFocus(Qt::MouseFocusReason);
            refreshMenuState();
            menu->popup(view->viewport()->mapToGlobal(at));
        });
    };
    contextMenu(m_browser, WindowMenus::thumbnailMenu(a, this));
    contextMenu(m_table, WindowMenus::fileTableMenu(a, this));

    connect(qApp, &QApplication::focusChanged, this,
            [this] { m_controller->setFirstResponder(Controller::Focus(currentFocus())); });
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow()
{
    // QWidget's destructor hides the window, which moves the focus and
    // sends application events; none may reach this half-destroyed window.
    qApp->removeEventFilter(this);
    disconnect(qApp, nullptr, this, nullptr);
}

void MainWindow::showImageEffectsPanel()
{
    if (m_effectsDock->isVisible()) {
        m_effectsDock->close();
    } else {
        m_effectsPanel->show();
        m_effectsDock->show();
        m_effectsDock->raise();
    }
    m_controller->setEffectsPanelVisible(m_effectsPanel->isVisible());
}

void MainWindow::openViewer(int row)
{
    if (!m_controller->thumbnailModel()->recordAt(row))
        return;
    m_browserStack->setCurrentWidget(m_viewer);
    m_viewer->open(row);
}

int MainWindow::currentFocus() const
{
    QWidget *focus = QApplication::focusWidget();
    if (focus && (focus == m_browser || m_browser->isAncestorOf(focus)))
        return int(Controller::Focus::Browser);
    if (focus && (focus == m_table || m_table->isAncestorOf(focus)))
        return int(Controller::Focus::FileTable);
    return int(Controller::Focus::Other);
}

void MainWindow::refreshMenuState()
{
    m_controller->setFirstResponder(Controller::Focus(currentFocus()));
    m_controller->updatePrefState();
}

void MainWindow::openFiles()
{
    auto *dialog = new QFileDialog(this, tr("Add PDF Files"));
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setNameFilter(FileIntake::openDialogFilter());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::filesSelected, m_controller, &Controller::addPdfFiles);
    dialog->open();
}

void MainWindow::chooseFolder(std::function<void(const QString &)> done)
{
    // An alert that explains the prompt (a missing folder) is read first.
    if (m_alert || !m_pendingAlerts.isEmpty()) {
        m_afterAlerts = [this, done = std::move(done)]() mutable { chooseFolder(std::move(done)); };
        return;
    }
    auto *dialog = new QFileDialog(this, tr("Choose Export Folder"));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    // A folder that is gone opens its nearest existing parent.
    QString start = m_controller->exportFolder();
    while (!start.isEmpty() && !QFileInfo(start).isDir() && QFileInfo(start).path() != start)
        start = QFileInfo(start).path();
    if (QFileInfo(start).isDir())
        dialog->setDirectory(start);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [done](const QString &path) { done(path); });
    dialog->open();
}

// One file's password, window-modal; the text is not kept anywhere once
// handed on.
void MainWindow::askPassword(const QString &fileName, bool wrongBefore,
                             std::function<void(std::optional<QByteArray>)> done)
{
    auto *dialog = new QInputDialog(this);
    dialog->setObjectName(QStringLiteral("passwordDialog"));
    dialog->setWindowTitle(tr("Password"));
    dialog->setLabelText((wrongBefore ? tr("Wrong password for \u201c%1\u201d. Try again:")
                                      : tr("\u201c%1\u201d is protected by a password:"))
                             .arg(fileName));
    dialog->setTextEchoMode(QLineEdit::Password);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto answered = std::make_shared<bool>(false);
    connect(dialog, &QInputDialog::textValueSelected, this, [done, answered](const QString &text) {
        *answered = true;
        done(text.toUtf8());
    });
    connect(dialog, &QDialog::finished, this, [done, answered] {
        if (!*answered)
            done(std::nullopt);
    });
    dialog->open();
}

void MainWindow::stopPressed()
{
    // A running export job is cancelled first.
    if (m_export->isRunning()) {
        m_export->cancel();
        return;
    }
    m_controller->setFirstResponder(Controller::Focus(currentFocus()));
    m_controller->stopAction();
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About Zembrix"),
                       tr("<h3>Zembrix %1</h3><p>Gets the pictures out of PDF files: every embedded raster image, "
                          "decoded, shown and exported with its resolution.</p>")
                           .arg(QApplication::applicationVersion()));
}

void MainWindow::showImageInfo()
{
    const ImageRecordList selected = m_controller->selectedImageRecords();
    std::shared_ptr<PDFImageStruct> image = selected.size() == 1 ? selected.first() : nullptr;
    QString path;
    for (const auto &file : m_controller->pdfFiles())
        if (image && file->images().contains(image))
            path = file->filePath();
    m_infoArea->showImage(image, path);
    showStatusText(m_controller->statusText());
}

void MainWindow::showStatusText(const QString &text)
{
    // The facts of one image show beside the counts, not below them.
    const qsizetype rule = text.indexOf(QString(56, QLatin1Char('-')));
    m_info->setPlainText(m_infoArea->showsImage() && rule >= 0 ? text.left(rule + 56) : text);
    // Below the rule the information texts line their values up with tabs,
    // one or two after each label, as for evenly spaced stops. The spacing
    // chosen is the one that puts the most values in one column.
    const QFontMetricsF metrics(m_info->font());
    QTextDocument *document = m_info->document();
    QTextBlock first = document->begin();
    for (int i = 0; i < 4 && first.isValid(); ++i)
        first = first.next();
    QList<QStringList> lines;
    for (QTextBlock b = first; b.isValid(); b = b.next())
        if (b.text().contains(QLatin1Char('\t')))
            lines << b.text().split(QLatin1Char('\t'));
    if (lines.isEmpty())
        return;
    const qreal em = metrics.horizontalAdvance(QLatin1Char('M'));
    qreal bestSpacing = em * 2;
    int bestColumns = INT_MAX;
    for (qreal spacing = em * 1.5; spacing <= em * 4; spacing += 1.0) {
        QSet<int> columns;
        for (const QStringList &parts : lines) {
            qreal x = 0;
            for (qsizetype i = 0; i + 1 < parts.size(); ++i)
                x = (std::floor((x + metrics.horizontalAdvance(parts[i])) / spacing) + 1) * spacing;
            columns.insert(int(std::lround(x)));
        }
        if (columns.size() < bestColumns) {
            bestColumns = int(columns.size());
            bestSpacing = spacing;
        }
    }
    QList<QTextOption::Tab> stops;
    for (int i = 1; i <= 24; ++i)
        stops << QTextOption::Tab(bestSpacing * i, QTextOption::LeftTab);
    QTextBlockFormat format;
    format.setTabPositions(stops);
    QTextCursor cursor(document);
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        cursor.setPosition(b.position());
        cursor.setBlockFormat(format);
    }
}

// Alerts show one at a time, window-modal; a message that is already waiting
// is not queued twice, so a job whose every file fails asks once, not once
// per image.
void MainWindow::queueAlert(const QString &message, const QString &text)
{
    const QPair<QString, QString> alert(message, text);
    if (m_pendingAlerts.contains(alert) || (m_alert && m_alert->message() == message && m_alert->text() == text))
        return;
    m_pendingAlerts.append(alert);
    if (!m_alert)
        showNextAlert();
}

void MainWindow::showNextAlert()
{
    if (m_pendingAlerts.isEmpty()) {
        if (auto next = std::exchange(m_afterAlerts, nullptr))
            next();
        return;
    }
    const QPair<QString, QString> alert = m_pendingAlerts.takeFirst();
    m_alert = new KeshAlert(this);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    m_alert->setMessage(alert.first, alert.second);
    m_alert->setButtons(KeshAlert::Ok);
    connect(m_alert, &QDialog::finished, this, [this] {
        m_alert = nullptr;
        QMetaObject::invokeMethod(this, &MainWindow::showNextAlert, Qt::QueuedConnection);
    });
    m_alert->open();
}

void MainWindow::restoreFrame(const QByteArray &frame)
{
    if (!frame.isEmpty())
        restoreGeometry(frame);
}

bool MainWindow::acceptsPdfDrop(const QDropEvent *event) const
{
    // The export folder field takes folders only: PDF files dropped on it
    // are refused, not passed on to the window.
    const QWidget *over = childAt(event->position().toPoint());
    if (over && (over == m_pathControl || m_pathControl->isAncestorOf(over)))
        return false;
    return FileIntake::offersPdfFiles(event->mimeData()) && (event->possibleActions() & Qt::CopyAction);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsPdfDrop(event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::dragMoveEvent(QDragMoveEvent *event)
{
    if (!acceptsPdfDrop(event)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    if (!acceptsPdfDrop(event)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    m_controller->addPdfFiles(
        FileIntake::pdfPathsFromMime(event->mimeData(), [this](const QString &message, const QString &text) {
            m_controller->showAlert(message, text);
        }));
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    // The spinner holds still while the window edge is dragged.
    if (m_spin && m_spin->isSpinning()) {
        m_spin->setPaused(true);
        m_unpause->start();
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        // Platforms differ in whether a modifier key's own event carries
        // its modifier; the state after the event is what counts.
        const auto *key = static_cast<QKeyEvent *>(event);
        Qt::KeyboardModifiers modifiers = key->modifiers();
        const Qt::KeyboardModifier own = key->key() == Qt::Key_Control ? Qt::ControlModifier
                                         : key->key() == Qt::Key_Shift ? Qt::ShiftModifier
                                         : key->key() == Qt::Key_Alt   ? Qt::AltModifier
                                                                       : Qt::NoModifier;
        modifiers.setFlag(own, event->type() == QEvent::KeyPress);
        m_controller->flagsChanged(modifiers);
    }
    if (watched == m_browserArea && event->type() == QEvent::Resize && m_spin)
        m_spin->move(m_browserArea->width() / 2 - m_spin->width() / 2,
                     m_browserArea->height() / 2 - m_spin->height() / 2);
    return QMainWindow::eventFilter(watched, event);
}

} // namespace zembrix
