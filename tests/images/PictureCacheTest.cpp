#include "images/PictureCache.h"

#include <gtest/gtest.h>

using namespace zembrix;

namespace {

QImage picture(int side, QRgb colour)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

// Least recently used pictures go first; held ones stay; failed builds are not kept.
TEST(PictureCache, EvictsLeastRecentlyUsedUnheldPictures)
{
    const qint64 one = picture(10, 0).sizeInBytes();
    PictureCache cache(one * 2);
    int builds = 0;
    const auto build = [&](QRgb colour) {
        return [&builds, colour] {
            ++builds;
            return picture(10, colour);
        };
    };
    EXPECT_EQ(cache.picture(1, build(1)).pixel(0, 0), 0xff000001u);
    cache.picture(2, build(2));
    cache.picture(1, build(1)); // 1 is now the most recent
    cache.picture(3, build(3)); // evicts 2
    EXPECT_EQ(builds, 3);
    cache.picture(1, build(1));
    EXPECT_EQ(builds, 3);
    cache.picture(2, build(2));
    EXPECT_EQ(builds, 4);
    EXPECT_LE(cache.bytes(), cache.limit());

    const QImage held1 = cache.picture(1, build(1));
    const QImage held2 = cache.picture(2, build(2));
    cache.setLimit(0);
    EXPECT_EQ(cache.bytes(), 2 * one); // both in use
    cache.picture(4, build(4));        // kept until the next eviction: it was held while it was put in
    cache.setLimit(0);
    EXPECT_EQ(cache.bytes(), 2 * one);
    EXPECT_EQ(cache.picture(1, build(9)).pixel(0, 0), held1.pixel(0, 0));

    EXPECT_TRUE(cache.picture(5, [] { return QImage(); }).isNull());
    cache.remove(1);
    cache.remove(2);
    EXPECT_EQ(cache.bytes(), 0);
}
