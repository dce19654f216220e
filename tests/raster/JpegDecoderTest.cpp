#include "JpegFixtures.h"

#include "raster/JpegDecoder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

using namespace zembrix;

namespace {

constexpr qint64 kLimit = 1LL << 30;

// TurboJPEG's decompressor, with libjpeg's own colour space rules, as the independent reference.
QByteArray turboDecode(const QByteArray &jpeg, int components)
{
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    QByteArray out;
    auto *data = reinterpret_cast<const unsigned char *>(jpeg.constData());
    if (tjDecompressHeader3(handle, data, (unsigned long)jpeg.size(), &width, &height, &subsampling, &colorspace) == 0) {
        out.resize(width * height * components);
        if (tjDecompress2(handle, data, (unsigned long)jpeg.size(), reinterpret_cast<unsigned char *>(out.data()), width, 0,
                          height, components == 1 ? TJPF_GRAY : components == 3 ? TJPF_RGB
                                                                                : TJPF_CMYK,
                          0)
            != 0)
            out.clear();
    }
    tjDestroy(handle);
    return out;
}

} // namespace

TEST(JpegDecoder, DecodesEveryStorageLikeTheSourceAndTurboJpeg)
{
    // 37 x 21: not a multiple of the MCU size.
    using S = JpegStorage;
    struct Case {
        const char *name;
        JpegFixture fixture;
        ColorModel model;
        int sourceTolerance; // against the samples that were encoded
    };
    const Case cases[] = {
        {"gray", {.width = 37, .height = 21, .storage = S::Gray}, ColorModel::Gray, 1},
        {"ycbcr", {.width = 37, .height = 21}, ColorModel::RGB, 4},
        {"ycbcr 4:2:0", {.width = 37, .height = 21, .subsampleChroma = true}, ColorModel::RGB, 8},
        {"rgb, Adobe transform 0", {.width = 37, .height = 21, .storage = S::RGB}, ColorModel::RGB, 1},
        {"ycbcr, Adobe transform 1 only", {.width = 37, .height = 21, .writeJfif = false}, ColorModel::RGB, 4},
        {"cmyk, Adobe transform 0, not inverted", {.width = 37, .height = 21, .storage = S::CMYK}, ColorModel::CMYK, 1},
        {"ycck, Adobe transform 2", {.width = 37, .height = 21, .storage = S::YCCK}, ColorModel::CMYK, 4},
        {"ycck 4:2:0", {.width = 37, .height = 21, .storage = S::YCCK, .subsampleChroma = true}, ColorModel::CMYK, 8},
        {"progressive", {.width = 37, .height = 21, .progressive = true}, ColorModel::RGB, 4},
        {"progressive gray", {.width = 37, .height = 21, .storage = S::Gray, .progressive = true}, ColorModel::Gray, 1},
        {"restart interval", {.width = 37, .height = 21, .restartInterval = 2}, ColorModel::RGB, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int components = inputComponents(c.fixture.storage);
        const QByteArray source = gradientSamples(c.fixture.width, c.fixture.height, components);
        const QByteArray jpeg = encodeJpeg(source, c.fixture);
        const RasterImage image = decodeJpeg(jpeg);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width, c.fixture.width);
        EXPECT_EQ(image.height, c.fixture.height);
        EXPECT_EQ(image.model, c.model);
        EXPECT_EQ(image.bitsPerComponent, 8);
        EXPECT_FALSE(image.hasAlpha);
        EXPECT_EQ(image.bytesPerRow, qsizetype(c.fixture.width * components));
        EXPECT_LE(maxDifference(image.samples, source), c.sourceTolerance);
        EXPECT_LE(maxDifference(image.samples, turboDecode(jpeg, components)), 1);
    }
}

TEST(JpegDecoder, ColorTransformDecidesBetweenRawAndConvertedComponents)
{
    const int w = 24, h = 16;
    const QByteArray rgb = gradientSamples(w, h, 3);
    const QByteArray cmyk = gradientSamples(w, h, 4);

    // RGB stored with Adobe transform 0: the marker overrides /ColorTransform 1.
    const QByteArray rgbJpeg = encodeJpeg(rgb, {.width = w, .height = h, .storage = JpegStorage::RGB});
    EXPECT_LE(maxDifference(decodeJpeg(rgbJpeg, {0, kLimit}).samples, rgb), 2);
    EXPECT_LE(maxDifference(decodeJpeg(rgbJpeg, {1, kLimit}).samples, rgb), 2);

    // YCbCr read without transform gives Y, Cb, Cr; converting them with the JFIF formulas here
    // gives back the source.
    const RasterImage raw = decodeJpeg(encodeJpeg(rgb, {.width = w, .height = h}), {0, kLimit});
    ASSERT_FALSE(raw.isNull());
    QByteArray converted(rgb.size(), 0);
    for (qsizetype i = 0; i < rgb.size(); i += 3) {
        const double y = uchar(raw.samples[i]), cb = uchar(raw.samples[i + 1]) - 128.0, cr = uchar(raw.samples[i + 2]) - 128.0;
        const double rgbValues[] = {y + 1.402 * cr, y - 0.344136 * cb - 0.714136 * cr, y + 1.772 * cb};
        for (int k = 0; k < 3; ++k)
            converted[i + k] = char(std::clamp(int(std::lround(rgbValues[k])), 0, 255));
    }
    EXPECT_LE(maxDifference(converted, rgb), 5);
    EXPECT_GT(maxDifference(raw.samples, rgb), 50);

    // YCCK without an Adobe marker is taken as plain CMYK unless the stream says
    // /ColorTransform 1; with the marker (transform 2) the data converts, whatever
    // /ColorTransform says.
    const QByteArray ycck = encodeJpeg(cmyk, {.width = w, .height = h, .storage = JpegStorage::YCCK, .writeAdobe = false});
    EXPECT_GT(maxDifference(decodeJpeg(ycck).samples, cmyk), 50);
    EXPECT_LE(maxDifference(decodeJpeg(ycck, {1, kLimit}).samples, cmyk), 4);
    const QByteArray marked = encodeJpeg(cmyk, {.width = w, .height = h, .storage = JpegStorage::YCCK});
    EXPECT_LE(maxDifference(decodeJpeg(marked).samples, cmyk), 4);
    EXPECT_LE(maxDifference(decodeJpeg(marked, {0, kLimit}).samples, cmyk), 4);
}

// Data that is no image gives none (cut or damaged data past the first rows keeps those rows:
// checked on the PDF route); sizes past the limit are refused before allocating.
TEST(JpegDecoder, RefusesHostileInputBeforeAllocating)
{
    QByteArray jpeg = encodeJpeg(gradientSamples(32, 32, 3), {.width = 32, .height = 32});
    EXPECT_TRUE(decodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(decodeJpeg(QByteArray("not a jpeg at all")).isNull());
    EXPECT_TRUE(decodeJpeg(QByteArrayView(jpeg).first(200)).isNull()); // header only
    EXPECT_TRUE(decodeJpeg(QByteArray("\xff\xd8", 2) + QByteArray(500, '\x5a')).isNull());
    EXPECT_FALSE(decodeJpeg(jpeg, {-1, 32 * 32 * 3}).isNull());
    EXPECT_TRUE(decodeJpeg(jpeg, {-1, 32 * 32 * 3 - 1}).isNull());

    // A progressive image also needs libjpeg's coefficient buffers (two bytes per sample)
    // within the limit, give or take a 1 MiB allowance.
    const QByteArray gray = gradientSamples(2048, 1024, 1);
    const QByteArray baselineJpeg = encodeJpeg(gray, {.width = 2048, .height = 1024, .storage = JpegStorage::Gray});
    const QByteArray progressiveJpeg =
        encodeJpeg(gray, {.width = 2048, .height = 1024, .storage = JpegStorage::Gray, .progressive = true});
    EXPECT_FALSE(decodeJpeg(baselineJpeg, {-1, 2 << 20}).isNull());
    EXPECT_TRUE(decodeJpeg(progressiveJpeg, {-1, 2 << 20}).isNull());
    EXPECT_FALSE(decodeJpeg(progressiveJpeg, {-1, 4 << 20}).isNull());

    // The frame header claims 65000 x 65000 pixels over a few hundred bytes.
    const qsizetype sof = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    ASSERT_GT(sof, 0);
    jpeg.replace(sof + 5, 4, QByteArray("\xfd\xe8\xfd\xe8", 4));
    EXPECT_TRUE(decodeJpeg(jpeg).isNull());
}

TEST(JpegDecoder, StopsAtAnAbsurdNumberOfProgressiveScans)
{
    const QByteArray jpeg = encodeJpeg(gradientSamples(16, 16, 3), {.progressive = true});
    const qsizetype lastScan = jpeg.lastIndexOf(QByteArray("\xff\xda", 2));
    const qsizetype eoi = jpeg.lastIndexOf(QByteArray("\xff\xd9", 2));
    ASSERT_GT(lastScan, 0);
    ASSERT_GT(eoi, lastScan);
    auto repeatLastScan = [&](int times) {
        return jpeg.left(eoi) + jpeg.mid(lastScan, eoi - lastScan).repeated(times) + jpeg.mid(eoi);
    };
    EXPECT_FALSE(decodeJpeg(repeatLastScan(20)).isNull());
    EXPECT_TRUE(decodeJpeg(repeatLastScan(600)).isNull());
}

// The DPI of each JFIF density unit, the colour model, and no text for what is no JPEG.
TEST(JpegDecoder, PropertiesTextDescribesTheHeader)
{
    auto text = [](const char *model, const char *dpi) {
        return QStringLiteral("{\n    ColorModel = %1;\n    Depth = 8;\n%2    PixelHeight = 8;\n    PixelWidth = 16;\n}")
            .arg(QLatin1String(model), QLatin1String(dpi));
    };
    const QByteArray rgb = gradientSamples(16, 8, 3);
    EXPECT_EQ(jpegPropertiesText(encodeJpeg(rgb, {.height = 8, .densityUnit = 1, .xDensity = 300, .yDensity = 300})),
              text("RGB", "    DPIHeight = 300;\n    DPIWidth = 300;\n"));
    // Unit 2 is dots per centimetre.
    const JpegFixture gray{.height = 8, .storage = JpegStorage::Gray, .densityUnit = 2, .xDensity = 118, .yDensity = 40};
    EXPECT_EQ(jpegPropertiesText(encodeJpeg(gradientSamples(16, 8, 1), gray)),
              text("Gray", "    DPIHeight = 101.6;\n    DPIWidth = 299.72;\n"));
    EXPECT_EQ(jpegPropertiesText(QByteArray("GIF89a")), std::nullopt);
    EXPECT_EQ(jpegPropertiesText(QByteArray()), std::nullopt);
}
