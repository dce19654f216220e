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

// 1-, 2-, 4- and 8-bit indices, rows padded to whole bytes, against both expansions.
TEST(IndexedExpansion, ReadsIndicesRowByRow)
{
    struct Case {
        const char *name;
        int width, height, bits;
        const char *hex;
        std::vector<int> entries;
    };
    const Case cases[] = {
        {"4-bit, 3x2: padding nibble skipped", 3, 2, 4, "1 2 3 f 4 5 6 f", {1, 2, 3, 4, 5, 6}},
        {"4-bit, 5x3", 5, 3, 4, "01234f 56789f 0abcdf", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 10, 11, 12, 13}},
        {"8-bit, more data than W x H", 2, 2, 8, "0102030405060708", {1, 2, 3, 4}},
        {"1-bit, 10x2: rows of two bytes", 10, 2, 1, "ff c0 00 7f",
         {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"2-bit, 5x2: rows of two bytes", 5, 2, 2, "1b c0 e4 40", {0, 1, 2, 3, 3, 3, 2, 1, 0, 1}},
    };
    for (const Case &c : cases)
        for (const bool cmyk : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (cmyk ? ", CMYK" : ", RGB"));
            const int size = cmyk ? 4 : 3;
            const QByteArray lookup = makeLookup(16, size);
            const RasterImage image = expand(cmyk, lookup, QByteArray::fromHex(c.hex), c.width, c.height, c.bits);
            ASSERT_FALSE(image.isNull());
            EXPECT_EQ(image.model, cmyk ? ColorModel::CMYK : ColorModel::RGB);
            EXPECT_EQ(image.bitsPerComponent, 8);
            EXPECT_FALSE(image.hasAlpha);
            ASSERT_EQ(image.width, c.width);
            ASSERT_EQ(image.height, c.height);
            for (int i = 0; i < c.width * c.height; ++i)
                EXPECT_EQ(pixelAt(image, i % c.width, i / c.width), lookup.mid(c.entries[size_t(i)] * size, size)) << i;
        }
}

TEST(IndexedExpansion, IndicesPastTheTableTakeTheLastEntry)
{
    // Three RGB entries and a broken last one: indices 2..255 give entry 2.
    const RasterImage image =
        expand(false, QByteArray::fromHex("102030 405060 708090 ffff"), QByteArray::fromHex("00 02 03 ff"), 4, 1, 8);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.samples, QByteArray::fromHex("102030 708090 708090 708090"));
    // 4-bit CMYK with a single entry.
    const RasterImage one = expand(true, QByteArray::fromHex("01020304"), QByteArray::fromHex("0f"), 2, 1, 4);
    ASSERT_FALSE(one.isNull());
    EXPECT_EQ(one.samples, QByteArray::fromHex("01020304 01020304"));
    // A lookup shorter than one entry gives no image.
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
        // The data reaches W x H index positions when its padding nibble
        // counts, as the expansion has always counted; the last pixel stays 0.
        {"4-bit, 3x2 with 3 bytes", 3, 2, 4, 3, true},
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
    const RasterImage shortRow = expand(false, lookup, QByteArray::fromHex("12 30 45"), 3, 2, 4);
    ASSERT_FALSE(shortRow.isNull());
    EXPECT_EQ(pixelAt(shortRow, 1, 1), lookup.mid(5 * 3, 3));
    EXPECT_EQ(pixelAt(shortRow, 2, 1), QByteArray(3, '\0'));

    // The limit is on the expanded result: 10 x 10 RGB is 300 bytes.
    const QByteArray hundred(100, '\x01');
    EXPECT_FALSE(expand(false, lookup, hundred, 10, 10, 8, 300).isNull());
    EXPECT_TRUE(expand(false, lookup, hundred, 10, 10, 8, 299).isNull());
    EXPECT_TRUE(expand(true, makeLookup(2, 4), hundred, 10, 10, 8, 399).isNull());
}

TEST(IndexedExpansion, GrayEntriesAreOneByte)
{
    const RasterImage image = expandIndexedImage(QByteArrayView(QByteArray::fromHex("00 80 ff")), ColorModel::Gray,
                                                 QByteArrayView(QByteArray::fromHex("1b")), 4, 1, 2, kLimit);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.model, ColorModel::Gray);
    EXPECT_EQ(image.samples, QByteArray::fromHex("00 80 ff ff"));
}

} // namespace
