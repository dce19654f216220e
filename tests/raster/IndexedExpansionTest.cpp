#include "raster/IndexedExpansion.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zembrix;

namespace {

constexpr qint64 kLimit = 64LL << 20;

// A lookup of `entries` entries of `size` bytes, entry k = (k*16+1, k*16+2, ...).
QByteArray makeLookup(int entries, int size)
{
    QByteArray lookup;
    for (int k = 0; k < entries; ++k)
        for (int c = 0; c < size; ++c)
            lookup.append(char(k * 16 + c + 1));
    return lookup;
}

QByteArray pixelAt(const RasterImage &image, int x, int y)
{
    const int size = image.samplesPerPixel();
    return QByteArray(reinterpret_cast<const char *>(image.row(y)) + x * size, size);
}

RasterImage expand(bool cmyk, const QByteArray &lookup, const QByteArray &indices, int width, int height, int bits,
                   qint64 maxBytes = kLimit)
{
    return cmyk ? makeCmykIndexedImage(QByteArrayView(lookup), QByteArrayView(indices), width, height, bits, maxBytes)
                : makeRgbIndexedImage(QByteArrayView(lookup), QByteArrayView(indices), width, height, bits, maxBytes);
}

// Sub-byte indices over several rows, each row padded to whole bytes, in both expansions (the
// PDF route checks single rows and 8-bit, gray and clamped indices); a lookup shorter than one
// entry gives no image.
TEST(IndexedExpansion, PaddedRowsOfSubByteIndices)
{
    struct Case {
        int width, height, bits;
        const char *hex;
        std::vector<int> entries;
    };
    const Case cases[] = {
        {10, 2, 1, "ff c0 00 7f", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {5, 2, 2, "1b c0 e4 40", {0, 1, 2, 3, 3, 3, 2, 1, 0, 1}},
        {5, 3, 4, "01234f 56789f 0abcdf", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 10, 11, 12, 13}},
    };
    for (const Case &c : cases)
        for (const bool cmyk : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.bits << " bits" << (cmyk ? ", CMYK" : ", RGB"));
            const int size = cmyk ? 4 : 3;
            const QByteArray lookup = makeLookup(16, size);
            const RasterImage image = expand(cmyk, lookup, QByteArray::fromHex(c.hex), c.width, c.height, c.bits);
            ASSERT_EQ(image.height, c.height);
            for (int i = 0; i < c.width * c.height; ++i)
                EXPECT_EQ(pixelAt(image, i % c.width, i / c.width), lookup.mid(c.entries[size_t(i)] * size, size)) << i;
        }
    EXPECT_TRUE(expand(false, QByteArray::fromHex("0102"), QByteArray(4, '\0'), 2, 2, 8).isNull());
    EXPECT_TRUE(expand(true, QByteArray(), QByteArray(4, '\0'), 2, 2, 8).isNull());
    // The limit is on the expanded result: 10 x 10 RGB is 300 bytes.
    EXPECT_FALSE(expand(false, makeLookup(2, 3), QByteArray(100, '\1'), 10, 10, 8, 300).isNull());
    EXPECT_TRUE(expand(false, makeLookup(2, 3), QByteArray(100, '\1'), 10, 10, 8, 299).isNull());
}

} // namespace
