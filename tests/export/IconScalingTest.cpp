#include "export/IconScaling.h"

#include <gtest/gtest.h>

using namespace zembrix;

TEST(IconScaling, ScaleImageFitsAndCentresInATransparentSquare)
{
    QImage source(300, 100, QImage::Format_RGB32);
    source.fill(qRgb(200, 40, 10));
    const QImage square = scaleImage(source, 256).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(square.size(), QSize(256, 256));
    // 100 x 256 / 300 = 85.3 rows high, centred: rows 85 .. 169, the full width.
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(square.pixel(x, y), y >= 85 && y < 170 ? qRgb(200, 40, 10) : qRgba(0, 0, 0, 0)) << x << "," << y;
    EXPECT_TRUE(scaleImage(QImage(), 256).isNull());
    EXPECT_TRUE(scaleImage(source, 0).isNull());
}
