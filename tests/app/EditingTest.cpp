#include "AppTestSupport.h"

#include "Actions.h"
#include "Controller.h"
#include "EffectsController.h"
#include "EffectsPanel.h"
#include "FileTableModel.h"
#include "FileTableView.h"
#include "ImageBrowser.h"
#include "MainWindow.h"
#include "ThumbnailModel.h"
#include "UndoManager.h"

#include "images/EffectOperation.h"
#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zembrix;

using apptest::waitUntil;

namespace {

// A window with one file of three 24 x 16 images (left half coloured, right
// half black).
class EditingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        controller.setParsePause(std::chrono::milliseconds(0));
        apptest::writePdf(dir.filePath("a.pdf"), 3);
        controller.addPdfFile(dir.filePath("a.pdf"));
        window.show();
        ASSERT_TRUE(waitUntil([this] {
            return controller.runningParses() == 0 && !controller.pdfFiles()[0]->isThreading()
                   && controller.thumbnailModel()->rowCount() == 3;
        }));
        settle();
    }

    // Returns to the event loop, which ends the undo step of the last action.
    void settle() { QTest::qWait(20); }
    void selectThumbnails(std::initializer_list<int> rows)
    {
        controller.thumbnailSelection()->clearSelection();
        for (int row : rows)
            controller.thumbnailSelection()->select(controller.thumbnailModel()->index(row),
                                                    QItemSelectionModel::Select);
        settle();
    }
    std::shared_ptr<PDFImageStruct> image(int row) { return controller.thumbnailModel()->recordAt(row); }
    // The thumbnail of `row` once it satisfies `check`.
    bool thumbnailShows(int row, const std::function<bool(const QImage &)> &check)
    {
        const QModelIndex index = controller.thumbnailModel()->index(row);
        return waitUntil([&] {
            const QImage t = index.data(ThumbnailModel::ThumbnailRole).value<QImage>();
            return !t.isNull() && check(t);
        });
    }

    QTemporaryDir dir;
    Controller controller;
    MainWindow window{&controller};
    Actions *actions = controller.actions();
};

// Closures registered while one action is handled are one step, named by the first name given,
// closed when the event loop runs (or held open across it); undo runs a step's closures newest
// first, and what they register is the step's redo, and the other way round.
TEST(UndoManager, StepsGroupUntilTheEventLoopRuns)
{
    UndoManager undo;
    QString value;
    std::function<void(QString)> set = [&](QString to) { // registers its own inverse
        undo.registerUndo([&set, from = value] { set(from); });
        value = to;
    };
    undo.setActionName("None open yet");
    set("a");
    undo.setActionName("First");
    set("ab");
    undo.setActionName("Second");
    QTest::qWait(5);
    undo.hold();
    set("abc");
    QTest::qWait(5);
    set("abcd");
    undo.release();
    QTest::qWait(5);
    EXPECT_EQ(undo.count(), 2);
    EXPECT_EQ(undo.undoText(), "");
    undo.undo();
    EXPECT_EQ(value, "ab");
    undo.undo();
    EXPECT_EQ(value, "");
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(undo.redoText(), "First");
    undo.redo(), undo.redo();
    EXPECT_EQ(value, "abcd");
    undo.undo();
    EXPECT_EQ(value, "ab");
    EXPECT_TRUE(undo.canRedo());
}

// A command on three selected images is one step (the closures of the three records and of
// both commands of one action); undo and redo walk all three, and the thumbnails show it.
TEST_F(EditingTest, CommandOnSeveralImagesIsOneStep)
{
    selectThumbnails({0, 1, 2});
    const std::size_t before = controller.undoStepCount();
    actions->rotateLeft->trigger();
    actions->flipHorizontal->trigger(); // same user action: same step
    settle();
    EXPECT_EQ(controller.undoStepCount(), before + 1);
    EXPECT_TRUE(actions->undo->text().contains("Rotate Left"));
    controller.undo();
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(image(row)->angle() == 0.0f && image(row)->flip() == 0) << row;
    EXPECT_FALSE(actions->undo->isEnabled());
    controller.redo();
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(image(row)->angle() == 90.0f && image(row)->flip() == 2) << row;
    EXPECT_FALSE(actions->redo->isEnabled());
    // A quarter turn left: the coloured left half is now the bottom half;
    // the mirror then leaves top and bottom where they are.
    ASSERT_TRUE(thumbnailShows(1, [](const QImage &t) {
        return t.height() > t.width()
               && apptest::near(t.pixelColor(t.width() / 2, t.height() - 2), apptest::fixtureColor(1))
               && apptest::near(t.pixelColor(t.width() / 2, 1), Qt::black);
    }));
}

// A slider drag is one step, however many values it passes and however often
// the event loop runs meanwhile; undo gives each image its own old value.
// The sliders show one selected image's values and neutral ones for several.
TEST_F(EditingTest, SliderDragIsOneStepAndSlidersFollowTheSelection)
{
    window.showImageEffectsPanel();
    QSlider *brightness = window.effectsPanel()->slider(int(EffectOperation::Brightness));
    QSlider *gamma = window.effectsPanel()->slider(int(EffectOperation::Gamma));
    ASSERT_TRUE(brightness && gamma);
    image(0)->setBrightness(-0.5f);
    image(1)->setGamma(2.0f);
    settle();
    selectThumbnails({0});
    EXPECT_EQ(brightness->value(), EffectsPanel::positionOf(int(EffectOperation::Brightness), -0.5f));
    selectThumbnails({0, 1});
    EXPECT_EQ(brightness->value(), EffectsPanel::positionOf(int(EffectOperation::Brightness), 0.0f));
    EXPECT_EQ(gamma->value(), EffectsPanel::positionOf(int(EffectOperation::Gamma), 1.0f));

    const std::size_t before = controller.undoStepCount();
    brightness->setSliderDown(true);
    for (int position : {10, 20, 40})
        brightness->setValue(position), settle();
    brightness->setSliderDown(false);
    settle();
    EXPECT_EQ(controller.undoStepCount(), before + 1);
    EXPECT_FLOAT_EQ(image(0)->brightness(), 0.4f);
    EXPECT_FLOAT_EQ(image(1)->brightness(), 0.4f);
    EXPECT_EQ(image(1)->gamma(), 2.0f); // the other values stay
    EXPECT_EQ(image(2)->brightness(), 0.0f);
    // The live preview: the black half of the picture turns grey.
    ASSERT_TRUE(thumbnailShows(0, [](const QImage &t) { return qGray(t.pixel(t.width() - 2, 1)) > 80; }));

    controller.undo();
    EXPECT_EQ(image(0)->brightness(), -0.5f);
    EXPECT_EQ(image(1)->brightness(), 0.0f);
    // The panel's reset: neutral colours on both, rotation kept.
    actions->rotateLeft->trigger();
    settle();
    window.effectsPanel()->findChild<QAbstractButton *>("resetEffects")->click();
    settle();
    EXPECT_TRUE(image(0)->effectParameters().isColorNeutral());
    EXPECT_TRUE(image(1)->effectParameters().isColorNeutral());
    EXPECT_EQ(image(0)->angle(), 90.0f);
    EXPECT_TRUE(actions->showEffectsPanel->isChecked());
    window.showImageEffectsPanel();
    EXPECT_FALSE(actions->showEffectsPanel->isChecked());
}

// Format, resolution and name pattern changes are undone one step each, and
// the controls show the restored values.
TEST_F(EditingTest, UndoOfExportSettingsAndNamePattern)
{
    controller.setExportFormat("TIFF");
    settle();
    controller.dpiEdited("300");
    settle();
    controller.fileSelection()->select(controller.fileModel()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    controller.namePatternEdited("x_##");
    settle();
    EXPECT_EQ(image(2)->imagename(), "x_02");
    // A pattern with "/" is refused with an alert, and is no step.
    QSignalSpy refused(&controller, &Controller::alertRequested);
    controller.namePatternEdited("../x_##");
    settle();
    EXPECT_TRUE(refused.size() == 1 && window.findChild<QLineEdit *>("mNamePattern")->text() == "x_##");

    controller.undo();
    EXPECT_EQ(controller.pdfFiles()[0]->namePattern(), "$_###");
    EXPECT_EQ(image(2)->imagename(), "a_002");
    EXPECT_EQ(window.findChild<QLineEdit *>("mNamePattern")->text(), "$_###");
    controller.undo();
    EXPECT_EQ(controller.dpi(), 72.0f);
    EXPECT_EQ(window.dpiCombo()->currentText(), "72");
    EXPECT_EQ(controller.exportFormat(), "TIFF");
    controller.undo();
    EXPECT_EQ(controller.exportFormat(), "PNG");
    EXPECT_EQ(window.formatCombo()->currentText(), "PNG");
    controller.redo();
    EXPECT_EQ(window.formatCombo()->currentText(), "TIFF");
    controller.redo();
    EXPECT_EQ(controller.dpi(), 300.0f);
}

// The stop item's title and enabling by focus and state; Escape clears the
// thumbnail selection; the other items of the table.
TEST_F(EditingTest, MenuStateFollowsFocusAndSelection)
{
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QWidget *browser = window.findChild<ImageBrowser *>();
    QWidget *table = window.findChild<FileTableView *>();
    ASSERT_TRUE(browser && table);
    struct Case {
        QWidget *focus;
        std::initializer_list<int> thumbnails;
        bool rows;
        const char *title;
        bool enabled;
    } cases[] = {
        {browser, {1}, false, "Unselect Image", true},
        {browser, {0, 1, 2}, true, "Unselect All Images", true},
        {browser, {}, false, "Unselect All Images", false},
        {table, {0}, true, "Unselect PDF File", true},
        {table, {0}, false, "Stop PDF Parsing", false},
        {window.formatCombo(), {0}, true, "Stop PDF Parsing", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        c.focus->setFocus();
        selectThumbnails(c.thumbnails);
        controller.fileSelection()->clearSelection();
        if (c.rows)
            controller.fileSelection()->select(controller.fileModel()->index(0, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
        settle();
        emit window.menuBar()->actions().at(1)->menu()->aboutToShow(); // Edit
        EXPECT_EQ(actions->stop->text(), c.title);
        EXPECT_EQ(actions->stop->isEnabled(), c.enabled);
        EXPECT_FALSE(actions->paste->isEnabled());
        EXPECT_EQ(actions->copyImage->isEnabled(), c.thumbnails.size() == 1);
        EXPECT_EQ(actions->rotateLeft->isEnabled(), c.thumbnails.size() > 0);
        EXPECT_EQ(actions->removeFiles->isEnabled(), c.rows && c.focus == table);
    }

    browser->setFocus();
    selectThumbnails({0, 2});
    QTest::keyClick(browser, Qt::Key_Escape);
    EXPECT_FALSE(controller.thumbnailSelection()->hasSelection());
    QTest::keyPress(browser, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_TRUE(controller.shiftPressed());
    EXPECT_FALSE(controller.commandPressed());
    QTest::keyRelease(browser, Qt::Key_Shift, Qt::NoModifier);
    EXPECT_FALSE(controller.shiftPressed());
}

} // namespace
