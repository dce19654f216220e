#include "Jpeg2000Fixtures.h"

#include "raster/Jpeg2000Decoder.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace zembrix;

namespace {

// A component of a w x h image, sampled every dx, dy, with values of a varied pattern.
J2kComponent component(int width, int height, int precision, int seed, bool isSigned = false, int dx = 1, int dy = 1,
                       bool alpha = false)
{
    J2kComponent c{precision, isSigned, dx, dy, alpha, {}};
    for (int y = 0; y < (height + dy - 1) / dy; ++y)
        for (int x = 0; x < (width + dx - 1) / dx; ++x) {
            const int v = (x * 7 + y * 13 + seed * 29) % (1 << precision);
            c.values.push_back(isSigned ? v - (1 << (precision - 1)) : v);
        }
    return c;
}

int sampleAt(const RasterImage &image, int x, int y, int channel)
{
    const int index = x * image.samplesPerPixel() + channel;
    if (image.bitsPerComponent == 16)
        return reinterpret_cast<const quint16 *>(image.row(y))[index];
    return image.row(y)[index];
}

// Compares every sample of every channel with the source components: unsigned, scaled to the
// full range of the output depth.
void expectSamples(const RasterImage &image, const J2kImage &fixture)
{
    int mismatches = 0;
    for (int k = 0; k < int(fixture.components.size()); ++k) {
        const J2kComponent &c = fixture.components[size_t(k)];
        const qint64 max = (1 << c.precision) - 1, outMax = (1 << image.bitsPerComponent) - 1;
        for (int y = 0; y < fixture.height; ++y)
            for (int x = 0; x < fixture.width; ++x) {
                int v = c.values[size_t((y / c.dy) * ((fixture.width + c.dx - 1) / c.dx) + x / c.dx)];
                v += c.isSigned ? 1 << (c.precision - 1) : 0;
                if (sampleAt(image, x, y, k) != int((v * outMax + max / 2) / max) && ++mismatches < 5)
                    ADD_FAILURE() << "channel " << k << " at " << x << "," << y << ": " << sampleAt(image, x, y, k);
            }
    }
    EXPECT_EQ(mismatches, 0);
}

QString propertiesText(const char *model, int depth, int height, int width, const char *dpi = "")
{
    return QStringLiteral("{\n    ColorModel = %1;\n    Depth = %2;\n%3    PixelHeight = %4;\n    PixelWidth = %5;\n}")
        .arg(QLatin1String(model))
        .arg(depth)
        .arg(QLatin1String(dpi))
        .arg(height)
        .arg(width);
}

} // namespace

TEST(Jpeg2000Decoder, DecodesLosslessImagesExactly)
{
    const int w = 19, h = 13;
    auto c8 = [&](int seed) { return component(w, h, 8, seed); };
    const auto none = J2kSpace::Unspecified;
    struct Case {
        const char *name;
        J2kImage fixture;
        ColorModel model;
        int bits;
        bool alpha;
    };
    const Case cases[] = {
        {"gray J2K", {w, h, {c8(0)}, none, false}, ColorModel::Gray, 8, false},
        {"gray JP2", {w, h, {c8(0)}, J2kSpace::Gray, true}, ColorModel::Gray, 8, false},
        {"sRGB JP2 with RCT", {w, h, {c8(0), c8(1), c8(2)}, J2kSpace::SRGB, true, true}, ColorModel::RGB, 8, false},
        {"RGB J2K", {w, h, {c8(0), c8(1), c8(2)}, none, false}, ColorModel::RGB, 8, false},
        {"CMYK JP2", {w, h, {c8(0), c8(1), c8(2), c8(3)}, J2kSpace::CMYK, true}, ColorModel::CMYK, 8, false},
        {"four components J2K", {w, h, {c8(0), c8(1), c8(2), c8(3)}, none, false}, ColorModel::CMYK, 8, false},
        {"RGBA JP2 with cdef", {w, h, {c8(0), c8(1), c8(2), component(w, h, 8, 3, false, 1, 1, true)}, J2kSpace::SRGB, true}, ColorModel::RGB, 8, true},
        {"gray + alpha JP2 with cdef", {w, h, {c8(0), component(w, h, 8, 1, false, 1, 1, true)}, J2kSpace::Gray, true}, ColorModel::Gray, 8, true},
        {"two components J2K", {w, h, {c8(0), c8(1)}, none, false}, ColorModel::Gray, 8, true},
        {"12-bit gray", {w, h, {component(w, h, 12, 0)}, none, false}, ColorModel::Gray, 16, false},
        {"16-bit RGB JP2", {w, h, {component(w, h, 16, 0), component(w, h, 16, 1), component(w, h, 16, 2)}, J2kSpace::SRGB, true}, ColorModel::RGB, 16, false},
        {"4-bit gray", {w, h, {component(w, h, 4, 0)}, none, false}, ColorModel::Gray, 8, false},
        {"signed 8-bit gray", {w, h, {component(w, h, 8, 0, true)}, none, false}, ColorModel::Gray, 8, false},
        {"CMYK with subsampled CMY",
         {w, h, {component(w, h, 8, 0, false, 2, 2), component(w, h, 8, 1, false, 2, 1), component(w, h, 8, 2, false, 1, 2), c8(3)}, J2kSpace::CMYK, true},
         ColorModel::CMYK,
         8,
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray encoded = encodeJpeg2000(c.fixture);
        ASSERT_FALSE(encoded.isEmpty());
        const RasterImage image = decodeJpeg2000(encoded);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width, w);
        EXPECT_EQ(image.height, h);
        EXPECT_EQ(image.model, c.model);
        EXPECT_EQ(image.bitsPerComponent, c.bits);
        EXPECT_EQ(image.hasAlpha, c.alpha);
        ASSERT_EQ(image.samplesPerPixel(), int(c.fixture.components.size()));
        expectSamples(image, c.fixture);
    }
}

TEST(Jpeg2000Decoder, ConvertsSyccWithSubsampledChromaToRgb)
{
    // 4 x 4 pixels, neutral chroma except one 2 x 2 chroma sample that makes the bottom-right
    // block red: r = 128 + 1.402 * 127, g = 128 - 0.714 * 127.
    const J2kComponent luma{8, false, 1, 1, false, std::vector<int>(16, 128)};
    const J2kComponent cb{8, false, 2, 2, false, {128, 128, 128, 128}}, cr{8, false, 2, 2, false, {128, 128, 128, 255}};
    for (bool jp2 : {true, false}) {
        SCOPED_TRACE(jp2 ? "JP2 sYCC" : "J2K with subsampled chroma");
        const RasterImage image = decodeJpeg2000(encodeJpeg2000({4, 4, {luma, cb, cr}, jp2 ? J2kSpace::SYCC : J2kSpace::Unspecified, jp2}));
        ASSERT_FALSE(image.isNull());
        ASSERT_EQ(image.model, ColorModel::RGB);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const bool red = x >= 2 && y >= 2;
                EXPECT_EQ(sampleAt(image, x, y, 0), red ? 255 : 128) << x << "," << y;
                EXPECT_EQ(sampleAt(image, x, y, 1), red ? 38 : 128) << x << "," << y;
                EXPECT_EQ(sampleAt(image, x, y, 2), 128) << x << "," << y;
            }
    }
}

// A 'pclr' palette with its 'cmap' mapping of every output channel to column n of component 0;
// 'cdef' declaring component 0 opacity and component 1 the gray colour channel.
TEST(Jpeg2000Decoder, FollowsJp2PaletteAndChannelDefinitions)
{
    const int w = 5, h = 3;
    J2kComponent indices;
    for (int i = 0; i < w * h; ++i)
        indices.values.push_back(i % 4);
    const QByteArray entries("\xff\x00\x00"
                             "\x00\xff\x00"
                             "\x00\x00\xff"
                             "\x10\x20\x30",
                             12);
    const QByteArray palette = jp2Box("pclr", QByteArray("\x00\x04\x03\x07\x07\x07", 6) + entries)
                               + jp2Box("cmap", QByteArray("\x00\x00\x01\x00"
                                                           "\x00\x00\x01\x01"
                                                           "\x00\x00\x01\x02",
                                                           12));
    const QByteArray paletted = wrapJp2(encodeJpeg2000({w, h, {indices}}), w, h, 1, 8, 16, palette);
    const J2kComponent opacity = component(w, h, 8, 5), gray = component(w, h, 8, 9);
    const QByteArray definitions = jp2Box("cdef", QByteArray("\x00\x02"
                                                             "\x00\x00\x00\x01\x00\x00"
                                                             "\x00\x01\x00\x00\x00\x01",
                                                             14));
    const QByteArray defined = wrapJp2(encodeJpeg2000({w, h, {opacity, gray}}), w, h, 2, 8, 17, definitions);

    const RasterImage rgb = decodeJpeg2000(paletted), grayAlpha = decodeJpeg2000(defined);
    ASSERT_FALSE(rgb.isNull());
    ASSERT_FALSE(grayAlpha.isNull());
    ASSERT_EQ(rgb.model, ColorModel::RGB);
    ASSERT_EQ(rgb.bitsPerComponent, 8);
    EXPECT_EQ(grayAlpha.model, ColorModel::Gray);
    ASSERT_TRUE(grayAlpha.hasAlpha);
    for (int i = 0; i < w * h; ++i) {
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(sampleAt(rgb, i % w, i / w, c), uchar(entries[(i % 4) * 3 + c])) << i;
        EXPECT_EQ(sampleAt(grayAlpha, i % w, i / w, 0), gray.values[size_t(i)]) << i;
        EXPECT_EQ(sampleAt(grayAlpha, i % w, i / w, 1), opacity.values[size_t(i)]) << i;
    }
    EXPECT_EQ(jpeg2000PropertiesText(paletted), propertiesText("RGB", 8, 3, 5));
    EXPECT_EQ(jpeg2000PropertiesText(defined), propertiesText("Gray", 8, 3, 5));
}

TEST(Jpeg2000Decoder, PropertiesTextDescribesTheHeader)
{
    const QByteArray gray = encodeJpeg2000({7, 5, {component(7, 5, 8, 0)}});
    const QByteArray rgba = encodeJpeg2000(
        {7, 5, {component(7, 5, 12, 0), component(7, 5, 12, 1), component(7, 5, 12, 2), component(7, 5, 12, 3, false, 1, 1, true)}, J2kSpace::SRGB, true});
    EXPECT_EQ(jpeg2000PropertiesText(rgba), propertiesText("RGB", 12, 5, 7));

    // 'resd' (display) wins over 'resc' (capture). 300 dpi is 30000 / 254 x 10^2 points per
    // metre; 150 dpi half of it.
    const QByteArray resolution = jp2ResolutionBox({30000, 254, 15000, 254, 2, 2}, {15000, 254, 30000, 254, 2, 2});
    const QByteArray withResolution = wrapJp2(gray, 7, 5, 1, 8, 17, resolution);
    EXPECT_EQ(jpeg2000PropertiesText(withResolution),
              propertiesText("Gray", 8, 5, 7, "    DPIHeight = 150;\n    DPIWidth = 300;\n"));
    EXPECT_FALSE(decodeJpeg2000(withResolution).isNull());
    const QByteArray captureOnly = wrapJp2(gray, 7, 5, 1, 8, 17, jp2ResolutionBox({30000, 254, 30000, 254, 2, 2}, {}));
    EXPECT_EQ(jpeg2000PropertiesText(captureOnly),
              propertiesText("Gray", 8, 5, 7, "    DPIHeight = 300;\n    DPIWidth = 300;\n"));

    EXPECT_EQ(jpeg2000PropertiesText(gray.left(20)), std::nullopt);
}

// Data that is no image gives none (cut files are in the hostile catalogue); sizes past the
// limit are refused before decoding.
TEST(Jpeg2000Decoder, RefusesHostileInputBeforeDecoding)
{
    EXPECT_TRUE(decodeJpeg2000(QByteArray()).isNull());
    EXPECT_TRUE(decodeJpeg2000(QByteArray("\xff\x4f\xff\x51", 4)).isNull());
    EXPECT_TRUE(decodeJpeg2000(QByteArray("garbage that is no image")).isNull());
    QByteArray j2k = encodeJpeg2000({16, 16, {component(16, 16, 8, 0)}});
    // OpenJPEG holds 32-bit planes: 4 bytes per sample is the working limit.
    EXPECT_FALSE(decodeJpeg2000(j2k, 16 * 16 * 4).isNull());
    EXPECT_TRUE(decodeJpeg2000(j2k, 16 * 16 * 4 - 1).isNull());
    // SIZ claims a reference grid of 2^31 - 16 points each way.
    j2k.replace(8, 8, QByteArray("\x7f\xff\xff\xf0\x7f\xff\xff\xf0", 8));
    EXPECT_TRUE(decodeJpeg2000(j2k).isNull());
}

// A smaller copy decodes a lower resolution level: each level halves both sides, down to the
// last one whose long edge still reaches the edge asked for; the level's samples (a low-pass
// band) stay near the full picture's means over the same blocks.
TEST(Jpeg2000Decoder, ReducedDecodeStopsAtTheLevelOfTheEdgeAsked)
{
    const int w = 64, h = 40;
    J2kImage fixture{w, h, {component(w, h, 8, 1)}, J2kSpace::Gray, true, false};
    // A smooth ramp, whose low-pass bands stay near its block means.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            fixture.components[0].values[size_t(y * w + x)] = x * 2 + y;
    const QByteArray data = encodeJpeg2000(fixture);
    const RasterImage full = decodeJpeg2000(data);
    for (const auto &[edge, expectedWidth, expectedHeight] :
         std::vector<std::tuple<int, int, int>>{{64, 64, 40}, {100, 64, 40}, {32, 32, 20}, {20, 32, 20}, {16, 16, 10}, {8, 8, 5}}) {
        SCOPED_TRACE(edge);
        const RasterImage reduced = decodeJpeg2000Reduced(data, edge);
        ASSERT_EQ(reduced.width, expectedWidth);
        ASSERT_EQ(reduced.height, expectedHeight);
        const int step = w / expectedWidth;
        for (int y = 0; y < reduced.height; ++y)
            for (int x = 0; x < reduced.width; ++x) {
                int sum = 0;
                for (int j = 0; j < step; ++j)
                    for (int i = 0; i < step; ++i)
                        sum += sampleAt(full, x * step + i, y * step + j, 0);
                EXPECT_NEAR(sampleAt(reduced, x, y, 0), double(sum) / (step * step), 2.0 * step);
            }
    }
}
