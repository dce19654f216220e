#include "RecordingEvents.h"

#include "images/PDFImageStruct.h"

#include <gtest/gtest.h>

#include <QImage>

#include <atomic>
#include <functional>
#include <thread>

using namespace zembrix;

namespace {

class ImageRecord : public ::testing::Test
{
protected:
    RecordingEvents events;
    std::shared_ptr<PDFImageStruct> record = PDFImageStruct::create(events.context());
};

// The seven edit setters as one family: how to set each value, and two values that differ from
// the neutral one.
struct Edit {
    const char *name;
    std::function<void(PDFImageStruct &, float)> set;
    float first, second;
};

const std::vector<Edit> &edits()
{
    static const std::vector<Edit> table = {
        {"flip", [](PDFImageStruct &r, float v) { r.setFlip(int(v)); }, 2.0f, 3.0f},
        {"angle", [](PDFImageStruct &r, float v) { r.setAngle(v); }, 90.0f, -33.5f},
        {"brightness", [](PDFImageStruct &r, float v) { r.setBrightness(v); }, 0.25f, -7.0f},
        {"contrast", [](PDFImageStruct &r, float v) { r.setContrast(v); }, 1.5f, 0.0f},
        {"saturation", [](PDFImageStruct &r, float v) { r.setSaturation(v); }, 0.0f, 2.5f},
        {"gamma", [](PDFImageStruct &r, float v) { r.setGamma(v); }, 2.2f, 0.45f},
        {"hue", [](PDFImageStruct &r, float v) { r.setHue(v); }, 180.0f, 400.0f},
    };
    return table;
}

// Every edit value of a record, in the order of edits().
std::vector<float> allValues(const PDFImageStruct &r)
{
    return {float(r.flip()), r.angle(), r.brightness(), r.contrast(), r.saturation(), r.gamma(), r.hue()};
}

const std::vector<float> kNeutral = {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f};

} // namespace

// Each setter is one undo step that moves only its own value, even to the
// neutral value; an undo is an edit too and leaves the redo behind.
TEST_F(ImageRecord, EachSetterIsOneUndoStep)
{
    for (const Edit &edit : edits()) {
        SCOPED_TRACE(edit.name);
        RecordingEvents steps;
        auto fresh = PDFImageStruct::create(steps.context());
        const std::size_t member = std::size_t(&edit - edits().data());
        edit.set(*fresh, kNeutral[member]);
        edit.set(*fresh, edit.first);
        edit.set(*fresh, edit.second);
        EXPECT_EQ(steps.undoSteps.size(), 3u);
        EXPECT_EQ(steps.refreshes(), 3);
        std::vector<float> expected = kNeutral;
        expected[member] = edit.second;
        EXPECT_EQ(allValues(*fresh), expected);
        ASSERT_TRUE(steps.undo());
        EXPECT_EQ(allValues(*fresh)[member], edit.first);
        ASSERT_TRUE(steps.undo());
        EXPECT_EQ(allValues(*fresh)[member], edit.second);
    }
}

// resetAll sets the five colour values as one step (angle and flip stay); one undo restores all
// five and its redo sets them again. A null pointer or a list of another size changes nothing.
TEST_F(ImageRecord, ResetAllSetsTheFiveColourValuesAsOneStep)
{
    record->setAngle(90.0f);
    record->setFlip(1);
    record->setBrightness(0.5f);
    record->resetAll(nullptr);
    record->resetAll1({});
    record->resetAll1({0.0f, 1.0f, 1.0f, 1.0f});
    record->resetAll1({0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f});
    EXPECT_EQ(events.undoSteps.size(), 3u);

    const float five[5] = {-0.25f, 2.0f, 0.5f, 3.0f, 270.0f};
    const std::vector<float> set = {1.0f, 90.0f, -0.25f, 2.0f, 0.5f, 3.0f, 270.0f};
    record->resetAll(five);
    EXPECT_EQ(allValues(*record), set);
    EXPECT_EQ(events.undoSteps.size(), 4u);
    ASSERT_TRUE(events.undo());
    EXPECT_EQ(allValues(*record), (std::vector<float>{1.0f, 90.0f, 0.5f, 1.0f, 1.0f, 1.0f, 0.0f}));
    ASSERT_TRUE(events.undo());
    EXPECT_EQ(allValues(*record), set);
}

TEST_F(ImageRecord, UndoAfterTheRecordIsGoneDoesNothing)
{
    record->setAngle(90.0f);
    record->resetAll1({1.0f, 2.0f, 3.0f, 4.0f, 5.0f});
    std::weak_ptr<PDFImageStruct> watch = record;
    record.reset();
    EXPECT_TRUE(watch.expired()); // the undo steps do not keep it alive
    const int refreshes = events.refreshes();
    EXPECT_TRUE(events.undo());
    EXPECT_TRUE(events.undo());
    EXPECT_TRUE(events.undoSteps.empty());
    EXPECT_EQ(events.refreshes(), refreshes);
}

// Render threads read the values while the main thread edits; each value read must be one that
// was written. Meaningful under ThreadSanitizer, harmless without it.
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
            const EffectParameters parameters = record->effectParameters();
            const QImage rendering = record->applyAllEffects();
            oddValues += (parameters.brightness != 0.0f && parameters.brightness != 0.5f)
                         + (parameters.angle != 0.0f && parameters.angle != 90.0f) + (rendering.size() != QSize(8, 8))
                         + !record->imagename().startsWith(QLatin1String("name"));
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
