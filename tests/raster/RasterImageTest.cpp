#include "raster/RasterImage.h"

#include <gtest/gtest.h>

#include <climits>

using namespace zembrix;

namespace {

RasterImage rasterOf(int w, int h, ColorModel model, int bpc, bool alpha, const std::vector<int> &samples)
{
    RasterImage raster = RasterImage::create(w, h, model, bpc, alpha, 1 << 20);
    EXPECT_EQ(size_t(raster.samples.size()), samples.size() * size_t(bpc / 8));
    for (size_t i = 0; i < samples.size(); ++i) {
        if (bpc == 16)
            reinterpret_cast<quint16 *>(raster.samples.data())[i] = quint16(samples[i]);
        else
            raster.samples[qsizetype(i)] = char(samples[i]);
    }
    return raster;
}

std::vector<int> samplesOf(const RasterImage &raster)
{
    std::vector<int> out;
    const qsizetype count = raster.samples.size() / (raster.bitsPerComponent / 8);
    for (qsizetype i = 0; i < count; ++i)
        out.push_back(raster.bitsPerComponent == 16 ? reinterpret_cast<const quint16 *>(raster.samples.constData())[i]
                                                    : uchar(raster.samples[i]));
    return out;
}

} // namespace

TEST(RasterImage, ConvertsEveryLayoutToTheMatchingQImage)
{
    // Two pixels a and b; the raster is 2 x 2 with rows "a b" and "b a".
    struct Case {
        const char *name;
        ColorModel model;
        int bpc;
        bool alpha;
        std::vector<int> a, b;
        QImage::Format format;
        QRgba64 expectedA, expectedB;
    };
    auto rgba8 = [](int r, int g, int b, int a = 255) { return QRgba64::fromRgba(uchar(r), uchar(g), uchar(b), uchar(a)); };
    const Case cases[] = {
        {"gray 8", ColorModel::Gray, 8, false, {0}, {200}, QImage::Format_Grayscale8, rgba8(0, 0, 0), rgba8(200, 200, 200)},
        {"gray 16", ColorModel::Gray, 16, false, {1000}, {65535}, QImage::Format_Grayscale16, QRgba64::fromRgba64(1000, 1000, 1000, 65535), QRgba64::fromRgba64(65535, 65535, 65535, 65535)},
        {"rgb 8", ColorModel::RGB, 8, false, {1, 2, 3}, {250, 251, 252}, QImage::Format_RGB888, rgba8(1, 2, 3), rgba8(250, 251, 252)},
        {"rgba 8", ColorModel::RGB, 8, true, {10, 20, 30, 40}, {200, 100, 50, 255}, QImage::Format_RGBA8888, rgba8(10, 20, 30, 40), rgba8(200, 100, 50)},
        {"rgb 16", ColorModel::RGB, 16, false, {1, 2, 65535}, {300, 40000, 0}, QImage::Format_RGBX64, QRgba64::fromRgba64(1, 2, 65535, 65535), QRgba64::fromRgba64(300, 40000, 0, 65535)},
        {"rgba 16", ColorModel::RGB, 16, true, {1, 2, 3, 4}, {5, 6, 7, 65535}, QImage::Format_RGBA64, QRgba64::fromRgba64(1, 2, 3, 4), QRgba64::fromRgba64(5, 6, 7, 65535)},
        {"gray + alpha 8", ColorModel::Gray, 8, true, {100, 50}, {7, 255}, QImage::Format_RGBA8888, rgba8(100, 100, 100, 50), rgba8(7, 7, 7)},
        {"gray + alpha 16", ColorModel::Gray, 16, true, {1000, 2000}, {3, 65535}, QImage::Format_RGBA64, QRgba64::fromRgba64(1000, 1000, 1000, 2000), QRgba64::fromRgba64(3, 3, 3, 65535)},
        {"cmyk 8", ColorModel::CMYK, 8, false, {10, 20, 30, 40}, {200, 0, 255, 100}, QImage::Format_RGB888, rgba8(205, 195, 185), rgba8(0, 155, 0)},
        {"cmyk + alpha 8", ColorModel::CMYK, 8, true, {0, 0, 0, 0, 128}, {0, 0, 0, 255, 255}, QImage::Format_RGBA8888, rgba8(255, 255, 255, 128), rgba8(0, 0, 0)},
        {"cmyk 16", ColorModel::CMYK, 16, false, {0, 0, 0, 65535}, {1000, 2000, 3000, 500}, QImage::Format_RGBX64, QRgba64::fromRgba64(0, 0, 0, 65535), QRgba64::fromRgba64(64035, 63035, 62035, 65535)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> samples;
        for (const std::vector<int> *pixel : {&c.a, &c.b, &c.b, &c.a})
            samples.insert(samples.end(), pixel->begin(), pixel->end());
        const QImage image = rasterToQImage(rasterOf(2, 2, c.model, c.bpc, c.alpha, samples));
        ASSERT_EQ(image.format(), c.format);
        ASSERT_EQ(image.size(), QSize(2, 2));
        EXPECT_EQ(image.pixelColor(0, 0).rgba64(), c.expectedA);
        EXPECT_EQ(image.pixelColor(1, 0).rgba64(), c.expectedB);
        EXPECT_EQ(image.pixelColor(0, 1).rgba64(), c.expectedB);
        EXPECT_EQ(image.pixelColor(1, 1).rgba64(), c.expectedA);
    }
}

TEST(RasterImage, AppliesDecodeArraysToColourComponents)
{
    struct Case {
        const char *name;
        ColorModel model;
        int bpc;
        bool alpha;
        std::vector<double> decode;
        std::vector<int> in, out;
    };
    const Case cases[] = {
        {"identity", ColorModel::RGB, 8, false, {0, 1, 0, 1, 0, 1}, {0, 100, 255}, {0, 100, 255}},
        {"inverted gray", ColorModel::Gray, 8, false, {1, 0}, {0, 255, 100}, {255, 0, 155}},
        {"narrowed", ColorModel::Gray, 8, false, {0.2, 0.8}, {0, 255, 128}, {51, 204, 128}},
        {"clamped", ColorModel::Gray, 8, false, {-1, 2}, {0, 255, 128}, {0, 255, 129}},
        {"too short: only red", ColorModel::RGB, 8, false, {1, 0}, {0, 10, 20}, {255, 10, 20}},
        {"empty array", ColorModel::RGB, 8, false, {}, {0, 10, 20}, {0, 10, 20}},
        {"alpha untouched", ColorModel::Gray, 8, true, {1, 0, 1, 0}, {10, 20}, {245, 20}},
        {"cmyk inverted", ColorModel::CMYK, 8, false, {1, 0, 1, 0, 1, 0, 1, 0}, {0, 1, 254, 255}, {255, 254, 1, 0}},
        {"16-bit inverted", ColorModel::Gray, 16, false, {1, 0}, {0, 1000, 65535}, {65535, 64535, 0}},
        {"16-bit RGB, green halved", ColorModel::RGB, 16, false, {0, 1, 0, 0.5, 0, 1}, {100, 65535, 7}, {100, 32768, 7}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int w = int(c.in.size()) / (RasterImage::create(1, 1, c.model, 8, c.alpha, 64).samplesPerPixel());
        RasterImage raster = rasterOf(w, 1, c.model, c.bpc, c.alpha, c.in);
        applyDecodeArray(raster, c.decode);
        EXPECT_EQ(samplesOf(raster), c.out);
    }
}

// Packed samples of every depth unpack to 8 or 16 bits; a /Decode array on low depths acts on
// the original values ([1 0] on 2-bit 0..3 gives 3..0, scaled; [0 0.5] on 4-bit 15 is 7.5 of 15).
TEST(RasterImage, UnpacksPdfSamples)
{
    struct Case {
        const char *name;
        int w, h, components, bpc;
        QByteArray packed;
        int outBits;
        std::vector<int> samples;
        std::vector<double> decode = {};
        std::vector<int> decoded = {};
    };
    const Case cases[] = {
        // 10 pixels in two bytes per row; the padding bits are not samples.
        {"1-bit rows padded", 10, 2, 1, 1, QByteArray("\xb0\x7f\x40\x80", 4), 8, {255, 0, 255, 255, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0, 0, 0, 0, 255, 0}},
        {"1-bit inverted", 4, 1, 1, 1, QByteArray("\xa0", 1), 8, {255, 0, 255, 0}, {1, 0}, {0, 255, 0, 255}},
        {"2-bit", 4, 1, 1, 2, QByteArray("\x1b", 1), 8, {0, 85, 170, 255}, {1, 0}, {255, 170, 85, 0}},
        {"4-bit, half range", 2, 1, 1, 4, QByteArray("\xf0", 1), 8, {255, 0}, {0, 0.5}, {128, 0}},
        {"4-bit RGB", 3, 1, 3, 4, QByteArray("\x0f\x81\x23\x45\x6f", 5), 8, {0, 255, 136, 17, 34, 51, 68, 85, 102}},
        {"8-bit CMYK", 1, 2, 4, 8, QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8), 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"16-bit big-endian", 2, 1, 1, 16, QByteArray("\x01\x02\xff\xfe", 4), 16, {0x0102, 0xfffe}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RasterImage raster = unpackSamples(c.packed, c.w, c.h, c.components, c.bpc, 1 << 20);
        ASSERT_FALSE(raster.isNull());
        EXPECT_EQ(raster.bitsPerComponent, c.outBits);
        EXPECT_EQ(raster.colorComponents(), c.components);
        EXPECT_EQ(samplesOf(raster), c.samples);
        if (!c.decode.empty()) {
            applyDecodeArray(raster, c.decode);
            EXPECT_EQ(samplesOf(raster), c.decoded);
        }
        // One byte less than the rows need is refused.
        EXPECT_TRUE(unpackSamples(QByteArrayView(c.packed).chopped(1), c.w, c.h, c.components, c.bpc, 1 << 20).isNull());
    }
    EXPECT_TRUE(unpackSamples(QByteArray(8, 0), 2, 2, 2, 8, 1 << 20).isNull()); // no model has 2 components
    EXPECT_TRUE(unpackSamples(QByteArray(8, 0), 2, 2, 1, 3, 1 << 20).isNull()); // 3 bits
    EXPECT_TRUE(unpackSamples(QByteArray(8, 0), 2, 2, 1, 8, 3).isNull());       // over the limit
    EXPECT_TRUE(unpackSamples(QByteArray(8, 0), INT_MAX, INT_MAX, 4, 16, LLONG_MAX).isNull());
}
