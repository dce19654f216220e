#include "JpegFixtures.h"

#include "raster/JpegDecoder.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstring>
#include <random>

namespace {

// TurboJPEG's decompressor, with libjpeg's own colour space rules, as the
// independent reference.
QByteArray turboDecode(const QByteArray &jpeg, int components)
{
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    QByteArray out;
    auto *data = reinterpret_cast<const unsigned char *>(jpeg.constData());
    if (tjDecompressHeader3(handle, data, (unsigned long)jpeg.size(), &width, &height, &subsampling, &colorspace) == 0) {
        const int format = components == 1 ? TJPF_GRAY : components == 3 ? TJPF_RGB : TJPF_CMYK;
        out.resize(width * height * components);
        if (tjDecompress2(handle, data, (unsigned long)jpeg.size(), reinterpret_cast<unsigned char *>(out.data()),
                          width, 0, height, format, 0) != 0)
            out.clear();
    }
    tjDestroy(handle);
    return out;
}

QByteArray qtDecode(const QByteArray &jpeg, int components)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer, "jpeg");
    QImage image = reader.read();
    if (image.isNull())
        return {};
    image = image.convertToFormat(components == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    QByteArray out;
    const int rowBytes = image.width() * components;
    for (int y = 0; y < image.height(); ++y)
        out.append(reinterpret_cast<const char *>(image.constScanLine(y)), rowBytes);
    return out;
}

struct JpegCase {
    const char *name;
    JpegFixture fixture;
    ColorModel model;
    int sourceTolerance;  // against the samples that were encoded
    bool qtComparable;    // Qt's reader shares the model (gray, RGB)
};

} // namespace

TEST(JpegDecoder, DecodesEveryStorageLikeTheSourceAndTurboJpeg)
{
    auto fixture = [](JpegStorage storage) {
        JpegFixture s;
        s.width = 37;  // not a multiple of the MCU size
        s.height = 21;
        s.storage = storage;
        return s;
    };
    JpegFixture subsampled = fixture(JpegStorage::YCbCr);
    subsampled.subsampleChroma = true;
    JpegFixture progressive = fixture(JpegStorage::YCbCr);
    progressive.progressive = true;
    JpegFixture restarts = fixture(JpegStorage::YCbCr);
    restarts.restartInterval = 2;
    JpegFixture progressiveGray = fixture(JpegStorage::Gray);
    progressiveGray.progressive = true;
    JpegFixture ycckSubsampled = fixture(JpegStorage::YCCK);
    ycckSubsampled.subsampleChroma = true;
    JpegFixture adobeYcc = fixture(JpegStorage::YCbCr);
    adobeYcc.writeJfif = false;  // APP14 with transform 1 only

    const JpegCase cases[] = {
        {"gray", fixture(JpegStorage::Gray), ColorModel::Gray, 1, true},
        {"ycbcr", fixture(JpegStorage::YCbCr), ColorModel::RGB, 4, true},
        {"ycbcr 4:2:0", subsampled, ColorModel::RGB, 8, true},
        {"rgb, Adobe transform 0", fixture(JpegStorage::RGB), ColorModel::RGB, 1, true},
        {"ycbcr, Adobe transform 1", adobeYcc, ColorModel::RGB, 4, true},
        {"cmyk, Adobe transform 0, not inverted", fixture(JpegStorage::CMYK), ColorModel::CMYK, 1, false},
        {"ycck, Adobe transform 2", fixture(JpegStorage::YCCK), ColorModel::CMYK, 4, false},
        {"ycck 4:2:0", ycckSubsampled, ColorModel::CMYK, 8, false},
        {"progressive", progressive, ColorModel::RGB, 4, true},
        {"progressive gray", progressiveGray, ColorModel::Gray, 1, true},
        {"restart interval", restarts, ColorModel::RGB, 4, true},
    };
    for (const JpegCase &c : cases) {
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
        if (c.qtComparable) {
            EXPECT_LE(maxDifference(image.samples, qtDecode(jpeg, components)), 2);
        }
    }
}

TEST(JpegDecoder, ColorTransformDecidesBetweenRawAndConvertedComponents)
{
    const int w = 24, h = 16;
    const QByteArray rgb = gradientSamples(w, h, 3);
    const QByteArray cmyk = gradientSamples(w, h, 4);

    // RGB stored with Adobe transform 0: the marker overrides /ColorTransform 1.
    JpegFixture rgbFixture;
    rgbFixture.width = w;
    rgbFixture.height = h;
    rgbFixture.storage = JpegStorage::RGB;
    const QByteArray rgbJpeg = encodeJpeg(rgb, rgbFixture);
    EXPECT_LE(maxDifference(decodeJpeg(rgbJpeg, {0, 1LL << 30}).samples, rgb), 2);
    EXPECT_LE(maxDifference(decodeJpeg(rgbJpeg, {1, 1LL << 30}).samples, rgb), 2);

    // YCbCr read without transform gives Y, Cb, Cr; converting them with
    // the JFIF formulas here gives back the source.
    JpegFixture yccFixture = rgbFixture;
    yccFixture.storage = JpegStorage::YCbCr;
    const RasterImage raw = decodeJpeg(encodeJpeg(rgb, yccFixture), {0, 1LL << 30});
    ASSERT_FALSE(raw.isNull());
    QByteArray converted(rgb.size(), 0);
    for (qsizetype i = 0; i < rgb.size(); i += 3) {
        const double y = uchar(raw.samples[i]), cb = uchar(raw.samples[i + 1]) - 128.0,
                     cr = uchar(raw.samples[i + 2]) - 128.0;
        const double r = y + 1.402 * cr, g = y - 0.344136 * cb - 0.714136 * cr, b = y + 1.772 * cb;
        converted[i] = char(std::clamp(int(std::lround(r)), 0, 255));
        converted[i + 1] = char(std::clamp(int(std::lround(g)), 0, 255));
        converted[i + 2] = char(std::clamp(int(std::lround(b)), 0, 255));
    }
    EXPECT_LE(maxDifference(converted, rgb), 5);
    EXPECT_GT(maxDifference(raw.samples, rgb), 50);

    // YCCK without an Adobe marker is taken as plain CMYK unless the stream
    // says /ColorTransform 1.
    JpegFixture ycckFixture = rgbFixture;
    ycckFixture.storage = JpegStorage::YCCK;
    ycckFixture.writeAdobe = false;
    const QByteArray ycck = encodeJpeg(cmyk, ycckFixture);
    EXPECT_GT(maxDifference(decodeJpeg(ycck).samples, cmyk), 50);
    EXPECT_LE(maxDifference(decodeJpeg(ycck, {1, 1LL << 30}).samples, cmyk), 4);

    // With the Adobe marker (transform 2) the data converts, whatever
    // /ColorTransform says.
    ycckFixture.writeAdobe = true;
    const QByteArray marked = encodeJpeg(cmyk, ycckFixture);
    EXPECT_LE(maxDifference(decodeJpeg(marked).samples, cmyk), 4);
    EXPECT_LE(maxDifference(decodeJpeg(marked, {0, 1LL << 30}).samples, cmyk), 4);
}

TEST(JpegDecoder, DamagedAndHostileDataNeverCrash)
{
    JpegFixture fixture;
    fixture.width = 64;
    fixture.height = 64;
    const QByteArray source = gradientSamples(fixture.width, fixture.height, 3);
    const QByteArray jpeg = encodeJpeg(source, fixture);
    const RasterImage full = decodeJpeg(jpeg);
    ASSERT_FALSE(full.isNull());

    // Cut in half: libjpeg substitutes an end of image; the first rows are
    // those of the complete file.
    const RasterImage half = decodeJpeg(QByteArrayView(jpeg).first(jpeg.size() / 2));
    if (!half.isNull()) {
        EXPECT_EQ(half.width, 64);
        EXPECT_EQ(half.height, 64);
        const qsizetype topRows = 8 * half.bytesPerRow;
        EXPECT_EQ(half.samples.left(topRows), full.samples.left(topRows));
    }

    EXPECT_TRUE(decodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(decodeJpeg(QByteArray("not a jpeg at all")).isNull());
    EXPECT_TRUE(decodeJpeg(QByteArrayView(jpeg).first(200)).isNull());  // header only
    QByteArray soiThenGarbage("\xff\xd8", 2);
    soiThenGarbage.append(QByteArray(500, '\x5a'));
    EXPECT_TRUE(decodeJpeg(soiThenGarbage).isNull());

    // Random byte changes: any outcome but a crash; a result has the size
    // of the header.
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = jpeg;
        for (int i = 0; i < 4; ++i)
            damaged[random() % damaged.size()] = char(random() % 256);
        const RasterImage image = decodeJpeg(damaged, {-1, 1 << 20});
        if (!image.isNull()) {
            EXPECT_EQ(image.samples.size(), image.bytesPerRow * image.height);
        }
    }
}

TEST(JpegDecoder, RefusesImagesBeyondTheLimitBeforeAllocating)
{
    JpegFixture fixture;
    fixture.width = 32;
    fixture.height = 32;
    QByteArray jpeg = encodeJpeg(gradientSamples(32, 32, 3), fixture);
    EXPECT_FALSE(decodeJpeg(jpeg, {-1, 32 * 32 * 3}).isNull());
    EXPECT_TRUE(decodeJpeg(jpeg, {-1, 32 * 32 * 3 - 1}).isNull());

    // A progressive image also needs libjpeg's coefficient buffers (two
    // bytes per sample) within the limit, give or take a 1 MiB allowance.
    JpegFixture progressive;
    progressive.width = 2048;
    progressive.height = 1024;
    progressive.storage = JpegStorage::Gray;
    const QByteArray gray = gradientSamples(progressive.width, progressive.height, 1);
    const QByteArray baselineJpeg = encodeJpeg(gray, progressive);
    progressive.progressive = true;
    const QByteArray progressiveJpeg = encodeJpeg(gray, progressive);
    EXPECT_FALSE(decodeJpeg(baselineJpeg, {-1, 2 << 20}).isNull());
    EXPECT_TRUE(decodeJpeg(progressiveJpeg, {-1, 2 << 20}).isNull());
    EXPECT_FALSE(decodeJpeg(progressiveJpeg, {-1, 4 << 20}).isNull());

    // The frame header claims 65000 x 65000 pixels over a few hundred bytes.
    const qsizetype sof = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    ASSERT_GT(sof, 0);
    jpeg[sof + 5] = char(0xfd);
    jpeg[sof + 6] = char(0xe8);
    jpeg[sof + 7] = char(0xfd);
    jpeg[sof + 8] = char(0xe8);
    EXPECT_TRUE(decodeJpeg(jpeg).isNull());
}

TEST(JpegDecoder, StopsAtAnAbsurdNumberOfProgressiveScans)
{
    JpegFixture fixture;
    fixture.width = 16;
    fixture.height = 16;
    fixture.progressive = true;
    const QByteArray jpeg = encodeJpeg(gradientSamples(16, 16, 3), fixture);
    const qsizetype lastScan = jpeg.lastIndexOf(QByteArray("\xff\xda", 2));
    const qsizetype eoi = jpeg.lastIndexOf(QByteArray("\xff\xd9", 2));
    ASSERT_GT(lastScan, 0);
    ASSERT_GT(eoi, lastScan);
    auto repeatLastScan = [&](int times) {
        QByteArray out = jpeg.left(eoi);
        const QByteArray scan = jpeg.mid(lastScan, eoi - lastScan);
        for (int i = 0; i < times; ++i)
            out.append(scan);
        out.append(jpeg.mid(eoi));
        return out;
    };
    EXPECT_FALSE(decodeJpeg(repeatLastScan(20)).isNull());
    EXPECT_TRUE(decodeJpeg(repeatLastScan(600)).isNull());
}

TEST(JpegDecoder, PropertiesTextDescribesTheHeader)
{
    JpegFixture fixture;
    fixture.width = 16;
    fixture.height = 8;
    fixture.densityUnit = 1;
    fixture.xDensity = 300;
    fixture.yDensity = 300;
    const QByteArray rgb = gradientSamples(16, 8, 3);
    EXPECT_EQ(jpegPropertiesText(encodeJpeg(rgb, fixture)),
              QStringLiteral("{\n    ColorModel = RGB;\n    Depth = 8;\n    DPIHeight = 300;\n    DPIWidth = 300;\n"
                             "    PixelHeight = 8;\n    PixelWidth = 16;\n}"));

    fixture.densityUnit = 0;  // only an aspect ratio
    fixture.xDensity = 2;
    fixture.yDensity = 1;
    EXPECT_EQ(jpegPropertiesText(encodeJpeg(rgb, fixture)),
              QStringLiteral("{\n    ColorModel = RGB;\n    Depth = 8;\n    PixelHeight = 8;\n    PixelWidth = 16;\n}"));

    JpegFixture gray = fixture;
    gray.storage = JpegStorage::Gray;
    gray.densityUnit = 2;  // dots per centimetre
    gray.xDensity = 118;
    gray.yDensity = 40;
    EXPECT_EQ(jpegPropertiesText(encodeJpeg(gradientSamples(16, 8, 1), gray)),
              QStringLiteral("{\n    ColorModel = Gray;\n    Depth = 8;\n    DPIHeight = 101.6;\n    DPIWidth = 299.72;\n"
                             "    PixelHeight = 8;\n    PixelWidth = 16;\n}"));

    JpegFixture cmyk = fixture;
    cmyk.storage = JpegStorage::CMYK;
    EXPECT_TRUE(jpegPropertiesText(encodeJpeg(gradientSamples(16, 8, 4), cmyk))
                    ->startsWith(QStringLiteral("{\n    ColorModel = CMYK;\n")));

    EXPECT_EQ(jpegPropertiesText(QByteArray("GIF89a")), std::nullopt);
    EXPECT_EQ(jpegPropertiesText(QByteArray()), std::nullopt);
}
