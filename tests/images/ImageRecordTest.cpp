#include "RecordingController.h"

#include "images/PDFImageStruct.h"

#include <gtest/gtest.h>

#include <QImage>

#include <atomic>
#include <functional>
#include <thread>

using imagestest::MainControllerScope;
using imagestest::RecordingController;

namespace {

class ImageRecord : public ::testing::Test
{
protected:
    RecordingController controller;
    MainControllerScope scope{&controller};
    std::shared_ptr<PDFImageStruct> record = PDFImageStruct::create();
};

// The seven edit setters as one family: how to set and read each value, and a
// value that differs from the neutral one.
struct Edit {
    const char *name;
    std::function<void(PDFImageStruct &, float)> set;
    std::function<float(const PDFImageStruct &)> get;
    float neutral;
    float first;
    float second;
};

const std::vector<Edit> &edits()
{
    static const std::vector<Edit> table = {
        {"flip", [](PDFImageStruct &r, float v) { r.setFlip(int(v)); },
         [](const PDFImageStruct &r) { return float(r.flip()); }, 0.0f, 2.0f, 3.0f},
        {"angle", [](PDFImageStruct &r, float v) { r.setAngle(v); },
         [](const PDFImageStruct &r) { return r.angle(); }, 0.0f, 90.0f, -33.5f},
        {"brightness", [](PDFImageStruct &r, float v) { r.setBrightness(v); },
         [](const PDFImageStruct &r) { return r.brightness(); }, 0.0f, 0.25f, -7.0f},
        {"contrast", [](PDFImageStruct &r, float v) { r.setContrast(v); },
         [](const PDFImageStruct &r) { return r.contrast(); }, 1.0f, 1.5f, 0.0f},
        {"saturation", [](PDFImageStruct &r, float v) { r.setSaturation(v); },
         [](const PDFImageStruct &r) { return r.saturation(); }, 1.0f, 0.0f, 2.5f},
        {"gamma", [](PDFImageStruct &r, float v) { r.setGamma(v); },
         [](const PDFImageStruct &r) { return r.gamma(); }, 1.0f, 2.2f, 0.45f},
        {"hue", [](PDFImageStruct &r, float v) { r.setHue(v); },
         [](const PDFImageStruct &r) { return r.hue(); }, 0.0f, 180.0f, 400.0f},
    };
    return table;
}

// Every edit value of a record, for "nothing else changed" checks.
std::vector<float> allValues(const PDFImageStruct &record)
{
    std::vector<float> values;
    for (const Edit &edit : edits())
        values.push_back(edit.get(record));
    return values;
}

std::vector<float> neutralValues()
{
    std::vector<float> values;
    for (const Edit &edit : edits())
        values.push_back(edit.neutral);
    return values;
}

} // namespace

TEST_F(ImageRecord, NewRecordIsEmptyAndNeutral)
{
    EXPECT_FALSE(record->changed());
    EXPECT_TRUE(record->image().isNull());
    EXPECT_TRUE(record->info().isNull());
    EXPECT_TRUE(record->imagename().isNull());
    EXPECT_EQ(allValues(*record), neutralValues());
    EXPECT_EQ(record->imageVersion(), 0u);
    EXPECT_TRUE(record->effectParameters().isNeutral());
    const ImageSource source = record->source();
    EXPECT_TRUE(source.objectKey.isEmpty());
    EXPECT_EQ(source.page, 0);
    EXPECT_TRUE(controller.undoSteps.empty());
    EXPECT_EQ(controller.datasourceUpdates, 0);
}

TEST_F(ImageRecord, PlainAccessorsKeepWhatTheyAreGiven)
{
    QImage picture(3, 2, QImage::Format_ARGB32);
    picture.fill(qRgba(1, 2, 3, 4));
    record->setImage(picture);
    picture.fill(Qt::white); // the record holds its own copy
    EXPECT_EQ(record->image().size(), QSize(3, 2));
    EXPECT_EQ(record->image().pixel(2, 1), qRgba(1, 2, 3, 4));

    record->setInfo(QStringLiteral("Size 3 x 2\nBits 8"));
    record->setImagename(QStringLiteral("report_000"));
    record->setChanged(true);
    ImageSource source;
    source.objectKey = QStringLiteral("12 0");
    source.page = 3;
    source.width = 640;
    source.height = 480.5;
    source.bitsPerComponent = 16;
    source.colorSpace = QStringLiteral("/DeviceRGB");
    source.filter = QStringLiteral("/FlateDecode");
    record->setSource(source);

    EXPECT_EQ(record->info(), QStringLiteral("Size 3 x 2\nBits 8"));
    EXPECT_EQ(record->imagename(), QStringLiteral("report_000"));
    EXPECT_TRUE(record->changed());
    const ImageSource back = record->source();
    EXPECT_EQ(back.objectKey, source.objectKey);
    EXPECT_EQ(back.page, 3);
    EXPECT_EQ(back.width, 640.0);
    EXPECT_EQ(back.height, 480.5);
    EXPECT_EQ(back.bitsPerComponent, 16);
    EXPECT_EQ(back.colorSpace, source.colorSpace);
    EXPECT_EQ(back.filter, source.filter);
    // None of this is an edit.
    EXPECT_EQ(record->imageVersion(), 0u);
    EXPECT_TRUE(controller.undoSteps.empty());
}

TEST_F(ImageRecord, EachSetterIsOneUndoStepOneVersionAndOneRefresh)
{
    for (const Edit &edit : edits()) {
        SCOPED_TRACE(edit.name);
        auto fresh = PDFImageStruct::create();
        RecordingController steps;
        MainControllerScope inner(&steps);

        // The neutral value itself is still an edit.
        edit.set(*fresh, edit.neutral);
        EXPECT_EQ(fresh->imageVersion(), 1u);
        EXPECT_EQ(steps.undoSteps.size(), 1u);
        EXPECT_EQ(steps.datasourceUpdates, 1);

        edit.set(*fresh, edit.first);
        edit.set(*fresh, edit.second);
        EXPECT_EQ(edit.get(*fresh), edit.second);
        EXPECT_EQ(fresh->imageVersion(), 3u);
        EXPECT_EQ(steps.undoSteps.size(), 3u);
        EXPECT_EQ(steps.datasourceUpdates, 3);

        // Only this member moved.
        std::vector<float> expected = neutralValues();
        expected[std::size_t(&edit - edits().data())] = edit.second;
        EXPECT_EQ(allValues(*fresh), expected);

        // Undo walks back through the old values; each undo is an edit too
        // and leaves a redo step behind.
        ASSERT_TRUE(steps.undo());
        EXPECT_EQ(edit.get(*fresh), edit.first);
        EXPECT_EQ(fresh->imageVersion(), 4u);
        EXPECT_EQ(steps.undoSteps.size(), 3u);
        EXPECT_EQ(steps.datasourceUpdates, 4);

        // The redo step brings the undone value back.
        ASSERT_TRUE(steps.undo());
        EXPECT_EQ(edit.get(*fresh), edit.second);
        EXPECT_EQ(fresh->imageVersion(), 5u);
    }
}

TEST_F(ImageRecord, UndoStepsUnwindInOrder)
{
    record->setAngle(90.0f);
    record->setAngle(180.0f);
    record->setHue(30.0f);
    ASSERT_EQ(controller.undoSteps.size(), 3u);
    std::vector<std::function<void()>> history = std::move(controller.undoSteps);
    controller.undoSteps.clear();
    for (auto step = history.rbegin(); step != history.rend(); ++step)
        (*step)();
    EXPECT_EQ(allValues(*record), neutralValues());
    EXPECT_EQ(record->imageVersion(), 6u);
}

TEST_F(ImageRecord, ResetAllSetsTheFiveColourValuesAsOneStep)
{
    record->setAngle(90.0f);
    record->setFlip(1);
    record->setBrightness(0.5f);
    const quint64 before = record->imageVersion();
    const std::size_t stepsBefore = controller.undoSteps.size();

    const float five[5] = {-0.25f, 2.0f, 0.5f, 3.0f, 270.0f};
    record->resetAll(five);
    EXPECT_EQ(record->brightness(), -0.25f);
    EXPECT_EQ(record->contrast(), 2.0f);
    EXPECT_EQ(record->saturation(), 0.5f);
    EXPECT_EQ(record->gamma(), 3.0f);
    EXPECT_EQ(record->hue(), 270.0f);
    EXPECT_EQ(record->angle(), 90.0f);
    EXPECT_EQ(record->flip(), 1);
    EXPECT_EQ(record->imageVersion(), before + 1);
    EXPECT_EQ(controller.undoSteps.size(), stepsBefore + 1);

    // One undo restores all five.
    ASSERT_TRUE(controller.undo());
    EXPECT_EQ(record->brightness(), 0.5f);
    EXPECT_EQ(record->contrast(), 1.0f);
    EXPECT_EQ(record->saturation(), 1.0f);
    EXPECT_EQ(record->gamma(), 1.0f);
    EXPECT_EQ(record->hue(), 0.0f);
    EXPECT_EQ(record->angle(), 90.0f);
    EXPECT_EQ(record->imageVersion(), before + 2);

    // And its redo step sets them again.
    ASSERT_TRUE(controller.undo());
    EXPECT_EQ(record->gamma(), 3.0f);
    EXPECT_EQ(record->hue(), 270.0f);

    record->resetAll1({0.0f, 1.0f, 1.0f, 1.0f, 0.0f});
    EXPECT_TRUE(record->effectParameters().isColorNeutral());
}

TEST_F(ImageRecord, ResetAllIgnoresNullAndListsOfOtherSizes)
{
    record->setGamma(2.0f);
    const std::vector<float> values = allValues(*record);
    const quint64 version = record->imageVersion();
    const std::size_t steps = controller.undoSteps.size();
    const int refreshes = controller.datasourceUpdates;

    record->resetAll(nullptr);
    record->resetAll1({});
    record->resetAll1({0.0f, 1.0f, 1.0f, 1.0f});
    record->resetAll1({0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f});

    EXPECT_EQ(allValues(*record), values);
    EXPECT_EQ(record->imageVersion(), version);
    EXPECT_EQ(controller.undoSteps.size(), steps);
    EXPECT_EQ(controller.datasourceUpdates, refreshes);
}

TEST_F(ImageRecord, ResetParametersIsNeitherAnEditNorAnUndoStep)
{
    record->setImagename(QStringLiteral("kept"));
    record->setInfo(QStringLiteral("kept too"));
    record->setFlip(3);
    record->resetAll1({1.0f, 2.0f, 3.0f, 4.0f, 5.0f});
    record->setAngle(45.0f);
    const quint64 version = record->imageVersion();
    const std::size_t steps = controller.undoSteps.size();

    record->resetParameters();
    EXPECT_EQ(allValues(*record), neutralValues());
    EXPECT_EQ(record->imageVersion(), version);
    EXPECT_EQ(controller.undoSteps.size(), steps);
    EXPECT_EQ(record->imagename(), QStringLiteral("kept"));
    EXPECT_EQ(record->info(), QStringLiteral("kept too"));
}

TEST_F(ImageRecord, UndoAfterTheRecordIsGoneDoesNothing)
{
    record->setAngle(90.0f);
    record->resetAll1({1.0f, 2.0f, 3.0f, 4.0f, 5.0f});
    std::weak_ptr<PDFImageStruct> watch = record;
    record.reset();
    EXPECT_TRUE(watch.expired()); // the undo steps do not keep it alive

    ASSERT_EQ(controller.undoSteps.size(), 2u);
    const int refreshes = controller.datasourceUpdates;
    EXPECT_TRUE(controller.undo());
    EXPECT_TRUE(controller.undo());
    EXPECT_TRUE(controller.undoSteps.empty());
    EXPECT_EQ(controller.datasourceUpdates, refreshes);
}

TEST_F(ImageRecord, EditsWithoutAControllerStillApply)
{
    setMainController(nullptr);
    record->setContrast(0.5f);
    record->resetAll1({0.1f, 0.2f, 0.3f, 0.4f, 0.5f});
    EXPECT_EQ(record->contrast(), 0.2f);
    EXPECT_EQ(record->imageVersion(), 2u);
    EXPECT_TRUE(controller.undoSteps.empty());
}

// Render threads read the values while the main thread edits; each value read
// must be one that was written. Meaningful under ThreadSanitizer, harmless
// without it.
TEST_F(ImageRecord, ReadersOnOtherThreadsSeeWrittenValues)
{
    QImage picture(8, 8, QImage::Format_ARGB32);
    picture.fill(qRgba(10, 20, 30, 255));
    record->setImage(picture);
    record->setImagename(QStringLiteral("name"));

    std::atomic<bool> stop{false};
    std::atomic<int> oddValues{0};
    std::thread reader([&] {
        while (!stop.load()) {
            const zembrix::EffectParameters parameters = record->effectParameters();
            if (parameters.brightness != 0.0f && parameters.brightness != 0.5f)
                oddValues.fetch_add(1);
            if (parameters.angle != 0.0f && parameters.angle != 90.0f)
                oddValues.fetch_add(1);
            const QImage rendering = record->applyAllEffects();
            if (rendering.width() != 8 || rendering.height() != 8)
                oddValues.fetch_add(1);
            if (!record->imagename().startsWith(QLatin1String("name")))
                oddValues.fetch_add(1);
            (void)record->imageVersion();
        }
    });
    for (int i = 0; i < 500; ++i) {
        record->setBrightness(i % 2 ? 0.5f : 0.0f);
        record->setAngle(i % 2 ? 90.0f : 0.0f);
        record->setImagename(QStringLiteral("name%1").arg(i));
    }
    stop.store(true);
    reader.join();
    EXPECT_EQ(oddValues.load(), 0);
    EXPECT_EQ(record->imageVersion(), 1000u);
}
