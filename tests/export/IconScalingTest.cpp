#include "ExportTestImages.h"

#include "export/IconScaling.h"

#include <gtest/gtest.h>

using namespace zembrix;

TEST(IconScaling, IconSizeTable)
{
    struct Row {
        int smallerSide;
        int icns;
        int ico;
    };
    const Row rows[] = {
        {5000, 1024, 256}, {1024, 1024, 256}, {1023, 512, 256}, {512, 512, 256}, {511, 256, 256},
        {256, 256, 256},   {255, 128, 128},   {128, 128, 128},  {127, 48, 48},   {48, 48, 48},
        {47, 16, 16},      {16, 16, 16},      {1, 16, 16},      {0, 16, 16},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.smallerSide);
        EXPECT_EQ(getIconSize(IconFileType::Icns, row.smallerSide), row.icns);
        EXPECT_EQ(getIconSize(IconFileType::Ico, row.smallerSide), row.ico);
    }
}

TEST(IconScaling, ScaleImageFitsAndCentresInATransparentSquare)
{
    QImage source(300, 100, QImage::Format_RGB32);
    source.fill(qRgb(200, 40, 10));
    const QImage square = scaleImage(source, 256);
    ASSERT_EQ(square.size(), QSize(256, 256));
    const QImage argb = square.convertToFormat(QImage::Format_ARGB32);

    // 100 x 256 / 300 = 85.3 rows high, centred: rows 85 .. 169.
    int firstOpaque = -1;
    int lastOpaque = -1;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const QRgb p = argb.pixel(x, y);
            if (qAlpha(p) == 255) {
                EXPECT_EQ(p, qRgb(200, 40, 10)) << x << "," << y;
                if (firstOpaque < 0)
                    firstOpaque = y;
                lastOpaque = y;
            } else {
                EXPECT_EQ(qAlpha(p), 0) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(lastOpaque - firstOpaque + 1, 85);
    EXPECT_EQ(firstOpaque, 85);
    EXPECT_EQ(qAlpha(argb.pixel(0, 128)), 255);
    EXPECT_EQ(qAlpha(argb.pixel(255, 128)), 255);

    EXPECT_TRUE(scaleImage(QImage(), 256).isNull());
    EXPECT_TRUE(scaleImage(source, 0).isNull());
}
