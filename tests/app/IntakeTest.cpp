#include "AppTestSupport.h"

#include "Controller.h"
#include "FileIntake.h"
#include "ImageBrowser.h"
#include "MainWindow.h"
#include "ThumbnailModel.h"

#include "pdf/PDFFileStruct.h"
#include "widgets/MyPathControl.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zembrix;

namespace {

using apptest::dragAndDrop;
using apptest::mimeOf;

// A PDF named in capitals next to a text file, dropped on the browser: only
// the PDF is added.
TEST(Intake, DropOnTheBrowserAddsOnlyPdfFiles)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("SCAN.PDF");
    apptest::writePdf(pdf, 1);
    ASSERT_TRUE(fixture::writeFile(dir.filePath("notes.txt"), ""));

    Controller controller;
    controller.setParsePause(std::chrono::milliseconds(0));
    ImageBrowser browser;
    browser.setModel(controller.thumbnailModel());
    QObject::connect(&browser, &ImageBrowser::pdfFilesDropped, &controller, &Controller::addPdfFiles);
    EXPECT_TRUE(dragAndDrop(browser.viewport(), {dir.filePath("notes.txt"), pdf}, QPoint(10, 10)));

    ASSERT_EQ(controller.pdfFiles().size(), 1);
    EXPECT_EQ(controller.pdfFiles()[0]->filePath(), pdf);
    ASSERT_TRUE(apptest::waitUntil([&] { return controller.thumbnailModel()->rowCount() == 1; }));

    // A drag of text files alone is refused at the door.
    EXPECT_FALSE(dragAndDrop(browser.viewport(), {dir.filePath("notes.txt")}, QPoint(10, 10)));
}

TEST(Intake, PathControlTakesFolders)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("a.Pdf");
    ASSERT_TRUE(fixture::writeFile(pdf, ""));
    struct Case {
        QString path;
        bool accepted;                 // at drag entry
        std::optional<QString> folder; // what a drop sets
    };
    const Case cases[] = {
        {dir.path(), true, dir.path()},
        {pdf, false, dir.path()},
        {dir.filePath("missing/x"), false, std::nullopt},
    };
    for (const Case &c : cases) {
        const auto mime = mimeOf({c.path});
        EXPECT_EQ(MyPathControl::validateDrop(mime.get()), c.accepted) << qPrintable(c.path);
        EXPECT_EQ(MyPathControl::folderFromDrop(mime.get()), c.folder) << qPrintable(c.path);
    }
    EXPECT_TRUE(FileIntake::isPdfFileName(pdf));
    EXPECT_FALSE(FileIntake::isPdfFileName(dir.path()));

    MyPathControl control;
    control.show();
    Controller controller;
    QObject::connect(&control, &MyPathControl::folderDropped, &controller, &Controller::setExportPath);
    const auto mime = mimeOf({dir.path()});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&control, &enter);
    EXPECT_TRUE(control.isHighlighted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&control, &drop);
    EXPECT_EQ(controller.exportFolder(), dir.path());
    EXPECT_FALSE(control.isHighlighted());
}

// PDF files dropped anywhere on the window are added, except on the export
// folder field, which refuses them.
TEST(Intake, WindowTakesPdfFilesExceptOnTheFolderField)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("a.pdf");
    apptest::writePdf(pdf, 1);
    Controller controller;
    controller.setParsePause(std::chrono::milliseconds(0));
    MainWindow window(&controller);
    window.show();
    QCoreApplication::processEvents();
    const auto dropAt = [&](QPoint where) { return dragAndDrop(&window, {pdf}, where); };
    MyPathControl *field = window.exportPathControl();
    EXPECT_FALSE(dropAt(field->mapTo(&window, field->rect().center())));
    EXPECT_TRUE(controller.pdfFiles().isEmpty());
    EXPECT_TRUE(dropAt(QPoint(window.width() - 3, window.height() - 3)));
    EXPECT_EQ(controller.pdfFiles().size(), 1);
    ASSERT_TRUE(apptest::waitUntil([&] { return !controller.pdfFiles()[0]->isThreading(); }));
}

} // namespace
