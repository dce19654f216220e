#include "images/EffectsPipeline.h"

#include "TestPictures.h"

#include <gtest/gtest.h>

using namespace zembrix;

using testpictures::numbered;

TEST(EffectsPipeline, NullAndNeutral)
{
    const EffectParameters edits{.angle = 33.0f, .flip = 3, .gamma = 2.0f};
    EXPECT_TRUE(applyAllEffects(QImage(), edits).isNull());
    EXPECT_TRUE(applyImageEffects(QImage(), edits).isNull());

    EXPECT_TRUE(EffectParameters().isNeutral());
    for (QImage::Format format : {QImage::Format_ARGB32, QImage::Format_Grayscale8, QImage::Format_Grayscale16,
                                  QImage::Format_Mono, QImage::Format_RGB888}) {
        const QImage source = numbered(4, 3, format);
        const QImage out = applyAllEffects(source, EffectParameters());
        EXPECT_EQ(out.cacheKey(), source.cacheKey()) << int(format);
        EXPECT_EQ(out, source);
    }
}

TEST(EffectsPipeline, RotateThenMirrorThenColour)
{
    const QImage source = numbered(3, 2);
    const EffectParameters p{.angle = 90.0f, .flip = 2, .brightness = 0.1f, .gamma = 1.5f};
    const QImage out = applyAllEffects(source, p);
    ASSERT_EQ(out.size(), QSize(2, 3));
    // Turned counter-clockwise (T(x, y) = S(2 - y, x)), then the turned
    // picture mirrored left to right (O(x, y) = T(1 - x, y)): O(x, y) = S(2 - y, 1 - x).
    // Mirroring first and turning after would give S(y, x) instead.
    const QImage coloured = applyImageEffects(source, {.brightness = 0.1f, .gamma = 1.5f});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(out.pixel(x, y), coloured.pixel(2 - y, 1 - x)) << x << "," << y;
}
