#include "AppTestSupport.h"

#include "Controller.h"
#include "ExportCommands.h"
#include "MainWindow.h"
#include "ThumbnailModel.h"

#include "pdf/PDFFileStruct.h"
#include "widgets/BaseColoredTextButton.h"
#include "widgets/KeshAlert.h"
#include "widgets/StatusLineView.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QMimeData>
#include <QToolButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace zembrix;

using apptest::waitUntil;

namespace {

// Visible buttons (first, second, third; empty when hidden) for each mask,
// and the button Escape presses (0: none, the panel stays).
TEST(KeshAlertTest, MasksTitlesAndReturnCodes)
{
    struct Row {
        int mask;
        QString first, second, third;
        int escape;
    };
    const Row rows[] = {
        {1, "OK", "", "", 1},
        {9, "OK", "Cancel", "", 2},
        {6, "Yes", "No", "", 0},
        {22, "Yes", "No", "Cancel", 3},
        {40, "Save...", "Cancel", "", 2},
        {104, "Save...", "Cancel", "Don't Save", 2},
    };
    QWidget parent;
    for (const Row &row : rows) {
        KeshAlert alert(&parent);
        alert.setButtons(row.mask);
        const auto shown = [](BaseColoredTextButton *b) { return b->isVisibleTo(b->parentWidget()) ? b->text() : QString(); };
        EXPECT_EQ(shown(alert.firstButton()), row.first) << row.mask;
        EXPECT_EQ(shown(alert.secondButton()), row.second) << row.mask;
        EXPECT_EQ(shown(alert.thirdButton()), row.third) << row.mask;
        EXPECT_TRUE(alert.firstButton()->stateOn());
        alert.open();
        QTest::keyClick(&alert, Qt::Key_Escape);
        EXPECT_EQ(alert.result(), row.escape) << row.mask;
        EXPECT_EQ(alert.isVisible(), row.escape == 0) << row.mask;
    }

    KeshAlert alert(&parent);
    alert.setMessage(QString(), QString());
    EXPECT_TRUE(alert.message().isEmpty());
    alert.setButtons(9);
    alert.open();
    QTest::keyClick(&alert, Qt::Key_Return);
    EXPECT_EQ(alert.result(), 1);
    alert.setButtons(104);
    alert.open();
    alert.thirdButton()->click();
    EXPECT_EQ(alert.result(), 3);
}

class ExportCommandsTest : public ::testing::Test
{
protected:
    ExportCommandsTest()
    {
        controller.setParsePause(std::chrono::milliseconds(0));
        window.exportCommands()->setFolderOpener([](const QUrl &) { return true; });
    }
    // Adds a PDF of `count` images and selects the thumbnails `rows`.
    void load(int count, std::initializer_list<int> rows, QSize size = QSize(24, 16))
    {
        const QString path = dir.filePath(QStringLiteral("doc.pdf"));
        apptest::writePdf(path, count, 0, size);
        controller.addPdfFile(path);
        ASSERT_TRUE(waitUntil([&] {
            return !controller.pdfFiles().first()->isThreading() && controller.thumbnailModel()->rowCount() == count;
        },
                              60000));
        for (int row : rows)
            controller.thumbnailSelection()->select(controller.thumbnailModel()->index(row), QItemSelectionModel::Select);
        QCoreApplication::processEvents(); // the actions follow the selection
    }
    ExportJobResult runUntilFinished(const std::function<void()> &whileRunning = nullptr)
    {
        QSignalSpy finished(window.exportCommands(), &ExportCommands::jobFinished);
        if (whileRunning)
            whileRunning();
        EXPECT_TRUE(waitUntil([&] { return !finished.isEmpty(); }, 120000));
        return finished.isEmpty() ? ExportJobResult{} : finished.first().first().value<ExportJobResult>();
    }

    QTemporaryDir dir;
    QTemporaryDir out;
    Controller controller;
    MainWindow window{&controller};
};

// Two of three selected images as PNG at 150 dpi: two files with the images'
// pixels and resolution; the clipboard then carries the first as TIFF and PNG.
TEST_F(ExportCommandsTest, ExportsTheSelectionAndCopiesTheFirst)
{
    load(3, {2, 0});
    controller.setExportPath(out.path());
    controller.setDpi(150);
    ASSERT_TRUE(controller.actions()->exportSelected->isEnabled());
    QSignalSpy finished(window.exportCommands(), &ExportCommands::jobFinished);
    controller.actions()->exportSelected->trigger();
    EXPECT_FALSE(controller.actions()->exportSelected->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty(); }));
    EXPECT_TRUE(controller.actions()->exportSelected->isEnabled());

    const QStringList files = QDir(out.path()).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(files, QStringList({"doc_000.png", "doc_002.png"}));
    for (int i : {0, 2}) {
        const QImage image(out.filePath(files[i / 2]));
        ASSERT_EQ(image.size(), QSize(24, 16));
        EXPECT_TRUE(apptest::near(image.pixelColor(3, 3), apptest::fixtureColor(i)));
        EXPECT_EQ(image.pixelColor(20, 3), QColor(Qt::black));
        EXPECT_NEAR(image.dotsPerMeterX() * 0.0254, 150.0, 0.5);
    }

    controller.thumbnailSelection()->clearSelection();
    controller.thumbnailSelection()->select(controller.thumbnailModel()->index(1), QItemSelectionModel::Select);
    QCoreApplication::processEvents(); // copying needs exactly one selected image
    ASSERT_TRUE(controller.actions()->copyImage->isEnabled());
    QSignalSpy copied(window.exportCommands(), &ExportCommands::copied);
    controller.actions()->copyImage->trigger();
    ASSERT_TRUE(waitUntil([&] { return !copied.isEmpty(); }));
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    for (const char *type : {"image/tiff", "image/png"}) {
        const QImage pasted = QImage::fromData(mime->data(QString::fromLatin1(type)));
        ASSERT_EQ(pasted.size(), QSize(24, 16)) << type;
        EXPECT_TRUE(apptest::near(pasted.pixelColor(3, 3), apptest::fixtureColor(1))) << type;
    }
}

// An export folder whose parent is gone: nothing is written, the alert says
// so, and the folder prompt follows once the alert is closed, not over it.
TEST_F(ExportCommandsTest, MissingFolderAlertComesBeforeTheFolderPrompt)
{
    load(2, {0});
    controller.setExportPath(out.filePath(QStringLiteral("gone/sub")));
    const auto prompt = [&] {
        const QList<QFileDialog *> dialogs = window.findChildren<QFileDialog *>();
        return std::any_of(dialogs.begin(), dialogs.end(), [](QFileDialog *d) { return d->isVisible(); });
    };
    QSignalSpy finished(window.exportCommands(), &ExportCommands::jobFinished);
    controller.actions()->exportSelected->trigger();
    ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty() && window.alertPanel(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(finished.first().first().value<ExportJobResult>().folderMissing);
    EXPECT_FALSE(prompt());
    QTest::keyClick(window.alertPanel(), Qt::Key_Return);
    EXPECT_TRUE(waitUntil(prompt));
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}

// A long TIFF export of large images cancelled after its first files: the
// job ends early and the folder holds only complete files of the right
// pixels, no temporary ones.
TEST_F(ExportCommandsTest, CancelledExportLeavesOnlyCompleteFiles)
{
    const int count = 60;
    const QSize size(900, 700);
    load(count, {}, size);
    controller.thumbnailSelection()->select(
        QItemSelection(controller.thumbnailModel()->index(0), controller.thumbnailModel()->index(count - 1)),
        QItemSelectionModel::Select);
    controller.setExportPath(out.filePath(QStringLiteral("new")));
    ExportCommands *commands = window.exportCommands();
    // Cancelled from the progress of the second image by the stop command
    // (Escape), which cancels a running export before anything else.
    QObject::connect(commands, &ExportCommands::progress, commands, [this](int done, int) {
        if (done == 2)
            controller.actions()->stop->trigger();
    });
    const ExportJobResult result = runUntilFinished([&] {
        commands->saveAsTIF();
        EXPECT_TRUE(commands->isRunning());
    });
    EXPECT_FALSE(commands->isRunning());
    EXPECT_TRUE(result.cancelled);
    const QFileInfoList files = QDir(out.filePath(QStringLiteral("new"))).entryInfoList(QDir::Files | QDir::Hidden);
    EXPECT_GE(files.size(), 2);
    EXPECT_LT(files.size(), count);
    EXPECT_EQ(result.filesWritten, files.size());
    for (const QFileInfo &file : files) {
        SCOPED_TRACE(file.fileName().toStdString());
        ASSERT_EQ(file.suffix(), "tiff");
        const QImage image = QImageReader(file.filePath()).read();
        ASSERT_EQ(image.size(), size);
        const int index = file.completeBaseName().section(QLatin1Char('_'), 1).toInt();
        EXPECT_TRUE(apptest::near(image.pixelColor(3, size.height() - 1), apptest::fixtureColor(index)));
        EXPECT_EQ(image.pixelColor(size.width() - 1, size.height() - 1), QColor(Qt::black));
    }
}

// View > Skip Duplicates: Export All writes the pictures of a file and its copy once.
TEST_F(ExportCommandsTest, ExportAllSkipsDuplicates)
{
    load(2, {});
    ASSERT_TRUE(QFile::copy(dir.filePath("doc.pdf"), dir.filePath("copy.pdf")));
    controller.addPdfFile(dir.filePath("copy.pdf"));
    ASSERT_TRUE(waitUntil([&] { return !controller.isParsing() && controller.thumbnailModel()->rowCount() == 4; }, 60000));
    controller.setExportPath(out.path());
    controller.actions()->skipDuplicates->trigger();
    EXPECT_EQ(runUntilFinished([&] { controller.actions()->exportAll->trigger(); }).duplicates, 2);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList({"doc_000.png", "doc_001.png"}));
}

// Files of an earlier export in the folder: the export asks once, and Replace, Keep Both and Skip
// do what they say; the status line tells what was written and shows the folder.
TEST_F(ExportCommandsTest, EarlierFilesAreReplacedKeptOrSkippedAsAnswered)
{
    load(2, {0, 1});
    controller.setExportPath(out.path());
    struct Row {
        const char *button;
        QStringList files;
        int written, skipped;
        const char *line;
    };
    const Row rows[] = {
        {"Replace", {"doc_000.png", "doc_001.png"}, 2, 0, "2 images written to "},
        {"Keep Both", {"doc_000 (2).png", "doc_000.png", "doc_001 (2).png", "doc_001.png"}, 2, 0, "2 images written to "},
        {"Skip", {"doc_000.png", "doc_001.png"}, 0, 2, "0 images written to "},
    };
    // Exports the selection, asked once, answering with the button of this text.
    const auto exportAnswering = [&](const QString &answer) {
        QSignalSpy asked(window.exportCommands(), &ExportCommands::existingFilesQuestion);
        QSignalSpy finished(window.exportCommands(), &ExportCommands::jobFinished);
        controller.actions()->exportSelected->trigger();
        EXPECT_EQ(asked.size(), 1);
        for (QMessageBox *question : window.findChildren<QMessageBox *>("existingFilesQuestion"))
            for (QAbstractButton *button : question->isVisible() ? question->buttons() : QList<QAbstractButton *>{})
                if (button->text() == answer)
                    button->click();
        EXPECT_TRUE(waitUntil([&] { return !finished.isEmpty(); }));
        return finished.isEmpty() ? ExportJobResult{} : finished.first().first().value<ExportJobResult>();
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.button);
        for (const QString &name : QDir(out.path()).entryList(QDir::Files))
            QFile::remove(out.filePath(name));
        for (const char *name : {"doc_000.png", "doc_001.png"})
            ASSERT_TRUE(fixture::writeFile(out.filePath(name), "earlier"));
        const ExportJobResult result = exportAnswering(row.button);
        EXPECT_EQ(result.filesWritten, row.written);
        EXPECT_EQ(result.skipped, row.skipped);
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files, QDir::Name), row.files);
        EXPECT_EQ(fixture::readFile(out.filePath("doc_000.png")) == "earlier", QByteArray(row.button) != "Replace");
        EXPECT_TRUE(window.statusLine()->text().startsWith(row.line + QDir::toNativeSeparators(out.path())));
        EXPECT_EQ(window.statusLine()->showButton()->isVisibleTo(window.statusLine()), row.written > 0);
    }
    // A failure names the file, the folder and the system's reason.
    QFile::remove(out.filePath("doc_000.png"));
    QFile::remove(out.filePath("doc_001.png"));
    ASSERT_TRUE(QDir(out.path()).mkdir("doc_000.png"));
    EXPECT_EQ(exportAnswering("Replace").failures, 1);
    EXPECT_TRUE(window.statusLine()->text().contains(
        QStringLiteral("1 image not written: doc_000.png in %1: Is a directory").arg(QDir::toNativeSeparators(out.path()))))
        << window.statusLine()->text().toStdString();
}

} // namespace
