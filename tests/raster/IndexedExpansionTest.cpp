#include "raster/IndexedExpansion.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

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
}

TEST(IndexedExpansion, RefusesWhatItCannotExpand)
{
    const QByteArray lookup = makeLookup(16, 3);
    struct Case {
        const char *name;
        int width, height, bits;
        qsizetype dataBytes;
        bool built;
    };
    const Case cases[] = {
        {"8-bit, one index short", 4, 4, 8, 15, false},
        {"8-bit, exact", 4, 4, 8, 16, true},
        {"4-bit, 3x2 needs 4 bytes", 3, 2, 4, 4, true},
        {"4-bit, 3x2 with 2 bytes", 3, 2, 4, 2, false},
        {"1-bit, 9x1 with one byte", 9, 1, 1, 1, false},
        {"16-bit indices", 2, 2, 16, 8, false},
        {"3-bit indices", 2, 2, 3, 8, false},
        {"0-bit indices", 2, 2, 0, 8, false},
        {"width 0", 0, 2, 8, 8, false},
        {"negative height", 2, -2, 8, 8, false},
        {"huge", INT_MAX, INT_MAX, 8, 8, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(!expand(false, lookup, QByteArray(c.dataBytes, '\x11'), c.width, c.height, c.bits).isNull(), c.built);
    }
    // The limit is on the expanded result: 10 x 10 RGB is 300 bytes.
    const QByteArray hundred(100, '\x01');
    EXPECT_FALSE(expand(false, lookup, hundred, 10, 10, 8, 300).isNull());
    EXPECT_TRUE(expand(false, lookup, hundred, 10, 10, 8, 299).isNull());
    EXPECT_TRUE(expand(true, makeLookup(2, 4), hundred, 10, 10, 8, 399).isNull());
}

} // namespace
