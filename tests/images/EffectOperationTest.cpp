#include "images/EffectOperation.h"

#include <gtest/gtest.h>

// Turns run 0, 90, 180, 270 and back to exactly 0 either way; a right turn
// stays within 0 to 360. Each mirror command switches its own bit.
TEST(EffectOperation, TurnsWrapAndMirrorsSwitchOneBit)
{
    float left = 0.0f, right = 0.0f;
    const float lefts[] = {90.0f, 180.0f, 270.0f, 0.0f};
    const float rights[] = {270.0f, 180.0f, 90.0f, 0.0f};
    for (int i = 0; i < 4; ++i) {
        left = turnedLeft(left);
        right = turnedRight(right);
        EXPECT_EQ(left, lefts[i]);
        EXPECT_EQ(right, rights[i]);
    }
    EXPECT_EQ(turnedRight(45.0f), 315.0f);

    const struct { int code, horizontal, vertical; } mirrors[] = {{0, 2, 1}, {1, 3, 0}, {2, 0, 3}, {3, 1, 2}};
    for (const auto &m : mirrors) {
        EXPECT_EQ(flippedHorizontally(m.code), m.horizontal) << m.code;
        EXPECT_EQ(flippedVertically(m.code), m.vertical) << m.code;
    }
}
