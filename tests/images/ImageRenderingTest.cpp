#include "RecordingEvents.h"
#include "TestPictures.h"

#include "images/EffectsPipeline.h"
#include "images/PDFImageStruct.h"

#include <gtest/gtest.h>

using namespace zembrix;

// Without a picture nothing is rendered; with neutral edits (also edits set back to neutral)
// the picture itself. Otherwise the record hands every edit to the effects pipeline (whose
// order has its own tests) and never touches the stored picture.
TEST(ImageRendering, EditsReachThePipeline)
{
    RecordingEvents events;
    const QImage picture = testpictures::make(5, 3, [](int x, int y) { return qRgba(40 * x + 10, 100 * y + 5, 200 - 30 * x, 255 - 63 * x); });

    auto record = PDFImageStruct::create(events.context());
    record->setAngle(90.0f);
    EXPECT_TRUE(record->applyAllEffects().isNull());
    EXPECT_TRUE(record->getNSImage().isNull());

    record->setAngle(0.0f);
    record->setImage(picture);
    record->setHue(90.0f);
    record->setHue(0.0f);
    EXPECT_EQ(record->applyAllEffects(), picture);

    record->setAngle(90.0f);
    record->setFlip(2);
    record->setBrightness(0.5f);
    record->setHue(30.0f);
    const QImage expected = applyAllEffects(picture, {.angle = 90.0f, .flip = 2, .brightness = 0.5f, .hue = 30.0f});
    ASSERT_EQ(expected.size(), QSize(3, 5));
    EXPECT_EQ(record->applyAllEffects(), expected);
    EXPECT_EQ(record->getBitmapRepImg(), expected);
    EXPECT_EQ(record->getNSImage(), expected);
    EXPECT_EQ(record->image(), picture);
}
