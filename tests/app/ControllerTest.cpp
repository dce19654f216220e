#include "AppTestSupport.h"

#include "Actions.h"
#include "Controller.h"
#include "UndoManager.h"
#include "Preferences.h"
#include "FileTableModel.h"
#include "ThumbnailModel.h"

#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"
#include "widgets/MySpinView.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

using namespace zembrix;

using apptest::waitUntil;

namespace {

class ControllerTest : public ::testing::Test
{
protected:
    ControllerTest()
    {
        controller.setParsePause(std::chrono::milliseconds(0));
        controller.setSpinView(new MySpinView(&host));
    }

    QString pdf(const QString &name, int images, int first = 0)
    {
        const QString path = dir.filePath(name);
        apptest::writePdf(path, images, first);
        return path;
    }
    bool parsesDone()
    {
        return waitUntil([this] {
            for (const auto &file : controller.pdfFiles())
                if (file->isThreading())
                    return false;
            return controller.runningParses() == 0 && controller.previewUpdateCount() == 0;
        });
    }
    void selectRows(std::initializer_list<int> rows)
    {
        controller.fileSelection()->clearSelection();
        for (int row : rows)
            controller.fileSelection()->select(controller.fileModel()->index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QTemporaryDir dir;
    QWidget host;
    Controller controller;
};

// Files A (3 images), B (2, unchecked) and C (4): the browser shows 7
// thumbnails, index 3 is C's first image and index 7 is none.
TEST_F(ControllerTest, AddsWithoutDuplicatesAndIndexesTheCheckedFiles)
{
    const QString a = pdf("a.pdf", 3, 0), b = pdf("b.pdf", 2, 10), c = pdf("c.pdf", 4, 20);
    controller.addPdfFiles({a, b, c, a});
    controller.addPdfFile(b);
    ASSERT_EQ(controller.pdfFiles().size(), 3);
    ASSERT_TRUE(parsesDone());
    controller.extractCheckitPressed(1); // B off, on the background step
    ASSERT_TRUE(parsesDone());

    EXPECT_FALSE(controller.pdfFiles()[1]->IsSelected());
    EXPECT_EQ(controller.countPDFImages(), 7);
    EXPECT_EQ(controller.imageFromIKInadex(3), controller.pdfFiles()[2]->images().first());
    EXPECT_EQ(controller.imageFromIKInadex(7), nullptr);
    EXPECT_EQ(controller.thumbnailModel()->rowCount(), 7);
    EXPECT_EQ(controller.fileModel()->index(1, FileTableModel::CountColumn).data().toString(), "2");
    EXPECT_EQ(controller.fileModel()->index(0, FileTableModel::CheckColumn).data(Qt::CheckStateRole).toInt(),
              Qt::Checked);
    // The thumbnail at index 3 shows C's first picture.
    const QModelIndex third = controller.thumbnailModel()->index(3);
    third.data(ThumbnailModel::ThumbnailRole);
    ASSERT_TRUE(waitUntil([&] { return !third.data(ThumbnailModel::ThumbnailRole).value<QImage>().isNull(); }));
    const QImage thumbnail = third.data(ThumbnailModel::ThumbnailRole).value<QImage>();
    EXPECT_TRUE(apptest::near(thumbnail.pixelColor(2, 2), apptest::fixtureColor(20)));

    // The same file under a path in other letters is another row.
    controller.addPdfFile(dir.filePath("A.pdf"));
    EXPECT_EQ(controller.pdfFiles().size(), 4);
    ASSERT_TRUE(parsesDone());
}

// Check on selected rows skips the one still parsing; Escape in the file
// table then stops that parse and keeps the selection.
TEST_F(ControllerTest, CheckSkipsParsingFilesAndEscapeStopsThem)
{
    controller.addPdfFile(pdf("a.pdf", 2));
    ASSERT_TRUE(parsesDone());
    controller.setParsePause(std::chrono::milliseconds(1500));
    controller.addPdfFile(pdf("slow.pdf", 2));
    selectRows({0, 1});
    controller.checkSelected();
    EXPECT_FALSE(controller.pdfFiles()[0]->IsSelected());
    EXPECT_TRUE(controller.pdfFiles()[1]->IsSelected());

    controller.stopAction(Controller::Focus::FileTable);
    EXPECT_FALSE(controller.pdfFiles()[1]->isThreading());
    EXPECT_EQ(controller.fileSelection()->selectedRows().size(), 2);
    // With nothing parsing, Escape clears the row selection.
    ASSERT_TRUE(parsesDone());
    controller.stopAction(Controller::Focus::FileTable);
    EXPECT_FALSE(controller.fileSelection()->hasSelection());
}

// Thumbnails show while the walk still runs. A file removed while its parse
// runs leaves the list and the browser at once; the parse ends on its own
// and brings nothing back.
TEST_F(ControllerTest, RemovingAFileWhileItParses)
{
    controller.addPdfFile(pdf("big.pdf", 3000));
    std::weak_ptr<PDFFileStruct> file = controller.pdfFiles().first();
    ASSERT_TRUE(waitUntil([&] { return controller.thumbnailModel()->rowCount() > 0; }));
    if (const auto running = file.lock())
        EXPECT_TRUE(running->isThreading());
    else
        FAIL();
    selectRows({0});
    controller.removeSelected();
    EXPECT_TRUE(controller.pdfFiles().isEmpty());
    EXPECT_EQ(controller.thumbnailModel()->rowCount(), 0);
    controller.undoManager()->clear(); // its undo step would bring the record back
    ASSERT_TRUE(waitUntil([&] { return file.expired(); }));
    ASSERT_TRUE(parsesDone());
    EXPECT_EQ(controller.thumbnailModel()->rowCount(), 0);
    EXPECT_EQ(controller.countPDFImages(), 0);
}

// One selected thumbnail puts its name and text under the counts; the file
// table's selection puts the file's information text there.
TEST_F(ControllerTest, SummaryShowsTheSelection)
{
    controller.addPdfFile(pdf("a.pdf", 2));
    ASSERT_TRUE(parsesDone());
    controller.thumbnailSelection()->select(controller.thumbnailModel()->index(1), QItemSelectionModel::Select);
    ASSERT_TRUE(waitUntil([&] { return controller.statusText().contains("Name: a_001\n\n"); }));
    EXPECT_TRUE(controller.statusText().contains("Preview Images:\t2\t\t\t1\n"));
    selectRows({0});
    ASSERT_TRUE(waitUntil([&] { return controller.statusText().endsWith(controller.pdfFiles()[0]->info()); }));
    EXPECT_FALSE(controller.pdfFiles()[0]->info().isEmpty());
}

} // namespace

// The View menu's choices parse the files again and are stored. With Color
// Management off, pure cyan ink goes from the profile's colour to the plain
// formula's 0,255,255 and back; All Images adds the page's inline image.
TEST_F(ControllerTest, ViewMenuChoicesParseAgainAndAreStored)
{
    fixture::PdfFixture pdf;
    fixture::Obj page =
        pdf.page({{"/I0", pdf.image(2, 1, 8, fixture::name("DeviceCMYK"), std::string("\xff\0\0\0\xff\0\0\0", 8))}});
    page.getKey("/Contents").replaceStreamData("/I0 Do BI /W 1 /H 1 /BPC 8 /CS /G /F /AHx ID 80> EI", fixture::Obj::newNull(), fixture::Obj::newNull());
    const QString path = dir.filePath("cmyk.pdf");
    pdf.write(path);
    controller.addPdfFile(path);
    ASSERT_TRUE(parsesDone());
    const auto cyan = [&] { return controller.pdfFiles()[0]->images().value(0)->image().pixel(0, 0) | 0xff000000u; };
    const QRgb managed = cyan();
    QAction *item = controller.actions()->colorManagement;
    ASSERT_TRUE(item->isChecked());
    item->trigger();
    ASSERT_TRUE(parsesDone());
    EXPECT_FALSE(controller.colorManaged());
    EXPECT_EQ(cyan(), qRgb(0, 255, 255));
    Preferences preferences(dir.filePath("prefs.ini"));
    controller.savePref(preferences);
    EXPECT_FALSE(preferences.read().colorManagement);
    item->trigger();
    ASSERT_TRUE(parsesDone());
    EXPECT_EQ(cyan(), managed);
    EXPECT_NE(managed, qRgb(0, 255, 255)); // the system profile (libgs-common)

    EXPECT_EQ(controller.pdfFiles()[0]->images().size(), 1);
    controller.actions()->allImages->trigger();
    ASSERT_TRUE(parsesDone());
    ASSERT_EQ(controller.pdfFiles()[0]->images().size(), 2);
    EXPECT_EQ(qGray(controller.pdfFiles()[0]->images()[1]->image().pixel(0, 0)), 0x80);
    controller.actions()->skipDuplicates->trigger();
    controller.savePref(preferences);
    EXPECT_TRUE(preferences.read().allImages);
    EXPECT_TRUE(preferences.read().skipDuplicates);
}
