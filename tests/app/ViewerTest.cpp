#include "AppTestSupport.h"

#include "Actions.h"
#include "Controller.h"
#include "ImageBrowser.h"
#include "InfoArea.h"
#include "MainWindow.h"
#include "ThumbnailModel.h"
#include "ViewerPage.h"

#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"
#include "widgets/ImageViewer.h"

#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zembrix;

using apptest::waitUntil;

namespace {

// A window with one file of 60 images of 24 x 16 (left half coloured,
// right half black).
class ViewerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        controller.setParsePause(std::chrono::milliseconds(0));
        apptest::writePdf(dir.filePath("a.pdf"), 60);
        controller.addPdfFile(dir.filePath("a.pdf"));
        window.resize(900, 640);
        window.show();
        ASSERT_TRUE(waitUntil([this] {
            return controller.runningParses() == 0 && !controller.pdfFiles()[0]->isThreading()
                   && controller.thumbnailModel()->rowCount() == 60;
        }));
    }
    QModelIndex index(int row) { return controller.thumbnailModel()->index(row); }
    bool shown(int row)
    {
        return browser->visualRect(index(row)).intersects(browser->viewport()->rect());
    }
    // The viewer's colour at a fraction of the picture's width, on its middle line.
    QColor viewerColorAt(double x)
    {
        ImageViewer *view = window.viewerPage()->view();
        const QImage shot = view->grab().toImage();
        const double scale = view->zoom() / view->devicePixelRatioF();
        const QSizeF size = QSizeF(view->imageSize()) * scale;
        return shot.pixelColor(int(view->width() / 2.0 - size.width() / 2 + size.width() * x), view->height() / 2);
    }

    QTemporaryDir dir;
    Controller controller;
    MainWindow window{&controller};
    ImageBrowser *browser = window.imageBrowser();
};

// The columns fill the whole width at every size; a new size keeps the
// selected image in view, and without a selection the first image shown;
// labels are cut at their end and the tooltip has the facts.
TEST_F(ViewerTest, ThumbnailSizesKeepTheirPlaceAndFillTheWidth)
{
    for (int level : {2, 0, 1}) {
        controller.setListZoom(level);
        ASSERT_TRUE(waitUntil([&] {
            int columns = 0;
            while (columns < 60 && browser->visualRect(index(columns)).top() == browser->visualRect(index(0)).top())
                ++columns;
            return browser->viewport()->width() - browser->visualRect(index(columns - 1)).right() <= columns + 3;
        })) << level;
    }
    browser->setFocus();
    controller.thumbnailSelection()->setCurrentIndex(index(50), QItemSelectionModel::ClearAndSelect);
    browser->scrollTo(index(50));
    for (int level : {0, 2, 1}) {
        controller.setListZoom(level);
        EXPECT_TRUE(waitUntil([&] { return shown(50); })) << level;
    }
    controller.thumbnailSelection()->clearSelection();
    browser->scrollTo(index(30), QAbstractItemView::PositionAtTop);
    const int top = browser->indexAt(QPoint(2, 2)).row();
    controller.setListZoom(2);
    EXPECT_TRUE(waitUntil([&] { return shown(top); }));

    const QString tip = index(7).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(index(7).data().toString())) << tip.toStdString();
    EXPECT_TRUE(tip.contains("page 8") && tip.contains("24 \u00d7 16") && tip.contains("object ")) << tip.toStdString();
}

// Enter opens the selected image fitted, with its edits; Left and Right step
// through the images and select them; Ctrl+0 gives 100 %, Ctrl+plus zooms
// in; Escape goes back to the thumbnails with the image shown current.
TEST_F(ViewerTest, KeysOpenStepZoomAndClose)
{
    ViewerPage *viewer = window.viewerPage();
    QSignalSpy pictures(viewer, &ViewerPage::pictureShown);
    controller.thumbnailSelection()->setCurrentIndex(index(3), QItemSelectionModel::ClearAndSelect);
    browser->setFocus();
    QTest::keyClick(browser, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !pictures.isEmpty() && pictures.last().at(0).toBool(); }));
    ASSERT_EQ(viewer->row(), 3);
    EXPECT_TRUE(viewer->isVisible() && !browser->isVisible());
    EXPECT_TRUE(viewer->view()->isFitting());
    EXPECT_EQ(viewer->view()->imageSize(), QSize(24, 16));
    EXPECT_TRUE(apptest::near(viewerColorAt(0.25), apptest::fixtureColor(3)));
    EXPECT_TRUE(apptest::near(viewerColorAt(0.75), Qt::black));

    // The mirror command acts on the image shown, and the viewer follows.
    controller.actions()->flipHorizontal->trigger();
    EXPECT_TRUE(waitUntil([&] {
        return apptest::near(viewerColorAt(0.25), Qt::black) && apptest::near(viewerColorAt(0.75), apptest::fixtureColor(3));
    }));

    QWidget *view = viewer->view();
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(viewer->row(), 4);
    EXPECT_EQ(controller.selectedImageRecords().size(), 1);
    EXPECT_EQ(controller.selectedImageRecords().first(), controller.thumbnailModel()->recordAt(4));
    EXPECT_TRUE(waitUntil([&] { return apptest::near(viewerColorAt(0.25), apptest::fixtureColor(4)); }));
    // The information area shows the facts of the image stepped to.
    EXPECT_EQ(window.infoArea()->value("Pages"), "5");
    EXPECT_EQ(window.infoArea()->value("Size"), "24 \u00d7 16 px");
    EXPECT_EQ(window.infoArea()->value("Filter"), "FlateDecode");
    QTest::keyClick(view, Qt::Key_Left);
    QTest::keyClick(view, Qt::Key_Left);
    EXPECT_EQ(viewer->row(), 2);

    QTest::keyClick(view, Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(viewer->view()->zoom(), 1.0);
    QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_GT(viewer->view()->zoom(), 1.0);

    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(viewer->row(), -1);
    EXPECT_TRUE(browser->isVisible() && browser->hasFocus());
    EXPECT_EQ(browser->currentIndex().row(), 2);
    // The stop key, back in the browser, clears the selection as before.
    QTest::keyClick(browser, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return controller.selectedImageRecords().isEmpty(); }));
}

} // namespace
