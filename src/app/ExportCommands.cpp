#include "ExportCommands.h"

#include "Controller.h"
#include "PostBox.h"
#include "SmallImages.h"

#include "export/ExportFolder.h"
#include "export/ExportFormat.h"
#include "export/QueuedExportWriter.h"
#include "images/PDFImageStruct.h"
#include "images/PoolStart.h"
#include "pdf/PDFFileStruct.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QGuiApplication>
#include <QImageWriter>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QThreadPool>

#include <algorithm>

namespace zembrix {

namespace {

QByteArray encoded(const QImage &picture, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return {};
    QImageWriter writer(&buffer, format);
    if (!writer.write(picture))
        return {};
    return bytes;
}

} // namespace

ExportCommands::ExportCommands(Controller *controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_openFolder([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    // Files are written on the main thread, in hand-over order. The closures
    // go to the application's post box, so that a job outliving this object
    // still finishes.
    QPointer<Controller> owner(controller);
    PostBox *const main = PostBox::application();
    m_mainThread = main;
    m_writer = std::make_shared<QueuedExportWriter>([main](std::function<void()> work) { main->post(std::move(work)); },
                                                    [owner](std::function<void()> work) {
                                                        if (owner)
                                                            startOnPool(*owner->heicPool(), std::move(work));
                                                        else
                                                            work();
                                                    });
    Actions *a = controller->actions();
    connect(a->exportSelected, &QAction::triggered, this, &ExportCommands::saveImg);
    connect(a->exportAll, &QAction::triggered, this, &ExportCommands::saveImgAll);
    connect(a->exportJpg, &QAction::triggered, this, &ExportCommands::saveAsJPG);
    connect(a->exportTif, &QAction::triggered, this, &ExportCommands::saveAsTIF);
    connect(a->exportPng, &QAction::triggered, this, &ExportCommands::saveAsPNG);
    connect(a->exportIcns, &QAction::triggered, this, &ExportCommands::saveAsICNS);
    connect(a->copyImage, &QAction::triggered, this, &ExportCommands::copyImages);
    connect(a->openExportFolder, &QAction::triggered, this, &ExportCommands::openExportFolder);
}

ExportCommands::~ExportCommands()
{
    m_job.cancel();
}

void ExportCommands::saveImg()
{
    exportWithFolder(
        {Kind::Selected, ExportFormat::indexOfName(m_controller->exportFormat()).value_or(ExportFormat::Png), {}});
}

void ExportCommands::saveImgAll()
{
    exportWithFolder(
        {Kind::All, ExportFormat::indexOfName(m_controller->exportFormat()).value_or(ExportFormat::Png), {}});
}

void ExportCommands::saveAsJPG()
{
    exportWithFolder({Kind::Selected, ExportFormat::Jpeg, exportingImagesAsTitle(QStringLiteral("JPG"))});
}

void ExportCommands::saveAsTIF()
{
    exportWithFolder({Kind::Selected, ExportFormat::Tiff, exportingImagesAsTitle(QStringLiteral("TIF"))});
}

void ExportCommands::saveAsPNG()
{
    exportWithFolder({Kind::Selected, ExportFormat::Png, exportingImagesAsTitle(QStringLiteral("PNG"))});
}

void ExportCommands::saveAsICNS()
{
    exportWithFolder({Kind::IconFamilies, ExportFormat::Icns, {}});
}

void ExportCommands::exportWithFolder(const Request &request)
{
    if (m_running || m_asking)
        return;
    if (!m_controller->exportFolder().isEmpty()) {
        start(request);
        return;
    }
    startAfterFolderPrompt(request);
}

void ExportCommands::startAfterFolderPrompt(const Request &request)
{
    QPointer<ExportCommands> self(this);
    m_controller->modalOpenFolder([self, request](bool chosen) {
        if (self && chosen && !self->m_running && !self->m_asking)
            self->start(request);
    });
}

ImageRecordList ExportCommands::recordsOf(const Request &request) const
{
    if (request.kind != Kind::All)
        return m_controller->selectedImageRecords();
    // As startAllImagesExport chooses them.
    ImageRecordList records;
    for (const auto &file : m_controller->pdfFiles())
        if (file && file->IsSelected() && !file->isThreading())
            records += file->images();
    return records;
}

QStringList ExportCommands::existingFiles(const Request &request) const
{
    const QString folder = m_controller->exportFolder();
    ExportPathClaims plan; // the names the job will plan, in its order
    QStringList found;
    for (const auto &record : recordsOf(request)) {
        if (!record)
            continue;
        QStringList candidates;
        if (request.kind == Kind::IconFamilies) {
            candidates << plan.claimWithExtension(folder, record->imagename(), QStringLiteral("icns"));
        } else if (request.formatIndex == ExportFormat::Original) {
            const QString stem = plan.claim(folder, record->imagename(), request.formatIndex);
            for (const QString &extension : ExportFormat::originalExtensions())
                candidates << stem + QLatin1Char('.') + extension;
        } else {
            candidates << plan.claim(folder, record->imagename(), request.formatIndex);
        }
        for (const QString &path : candidates) {
            const QFileInfo info(path);
            if (!path.isEmpty() && (info.exists() || info.isSymLink()))
                found << info.fileName();
        }
        if (found.size() >= 4)
            break;
    }
    return found;
}

void ExportCommands::start(const Request &request)
{
    using Existing = ExportPathClaims::ExistingFiles;
    const QStringList existing = existingFiles(request);
    if (existing.isEmpty()) {
        run(request, Existing::KeepBoth);
        return;
    }
    auto *question = new QMessageBox(qobject_cast<QWidget *>(parent()));
    question->setObjectName(QStringLiteral("existingFilesQuestion"));
    question->setIcon(QMessageBox::Question);
    question->setWindowTitle(tr("Files Already There"));
    question->setText(
        tr("Files of an earlier export are in %1.").arg(QDir::toNativeSeparators(m_controller->exportFolder())));
    QStringList shown = existing.mid(0, 3);
    if (existing.size() > 3)
        shown << QStringLiteral("\u2026");
    question->setInformativeText(tr("%1\n\nReplace them, keep both (the new files get \" (2)\" names), or skip "
                                    "the images whose files are there?")
                                     .arg(shown.join(QLatin1Char('\n'))));
    QPushButton *replace = question->addButton(tr("Replace"), QMessageBox::DestructiveRole);
    QPushButton *keepBoth = question->addButton(tr("Keep Both"), QMessageBox::AcceptRole);
    QPushButton *skip = question->addButton(tr("Skip"), QMessageBox::ActionRole);
    QPushButton *cancel = question->addButton(QMessageBox::Cancel);
    question->setDefaultButton(keepBoth);
    question->setEscapeButton(cancel);
    question->setWindowModality(Qt::WindowModal);
    question->setAttribute(Qt::WA_DeleteOnClose);
    m_asking = true;
    QPointer<ExportCommands> self(this);
    connect(question, &QMessageBox::finished, this, [self, question, request, replace, keepBoth, skip] {
        if (!self)
            return;
        self->m_asking = false;
        const QAbstractButton *pressed = question->clickedButton();
        if (pressed == replace)
            self->run(request, Existing::Replace);
        else if (pressed == keepBoth)
            self->run(request, Existing::KeepBoth);
        else if (pressed == skip)
            self->run(request, Existing::Skip);
    });
    question->open();
    emit existingFilesQuestion();
}

void ExportCommands::run(const Request &request, ExportPathClaims::ExistingFiles existing)
{
    if (m_running)
        return;
    ExportJobSettings settings;
    settings.existingFiles = existing;
    settings.folder = m_controller->exportFolder();
    m_lastFolder = settings.folder;
    settings.spinTitle = request.title;
    settings.writer = m_writer;
    if (const QSize below = m_controller->hiddenBelow(); !below.isEmpty())
        settings.leaveOut = [below](const PDFImageStruct &image) { return SmallImages::isSmall(image, below); };
    QPointer<ExportCommands> self(this);
    PostBox *const main = m_mainThread;
    settings.imageFinished = [self, main](const ExportedImage &image) {
        const int done = image.position + 1;
        main->post([self, done] {
            if (self && self->m_running)
                emit self->progress(done, self->m_total);
        });
    };
    settings.jobFinished = [self, main, request](const ExportJobResult &result) {
        main->post([self, request, result] {
            if (self)
                self->finish(request, result);
        });
    };

    m_running = true;
    m_controller->setExportRunning(true);
    emit jobStarted();
    switch (request.kind) {
    case Kind::Selected:
        m_job = startSelectedImagesExport(m_controller->context(), m_controller->selectedImageRecords(),
                                          request.formatIndex, m_controller->dpi(), std::move(settings));
        break;
    case Kind::All:
        settings.skipDuplicates = m_controller->skipDuplicates();
        m_job = startAllImagesExport(m_controller->context(), m_controller->pdfFiles(), request.formatIndex,
                                     m_controller->dpi(), std::move(settings));
        break;
    case Kind::IconFamilies:
        m_job =
            startIconFamilyExport(m_controller->context(), m_controller->selectedImageRecords(), std::move(settings));
        break;
    }
    m_total = m_job.result().total;
    emit progress(0, m_total);
}

void ExportCommands::finish(const Request &request, const ExportJobResult &result)
{
    m_running = false;
    m_controller->setExportRunning(false);
    emit jobFinished(result);
    // The job has shown the missing-folder alert; a folder chosen now gets
    // the same export.
    if (result.folderMissing) {
        startAfterFolderPrompt(request);
    }
}

void ExportCommands::cancel()
{
    if (m_running)
        m_job.cancel();
}

void ExportCommands::copyImages()
{
    const ImageRecordList records = m_controller->selectedImageRecords();
    if (records.isEmpty())
        return;
    const std::shared_ptr<PDFImageStruct> record = records.first();
    QPointer<ExportCommands> self(this);
    startOnPool(*m_controller->workPool(), [self, record, main = m_mainThread] {
        QImage picture = record->applyAllEffects();
        if (picture.isNull())
            return;
        // The TIFF writer would store palette and alpha-only pictures
        // without their alpha.
        if (picture.hasAlphaChannel() && picture.depth() <= 8)
            picture = picture.convertToFormat(QImage::Format_ARGB32);
        QByteArray tiff = encoded(picture, "tiff");
        QByteArray png = encoded(picture, "png");
        if (tiff.isEmpty() && png.isEmpty())
            return;
        main->post([self, tiff, png] {
            if (!self)
                return;
            auto *mime = new QMimeData;
            if (!tiff.isEmpty())
                mime->setData(QStringLiteral("image/tiff"), tiff);
            if (!png.isEmpty())
                mime->setData(QStringLiteral("image/png"), png);
            QGuiApplication::clipboard()->setMimeData(mime);
            emit self->copied();
        });
    });
}

void ExportCommands::openExportFolder()
{
    const QString folder = m_controller->exportFolder();
    if (!folder.isEmpty() && QDir(folder).exists()) {
        showFolder(folder);
        return;
    }
    QPointer<ExportCommands> self(this);
    const auto prompt = [self] {
        if (!self)
            return;
        self->m_controller->modalOpenFolder([self](bool chosen) {
            if (!self || !chosen)
                return;
            const QString path = self->m_controller->exportFolder();
            self->showFolder(path);
            self->m_controller->addBookmark(path);
        });
    };
    if (folder.isEmpty()) {
        prompt();
        return;
    }
    // The alert is posted to the window; the prompt follows it there.
    m_controller->showAlert(noFolderAlertMessage(), noFolderAlertText(folder));
    QMetaObject::invokeMethod(this, prompt, Qt::QueuedConnection);
}

void ExportCommands::showFolder(const QString &folder)
{
    if (m_openFolder && !m_openFolder(QUrl::fromLocalFile(folder))) {
        qWarning("%s", qPrintable(QStringLiteral("No file manager could show %1").arg(folder)));
        emit folderNotShown(folder);
    }
}

} // namespace zembrix
