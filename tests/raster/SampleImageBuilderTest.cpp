#include "raster/SampleImageBuilder.h"

#include "PdfFixture.h"

#include <QImage>

#include <gtest/gtest.h>

#include <climits>

using namespace zembrix;

namespace {

constexpr qint64 kLimit = 64LL << 20;

QByteArray patternBytes(qsizetype size)
{
    return QByteArray::fromStdString(fixture::sampleBytes(size_t(size)));
}

// Built, and judged by the layout alone: both must agree.
RasterImage build(const QByteArray &data, int bpc, SampleColorMode mode, int width, int height,
                  qint64 maxBytes = kLimit)
{
    RasterImage image = makeImageFromSamples(QByteArrayView(data), data.size(), bpc, mode, width, height, maxBytes);
    EXPECT_EQ(sampleLayoutAccepted(data.size(), bpc, mode, width, height, maxBytes), !image.isNull());
    return image;
}

// Sample `index` of row `y`, read bit by bit at its position in the data
// (rows of rowBytes bytes, high-order bit first), scaled to 0..255 below
// 8 bits: a reader that shares nothing with the builder.
int referenceSample(const QByteArray &data, qint64 rowBytes, int y, qint64 index, int bits)
{
    const qint64 start = y * rowBytes * 8 + index * bits;
    int value = 0;
    for (int b = 0; b < bits; ++b) {
        const qint64 bit = start + b;
        value = value << 1 | ((uchar(data[bit / 8]) >> (7 - bit % 8)) & 1);
    }
    return bits < 8 ? value * 255 / ((1 << bits) - 1) : value;
}

int builtSample(const RasterImage &image, int y, qint64 index)
{
    if (image.bitsPerComponent == 16)
        return reinterpret_cast<const quint16 *>(image.row(y))[index];
    return image.row(y)[index];
}

// Every sample of the image against the reference reader.
void expectSamplesFromData(const RasterImage &image, const QByteArray &data, qint64 rowBytes, int bits)
{
    const qint64 perRow = qint64(image.width) * image.samplesPerPixel();
    for (int y = 0; y < image.height; ++y)
        for (qint64 i = 0; i < perRow; ++i)
            ASSERT_EQ(builtSample(image, y, i), referenceSample(data, rowBytes, y, i, bits))
                << "row " << y << " sample " << i;
}

TEST(SampleImageBuilder, InfersTheLayoutFromTheByteCount)
{
    using M = SampleColorMode;
    struct Built {
        const char *name;
        int width, height;
        qsizetype dataBytes;
        int bpc;
        SampleColorMode mode;
        ColorModel model;
        bool alpha;
        int sampleBits; // bits per sample read from the data
    };
    const Built built[] = {
        {"RGB 8-bit 100x50, 15000 bytes: 24 bpp", 100, 50, 15000, 8, M::RGB, ColorModel::RGB, false, 8},
        {"gray 1-bit 10x10, rows of 2 bytes: 1 bpp", 10, 10, 20, 1, M::Gray, ColorModel::Gray, false, 1},
        {"image mask through the 8-bit RGB call", 16, 8, 16, 8, M::RGB, ColorModel::Gray, false, 1},
        {"RGB with 4 bytes per pixel gets alpha", 7, 5, 140, 8, M::RGB, ColorModel::RGB, true, 8},
        {"CMYK 8-bit: 32 bpp without alpha", 7, 5, 140, 8, M::CMYK, ColorModel::CMYK, false, 8},
        {"RGB 16-bit: 48 bpp", 5, 4, 120, 16, M::RGB, ColorModel::RGB, false, 16},
        {"gray 16-bit", 5, 4, 40, 16, M::Gray, ColorModel::Gray, false, 16},
        {"gray 16-bit at 32 bpp: gray with alpha", 5, 4, 80, 16, M::Gray, ColorModel::Gray, true, 16},
        {"gray 4-bit", 10, 3, 15, 4, M::Gray, ColorModel::Gray, false, 4},
        {"gray 4-bit, 3 wide: padding gives 5 bpp", 3, 4, 8, 4, M::Gray, ColorModel::Gray, false, 4},
        {"gray 2-bit, 5 wide: padding gives 3 bpp", 5, 4, 8, 2, M::Gray, ColorModel::Gray, false, 2},
        {"RGB 2-bit: 6 bpp", 4, 2, 6, 2, M::RGB, ColorModel::RGB, false, 2},
        {"CMYK 2-bit: 8 bpp", 3, 2, 6, 2, M::CMYK, ColorModel::CMYK, false, 2},
        {"RGB rows of 10 bytes: 26 bpp, rounded to 24", 3, 2, 20, 8, M::RGB, ColorModel::RGB, false, 8},
    };
    for (const Built &c : built) {
        SCOPED_TRACE(c.name);
        const QByteArray data = patternBytes(c.dataBytes);
        const RasterImage image = build(data, c.bpc, c.mode, c.width, c.height);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.model, c.model);
        EXPECT_EQ(image.hasAlpha, c.alpha);
        EXPECT_EQ(image.bitsPerComponent, c.sampleBits == 16 ? 16 : 8);
        expectSamplesFromData(image, data, c.dataBytes / c.height, c.sampleBits);
        EXPECT_FALSE(rasterToQImage(image).isNull());
    }
    struct Refused {
        const char *name;
        int width, height;
        qsizetype dataBytes;
        int bpc;
        SampleColorMode mode;
    };
    const Refused refused[] = {
        {"RGB 4-bit: 12 -> 8 bpp, 2 samples", 10, 4, 60, 4, M::RGB},
        {"3 components tried as CMYK", 6, 6, 108, 8, M::CMYK},
        {"1 component tried as CMYK", 6, 6, 36, 8, M::CMYK},
        {"RGB 8-bit missing its last row: 21 -> 16 bpp", 10, 10, 270, 8, M::RGB},
        {"gray 8-bit data of 2 bytes per pixel", 4, 4, 32, 8, M::Gray},
        {"RGB 5 bytes per pixel", 4, 4, 80, 8, M::RGB},
        {"1-bit gray 3 wide: 2 bpp, two 1-bit samples", 3, 10, 10, 1, M::Gray},
        {"16-bit gray at 24 bpp", 4, 4, 48, 16, M::Gray},
        {"3 bits per component", 4, 4, 24, 3, M::Gray},
        {"32 bits per component", 4, 4, 192, 32, M::RGB},
        {"less than one bit per pixel", 100, 100, 1000, 8, M::RGB},
        {"width 0", 0, 10, 30, 8, M::RGB},
        {"no data", 3, 3, 0, 8, M::RGB},
    };
    for (const Refused &c : refused)
        EXPECT_TRUE(build(patternBytes(c.dataBytes), c.bpc, c.mode, c.width, c.height).isNull()) << c.name;
    // A count beyond the bytes that exist is refused rather than read; products past 64 bits too.
    EXPECT_TRUE(makeImageFromSamples(QByteArrayView(patternBytes(64)), 4800, 8, M::RGB, 40, 40, kLimit).isNull());
    EXPECT_TRUE(build(patternBytes(64), 8, M::RGB, INT_MAX, INT_MAX).isNull());
}

} // namespace
