#include "AppTestSupport.h"

#include "Actions.h"
#include "Controller.h"
#include "ExportCommands.h"
#include "FileTableModel.h"
#include "FolderIntake.h"
#include "ImageDragOut.h"
#include "ImageEditStore.h"
#include "MainWindow.h"
#include "Preferences.h"
#include "QuitConfirmation.h"
#include "ThumbnailModel.h"

#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

using namespace zembrix;

using apptest::waitUntil;

namespace {

// A window over a.pdf (three 24 x 16 images) and b.pdf (two 40 x 40 ones).
class EditSafety : public ::testing::Test
{
protected:
    void SetUp() override
    {
        apptest::writePdf(dir.filePath("a.pdf"), 3);
        apptest::writePdf(dir.filePath("b.pdf"), 2, 3, QSize(40, 40));
        start(controller, {dir.filePath("a.pdf"), dir.filePath("b.pdf")});
        window.show();
    }
    // Adds (or restores) the files and waits for their five thumbnails.
    static void start(Controller &c, const QStringList &paths)
    {
        c.setParsePause(std::chrono::milliseconds(0));
        c.addPdfFiles(paths);
        ASSERT_TRUE(waitUntil([&] { return !c.isParsing() && c.thumbnailModel()->rowCount() == 5; }));
    }
    void rotate(int row)
    {
        controller.thumbnailSelection()->select(controller.thumbnailModel()->index(row),
                                                QItemSelectionModel::ClearAndSelect);
        ASSERT_TRUE(waitUntil([this] { return controller.actions()->rotateLeft->isEnabled(); }));
        controller.actions()->rotateLeft->trigger();
        QCoreApplication::processEvents(); // the step closes when the event loop runs
    }
    std::shared_ptr<PDFImageStruct> image(int file, int i) { return controller.pdfFiles()[file]->images()[i]; }

    QTemporaryDir dir;
    Controller controller;
    MainWindow window{&controller};
};

// Removing a file is one step: undo puts the same records (edits and all)
// back in their row, redo takes them away again.
TEST_F(EditSafety, RemovalIsUndoneWithItsEdits)
{
    rotate(1);
    const auto edited = image(0, 1);
    controller.fileSelection()->select(controller.fileModel()->index(0, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    controller.removeSelected();
    EXPECT_EQ(controller.pdfFiles().size(), 1);
    EXPECT_EQ(controller.thumbnailModel()->rowCount(), 2);
    controller.undo();
    ASSERT_EQ(controller.pdfFiles().size(), 2);
    EXPECT_EQ(controller.pdfFiles()[0]->filePath(), dir.filePath("a.pdf"));
    EXPECT_EQ(controller.thumbnailModel()->recordAt(1), edited);
    EXPECT_EQ(edited->angle(), 90.0f);
    controller.redo();
    EXPECT_EQ(controller.pdfFiles().size(), 1);
    controller.undo();
    EXPECT_EQ(controller.thumbnailModel()->rowCount(), 5);
}

// Edits are kept in the preferences by file, object and index: a restart puts
// them back, a parse again keeps them, and a file changed on disk drops them.
TEST_F(EditSafety, EditsSurviveARestartUnlessTheFileChanged)
{
    rotate(1); // a.pdf, image 1
    rotate(3); // b.pdf, image 0
    Preferences preferences(dir.filePath("prefs.ini"));
    controller.savePref(preferences);
    apptest::writePdf(dir.filePath("b.pdf"), 3, 3, QSize(40, 40)); // another size, another file

    Controller next;
    next.setParsePause(std::chrono::milliseconds(0));
    next.readPref(preferences);
    const auto angles = [&] {
        QList<float> all;
        for (const auto &file : next.pdfFiles())
            for (const auto &record : file->images())
                all << record->angle();
        return all;
    };
    const QList<float> expected{0, 90, 0, 0, 0, 0};
    ASSERT_TRUE(waitUntil([&] { return !next.isParsing() && angles() == expected; })) << angles().size();
    next.setColorManaged(false); // every file parsed again: new records
    ASSERT_TRUE(waitUntil([&] { return !next.isParsing() && angles() == expected; }));
}

// The stored form gives back what was written; cut or inflated bytes give nothing.
TEST(ImageEditStore, StoredFormIsChecked)
{
    ImageEditStore::FileEdits edits{{1234, 5678}, {}};
    EffectParameters p;
    p.angle = 270;
    p.flip = 3;
    p.gamma = 0.5f;
    edits.pending.insert({"12 0", 7}, {p, true});
    const QHash<QString, ImageEditStore::FileEdits> files{{"/x/a.pdf", edits}};
    const QByteArray bytes = ImageEditStore::encode(files);
    const auto back = ImageEditStore::decode(bytes);
    ASSERT_TRUE(back);
    const ImageEditStore::Entry entry = back->value("/x/a.pdf").pending.value({"12 0", 7});
    EXPECT_EQ(back->value("/x/a.pdf").stamp, edits.stamp);
    EXPECT_TRUE(entry.exported);
    EXPECT_EQ(entry.edits.angle, 270.0f);
    EXPECT_EQ(entry.edits.flip, 3);
    EXPECT_EQ(entry.edits.gamma, 0.5f);
    QByteArray absurd = bytes;
    absurd[7] = '\x7f'; // a file count past the bytes
    for (const QByteArray &bad : {bytes.left(bytes.size() - 1), bytes + "x", absurd, QByteArray("ZED1")})
        EXPECT_FALSE(ImageEditStore::decode(bad)) << bad.size();
}

// Closing with edits no export wrote asks first; Cancel keeps the window, and
// after Export All it closes without a question.
TEST_F(EditSafety, QuitAsksWhileEditsAreUnexported)
{
    rotate(0);
    auto *confirmation = window.findChild<QuitConfirmation *>();
    ASSERT_TRUE(confirmation);
    window.close();
    ASSERT_TRUE(confirmation->question());
    EXPECT_TRUE(window.isVisible());
    confirmation->question()->button(QMessageBox::Cancel)->click();
    EXPECT_TRUE(window.isVisible());

    controller.setExportPath(dir.filePath("out"));
    QSignalSpy finished(window.exportCommands(), &ExportCommands::jobFinished);
    window.exportCommands()->saveImgAll();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(controller.unexportedEditCount(), 0);
    window.close();
    EXPECT_FALSE(confirmation->question());
    EXPECT_FALSE(window.isVisible());
}

// View > Hide Small Images takes images below the size out of the browser,
// the counts and Export All.
TEST_F(EditSafety, SmallImagesAreHidden)
{
    struct Row {
        bool hide;
        QSize size;
        int shown;
    };
    for (const Row &row : {Row{true, {32, 32}, 2}, Row{true, {24, 16}, 5}, Row{true, {41, 1}, 0}, Row{false, {41, 1}, 5}}) {
        controller.setSmallImageSize(row.size);
        controller.actions()->hideSmallImages->setChecked(row.hide);
        EXPECT_EQ(controller.thumbnailModel()->rowCount(), row.shown) << row.size.width();
        EXPECT_EQ(controller.countPDFImages(), row.shown);
    }
    controller.setSmallImageSize({32, 32});
    controller.setHideSmallImages(true);
    controller.setExportPath(dir.filePath("all"));
    QSignalSpy finished(window.exportCommands(), &ExportCommands::jobFinished);
    window.exportCommands()->saveImgAll();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(QDir(dir.filePath("all")).entryList(QDir::Files), QStringList({"b_000.png", "b_001.png"}));
}

// A folder gives the PDF files inside it and its subfolders once each, in
// name order, within the depth and count limits; a link back up ends there.
TEST(FolderIntake, FindsPdfFilesInSubfolders)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    for (const char *sub : {"sub", "deep/1/2"})
        ASSERT_TRUE(root.mkpath(sub));
    for (const char *name : {"a.pdf", "sub/B.PDF", "sub/notes.txt", "deep/1/2/c.pdf"})
        ASSERT_TRUE(fixture::writeFile(root.filePath(name), ""));
    ASSERT_TRUE(QFile::link(dir.path(), root.filePath("sub/up")));
    ASSERT_TRUE(QFile::link(root.filePath("a.pdf"), root.filePath("sub/same.pdf")));

    const FolderIntake::Found all = FolderIntake::pdfFilesIn(dir.path());
    EXPECT_EQ(all.paths, QStringList({root.filePath("a.pdf"), root.filePath("deep/1/2/c.pdf"), root.filePath("sub/B.PDF")}));
    EXPECT_FALSE(all.limitReached);
    const FolderIntake::Found shallow = FolderIntake::pdfFilesIn(dir.path(), {.depth = 1});
    EXPECT_EQ(shallow.paths, QStringList({root.filePath("a.pdf"), root.filePath("sub/B.PDF")}));
    EXPECT_TRUE(shallow.limitReached);
    EXPECT_EQ(FolderIntake::pdfFilesIn(dir.path(), {.files = 1}).paths.size(), 1);

    // Dropped on the window, the folder adds its PDF files.
    apptest::writePdf(root.filePath("sub/B.PDF"), 1);
    QFile::remove(root.filePath("sub/up"));
    QFile::remove(root.filePath("sub/same.pdf"));
    Controller controller;
    controller.setParsePause(std::chrono::milliseconds(0));
    MainWindow window(&controller);
    window.show();
    ASSERT_TRUE(apptest::dragAndDrop(&window, {root.filePath("sub")}, QPoint(window.width() - 3, window.height() - 3)));
    ASSERT_EQ(controller.pdfFiles().size(), 1);
    EXPECT_EQ(controller.pdfFiles()[0]->filePath(), root.filePath("sub/B.PDF"));
    ASSERT_TRUE(waitUntil([&] { return !controller.isParsing(); }));
}

// Dragged thumbnails are PNG files of the edited pictures, one name each.
TEST(ImageDragOut, GivesEditedPngFiles)
{
    ImageRecordList records;
    for (int i = 0; i < 2; ++i) {
        QImage picture(QSize(6, 3), QImage::Format_RGB32);
        for (int x = 0; x < 6; ++x)
            for (int y = 0; y < 3; ++y)
                picture.setPixel(x, y, apptest::fixtureColor(x + 6 * y).rgb());
        auto record = PDFImageStruct::create(nullptr);
        record->setImage(picture);
        record->setImagename(QStringLiteral("pic"));
        records << record;
    }
    EffectParameters turned;
    turned.angle = 90;
    turned.brightness = 0.2f;
    records[1]->restoreEdits(turned);
    QThreadPool pool;
    const ImageDragOut drag(records, pool);
    const QList<QUrl> urls = drag.urls();
    ASSERT_EQ(urls.size(), 2);
    EXPECT_EQ(urls[1].fileName(), "pic (2).png");
    for (int i = 0; i < 2; ++i) {
        const QImage written(urls[i].toLocalFile());
        const QImage expected = records[i]->applyAllEffects().convertToFormat(written.format());
        EXPECT_EQ(written, expected) << i;
    }
    EXPECT_TRUE(records[1]->hasUnexportedEdits());
    drag.noteDropped();
    EXPECT_FALSE(records[1]->hasUnexportedEdits());
}

} // namespace
