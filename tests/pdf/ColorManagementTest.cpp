#include "PdfTestSupport.h"

#include "ImageComparison.h"

#include "raster/ColorManagement.h"

#include <QFile>
#include <QProcess>

#include <tiffio.h>

using namespace zembrix;

using namespace fixture;

namespace {

const QString kCmykProfile = QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc");
const QString kOtherCmykProfile = QStringLiteral("/usr/share/color/icc/ghostscript/ps_cmyk.icc");
constexpr int kPixels = 64;

// One row of CMYK samples spread over the ink cube.
std::string cmykRow()
{
    std::string s;
    for (int i = 0; i < kPixels; ++i)
        for (int v : {(i & 3) * 85, ((i >> 2) & 3) * 85, ((i >> 4) & 3) * 85, (i * 37) % 256})
            s += char(v);
    return s;
}

// What lcms2's own tificc makes of the row through the profile, at perceptual
// intent with black-point compensation; null when it cannot run.
QImage tificcReference(const std::string &cmyk, const QString &profile, const QString &dir)
{
    const QString in = dir + QStringLiteral("/cmyk.tif"), out = dir + QStringLiteral("/rgb.tif");
    TIFF *tif = TIFFOpen(in.toLocal8Bit().constData(), "w");
    if (!tif)
        return {};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kPixels);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    std::string row = cmyk;
    TIFFWriteScanline(tif, row.data(), 0, 0);
    TIFFClose(tif);
    QProcess tificc;
    tificc.setStandardOutputFile(QProcess::nullDevice());
    tificc.start(QStringLiteral("tificc"), {QStringLiteral("-i") + profile, QStringLiteral("-t0"), QStringLiteral("-b"), in, out});
    return tificc.waitForFinished() && tificc.exitCode() == 0 ? QImage(out) : QImage();
}

int largestDifference(const QImage &a, const QImage &b)
{
    return a.size() == b.size() ? compareImages(a, b).maximum : 256;
}

} // namespace

class ColorManagementTest : public PdfTest
{
protected:
    void SetUp() override
    {
        if (!QFile::exists(kCmykProfile) || !QFile::exists(kOtherCmykProfile))
            GTEST_SKIP() << "the CMYK profiles of libgs-common are not installed";
    }
    static QImage picture(const PDFFileStruct &record, int index) { return record.images().value(index)->image(); }
};

// Every route that carries CMYK samples converts them through the profile that
// applies, as lcms2's own tool does; with management off they keep the plain
// formula, and a profile that does not load leaves that formula in place.
TEST_F(ColorManagementTest, CmykAndIccImagesMatchTheColourEngine)
{
    const std::string row = cmykRow();
    const QImage embedded = tificcReference(row, kCmykProfile, m_dir.path());
    ASSERT_EQ(embedded.width(), kPixels) << "tificc (liblcms2-utils) did not run";

    PdfFixture pdf;
    const Obj profile = pdf.stream(readFile(kCmykProfile).toStdString(), {{"N", integer(4)}});
    const Obj iccCmyk = array({name("ICCBased"), profile});
    const Obj broken = array({name("ICCBased"), pdf.stream("not a profile", {{"N", integer(3)}})});
    std::string paletteIndices;
    for (int i = 0; i < kPixels; ++i)
        paletteIndices += char(i);
    const std::vector<Obj> images = {
        pdf.image(kPixels, 1, 8, iccCmyk, row, {"FlateDecode"}),                                                        // 0
        pdf.image(kPixels, 1, 8, name("DeviceCMYK"), row),                                                              // 1: system profile
        pdf.image(kPixels, 1, 8, array({name("Indexed"), iccCmyk, integer(kPixels - 1), string(row)}), paletteIndices), // 2
        pdf.image(2, 1, 8, broken, bytes({255, 0, 0, 10, 20, 30})),                                                     // 3
        pdf.image(2, 1, 8, array({name("Lab"), dict({{"WhitePoint", numbers({0.9642, 1, 0.8249})}})}),
                  bytes({255, 128, 128, 0, 128, 128})), // 4
    };
    auto managed = parsePage(pdf, images, true);
    ASSERT_EQ(managed->images().size(), qsizetype(images.size()));
    for (int i : {0, 1, 2})
        EXPECT_LE(largestDifference(picture(*managed, i), embedded), 1) << "image " << i;
    EXPECT_EQ(picture(*managed, 3).convertToFormat(QImage::Format_RGB32).pixel(0, 0), qRgb(255, 0, 0));
    QImage whiteAndBlack(2, 1, QImage::Format_RGB32);
    whiteAndBlack.setPixel(0, 0, qRgb(255, 255, 255));
    whiteAndBlack.setPixel(1, 0, qRgb(0, 0, 0));
    EXPECT_LE(largestDifference(picture(*managed, 4), whiteAndBlack), 1);

    // Off: the plain formula, white for no ink and 255 - c - k per channel.
    auto unmanaged = parse(path(QStringLiteral("f.pdf")), true, false);
    const QImage naive = picture(*unmanaged, 0).convertToFormat(QImage::Format_RGB888);
    for (int x = 0; x < kPixels; ++x)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(naive.constScanLine(0)[x * 3 + c],
                      std::max(0, 255 - uchar(row[size_t(x) * 4 + size_t(c)]) - uchar(row[size_t(x) * 4 + 3])))
                << x << " " << c;
    EXPECT_EQ(compareImages(picture(*unmanaged, 1), naive).maximum, 0);
}

// Lab samples, palettes and tints, of a /Lab space or an ICC-based space with a Lab profile (whose
// /Decode maps samples to L*a*b* values, as ghostscript's pdfwrite writes it), and spot colours
// over ICC-based alternates of every kind (a tint of 0 is white): as ghostscript and pdfimages show
// them (CMYK inks are checked against tificc above).
TEST_F(ColorManagementTest, LabAndIccAlternatesMatchGhostscript)
{
    PdfFixture pdf;
    const auto icc = [&](const char *file, int n) {
        return array({name("ICCBased"), pdf.stream(readFile("/usr/share/color/icc/ghostscript/" + QString(file)).toStdString(), {{"N", integer(n)}})});
    };
    const Obj iccLab = icc("lab.icc", 3), labRange = array({name("Lab"), dict({{"Range", numbers({-128, 127, -128, 127})}})});
    const std::string lab = bytes({255, 128, 128, 0, 128, 128, 128, 200, 128, 128, 128, 30}), indices = bytes({0, 1, 2, 3});
    const auto spot = [&](const Obj &alternate, std::vector<double> c0, std::vector<double> c1) {
        const Obj tint = dict({{"FunctionType", integer(2)}, {"Domain", numbers({0, 1})}, {"C0", numbers(c0)}, {"C1", numbers(c1)}, {"N", integer(1)}});
        return pdf.image(3, 1, 8, array({name("Separation"), name("Spot"), alternate, tint}), bytes({0, 128, 255}));
    };
    const std::vector<Obj> images = {
        pdf.image(4, 1, 8, iccLab, lab),
        pdf.image(4, 1, 8, array({name("Indexed"), iccLab, integer(3), string(lab)}), indices),
        pdf.image(4, 1, 8, array({name("Indexed"), labRange, integer(3), string(lab)}), indices, {"FlateDecode"}),
        pdf.image(4, 1, 8, iccLab, lab, {}, {{"Decode", numbers({0, 100, -128, 127, -128, 127})}}),
        spot(iccLab, {100, 0, 0}, {50, 60, -40}),
        spot(icc("default_cmyk.icc", 4), {0, 0, 0, 0}, {0, 1, 0, 0}),
        spot(icc("default_gray.icc", 1), {1}, {0}),
    };
    const std::vector<std::vector<QRgb>> expected = {
        {0xffffff, 0x000000, 0xde227b, 0x007fff}, {0xffffff, 0x000000, 0xde227b, 0x007fff}, {0xffffff, 0x000000, 0xde227b, 0x007fff}, {0xffffff, 0x000000, 0xde227b, 0x007fff}, {0xffffff, 0xe2a5de, 0xbd44bd}, {0xffffff}, {0xffffff, 0x7f7f7f, 0x000000}};
    auto record = parsePage(pdf, images, true);
    ASSERT_EQ(record->images().size(), qsizetype(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        const QImage picture = record->images()[qsizetype(i)]->image().convertToFormat(QImage::Format_RGB32);
        for (size_t x = 0; x < expected[i].size(); ++x) {
            const QRgb got = picture.pixel(int(x), 0), want = expected[i][x];
            EXPECT_LE(std::max({std::abs(qRed(got) - qRed(want)), std::abs(qGreen(got) - qGreen(want)),
                                std::abs(qBlue(got) - qBlue(want))}),
                      2)
                << "image " << i << " x " << x << std::hex << " " << got;
        }
    }
}

// CMYK samples with no profile of their own take the document's output
// intent before the system's profile.
TEST_F(ColorManagementTest, OutputIntentComesBeforeTheSystemProfile)
{
    const std::string row = cmykRow();
    const QImage intent = tificcReference(row, kOtherCmykProfile, m_dir.path());
    ASSERT_EQ(intent.width(), kPixels);

    PdfFixture pdf;
    const Obj profile = pdf.stream(readFile(kOtherCmykProfile).toStdString(), {{"N", integer(4)}});
    pdf.catalog().replaceKey("/OutputIntents", array({dict({{"Type", name("OutputIntent")}, {"S", name("GTS_PDFX")}, {"DestOutputProfile", profile}})}));
    auto record = parsePage(pdf, {pdf.image(kPixels, 1, 8, name("DeviceCMYK"), row, {"FlateDecode"})}, true);
    ASSERT_EQ(record->images().size(), 1);
    EXPECT_LE(largestDifference(picture(*record, 0), intent), 1);
    EXPECT_GT(largestDifference(picture(*record, 0), tificcReference(row, kCmykProfile, m_dir.path())), 1);
}

// A book repeats one profile on every page: one transform serves them all.
TEST_F(ColorManagementTest, OneTransformPerProfile)
{
    PdfFixture pdf;
    const Obj iccCmyk = array({name("ICCBased"), pdf.stream(readFile(kCmykProfile).toStdString(), {{"N", integer(4)}})});
    for (int page = 0; page < 30; ++page)
        pdf.page({{"/I0", pdf.image(20 + page, 2, 8, iccCmyk, std::string(size_t(20 + page) * 8, char(page * 8)))}});
    auto record = parse(writeFixture(pdf));
    ASSERT_EQ(record->images().size(), 30);
    EXPECT_FALSE(record->images().back()->image().isNull());
    const ColorTransformCache &cache = *m_context->colorTransforms();
    EXPECT_EQ(cache.builds(), 1u);
    EXPECT_GE(cache.hits(), 29u);
}

// A /Decode of [1 0 1 0 1 0 1 0] made within the conversion gives what the
// conversion of the inverted samples gives, through the 8-bit table and the
// 16-bit transform alike.
TEST_F(ColorManagementTest, InversionWithinTheConversion)
{
    const QByteArray profile = readFile(kCmykProfile);
    const std::string row = cmykRow();
    for (int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        RasterImage samples = RasterImage::create(kPixels, 1, ColorModel::CMYK, bits, false, 1 << 20);
        for (size_t i = 0; i < row.size(); ++i) {
            const uchar v = uchar(row[i]);
            if (bits == 8)
                samples.row(0)[i] = v;
            else
                reinterpret_cast<quint16 *>(samples.row(0))[i] = quint16(v * 257);
        }
        RasterImage invertedFirst = samples;
        invertSamples(invertedFirst);
        ColorTransformCache cache;
        ASSERT_TRUE(cache.convertToSrgb(invertedFirst, QByteArrayView(profile), 1 << 20));
        ASSERT_TRUE(cache.convertToSrgb(samples, QByteArrayView(profile), 1 << 20, true));
        EXPECT_EQ(samples.samples, invertedFirst.samples);
    }
}
