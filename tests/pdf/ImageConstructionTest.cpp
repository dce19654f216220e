#include "PdfTestSupport.h"

#include "Jpeg2000Fixtures.h"
#include "JpegFixtures.h"

#include <QColor>

using namespace fixture;

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += char(v);
    return s;
}

std::string toStd(const QByteArray &a) { return std::string(a.constData(), size_t(a.size())); }

QRgb px(const QImage &image, int x, int y) { return image.convertToFormat(QImage::Format_ARGB32).pixel(x, y); }

} // namespace

class ImageConstructionTest : public PdfTest
{
protected:
    // One page holding the given images as /I0, /I1, ...; the parsed record.
    std::shared_ptr<PDFFileStruct> build(PdfFixture &pdf, const std::vector<Obj> &images)
    {
        Dict xobjects;
        for (size_t i = 0; i < images.size(); ++i)
            xobjects["/I" + std::to_string(i)] = images[i];
        pdf.page(xobjects);
        return parse(writeFixture(pdf));
    }
    static QImage picture(const PDFFileStruct &record, int index) { return record.images().value(index)->image(); }
};

// Device images on the stream route (Flate) and the raw route (no filter),
// with their true component counts, bit depths and decode arrays.
TEST_F(ImageConstructionTest, DeviceAndIccImages)
{
    PdfFixture pdf;
    Obj icc4 = pdf.stream("profile", {{"N", integer(4)}});
    Obj icc1 = pdf.stream("profile", {{"N", integer(1)}});
    const std::string rgb = bytes({255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30});
    auto record = build(pdf, {
        pdf.image(2, 2, 8, name("DeviceRGB"), rgb, {"FlateDecode"}),                     // 0
        pdf.image(2, 2, 8, name("DeviceRGB"), rgb),                                      // 1 raw
        pdf.image(2, 1, 8, array({name("ICCBased"), icc4}), bytes({0, 0, 0, 0, 0, 255, 0, 0}), {"FlateDecode"}), // 2
        pdf.image(2, 1, 8, array({name("ICCBased"), icc1}), bytes({0, 200}), {"FlateDecode"}), // 3
        pdf.image(10, 1, 1, name("DeviceGray"), bytes({0xA0, 0x00}), {}, {{"Decode", array({integer(1), integer(0)})}}), // 4 raw, inverted
        pdf.image(4, 1, 4, name("DeviceGray"), bytes({0x0F, 0x80}), {"FlateDecode"}),   // 5: 4-bit gray
        pdf.image(2, 1, 2, name("DeviceRGB"), bytes({0xFC, 0x30}), {}),                 // 6: 2-bit RGB raw (12 bits -> rows of 2 bytes)
        pdf.image(1, 1, 16, name("DeviceRGB"), bytes({0xFF, 0xFF, 0x80, 0x00, 0, 0}), {"FlateDecode"}), // 7
        pdf.image(2, 1, 8, name("DeviceRGB"), bytes({0, 0, 0, 255, 255, 255}), {"ASCIIHexDecode", "FlateDecode"},
                  {{"Decode", array({integer(1), integer(0), integer(0), integer(1), integer(0), integer(1)})}}), // 8
    });
    ASSERT_EQ(record->images().size(), 9);
    QImage a = picture(*record, 0);
    EXPECT_EQ(px(a, 0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(px(a, 1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(px(a, 0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(px(a, 1, 1), qRgb(10, 20, 30));
    EXPECT_EQ(px(picture(*record, 1), 1, 1), qRgb(10, 20, 30));
    // An ICC-based CMYK image is CMYK (no ink = white, magenta = 255,0,255).
    QImage cmyk = picture(*record, 2);
    ASSERT_EQ(cmyk.size(), QSize(2, 1));
    EXPECT_EQ(px(cmyk, 0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(cmyk, 1, 0), qRgb(255, 0, 255));
    QImage gray = picture(*record, 3);
    ASSERT_EQ(gray.size(), QSize(2, 1));
    EXPECT_EQ(px(gray, 1, 0), qRgb(200, 200, 200));
    // A 1-bit image with /Decode [1 0] on the raw route is not a negative of
    // what renderers show: bits 1010 0000 00 read as 0 -> white.
    QImage bits = picture(*record, 4);
    ASSERT_EQ(bits.size(), QSize(10, 1));
    EXPECT_EQ(px(bits, 0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(px(bits, 1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(bits, 2, 0), qRgb(0, 0, 0));
    EXPECT_EQ(px(bits, 9, 0), qRgb(255, 255, 255));
    QImage four = picture(*record, 5);
    EXPECT_EQ(px(four, 0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(px(four, 1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(four, 2, 0), qRgb(136, 136, 136));
    QImage two = picture(*record, 6);
    ASSERT_EQ(two.size(), QSize(2, 1));
    EXPECT_EQ(px(two, 0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(two, 1, 0), qRgb(0, 0, 255));
    QImage deep = picture(*record, 7);
    EXPECT_EQ(deep.depth(), 64);
    EXPECT_EQ(px(deep, 0, 0), qRgb(255, 128, 0));
    QImage mapped = picture(*record, 8);
    EXPECT_EQ(px(mapped, 0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(px(mapped, 1, 0), qRgb(0, 255, 255));
}

TEST_F(ImageConstructionTest, IndexedImages)
{
    PdfFixture pdf;
    const std::string rgbLookup = bytes({0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255});
    auto indexed = [&](const Obj &base, int hival, const std::string &lookup) {
        return array({name("Indexed"), base, integer(hival), string(lookup)});
    };
    Obj tint = pdf.stream("{ }", {{"FunctionType", integer(4)}});
    auto record = build(pdf, {
        pdf.image(4, 1, 8, indexed(name("DeviceRGB"), 3, rgbLookup), bytes({0, 1, 2, 3}), {"FlateDecode"}), // 0
        pdf.image(3, 2, 4, indexed(name("DeviceRGB"), 3, rgbLookup), bytes({0x12, 0x30, 0x31, 0x20})),     // 1
        pdf.image(5, 1, 1, indexed(name("DeviceRGB"), 1, rgbLookup.substr(0, 6)), bytes({0xA8})),          // 2
        pdf.image(3, 1, 2, indexed(name("DeviceRGB"), 3, rgbLookup), bytes({0x1B})),                        // 3: 00 01 10 11
        pdf.image(2, 1, 8, indexed(name("DeviceRGB"), 1, rgbLookup.substr(0, 6)), bytes({1, 200})),        // 4: clamped
        pdf.image(2, 1, 8, indexed(name("DeviceGray"), 1, bytes({30, 220})), bytes({1, 0})),               // 5
        pdf.image(2, 1, 8, indexed(name("DeviceCMYK"), 1, bytes({0, 0, 0, 0, 255, 0, 0, 0})), bytes({1, 0})), // 6
        pdf.image(1, 1, 8, indexed(array({name("DeviceN"), array({name("Cyan"), name("Magenta"), name("Yellow"), name("Black")}),
                                          name("DeviceCMYK"), tint}), 0, bytes({0, 255, 0, 0})), bytes({0})), // 7
        pdf.image(2, 1, 2, indexed(name("DeviceRGB"), 3, rgbLookup), bytes({0x10}), {},
                  {{"Decode", array({integer(3), integer(0)})}}),                                           // 8
    });
    ASSERT_EQ(record->images().size(), 9);
    QImage a = picture(*record, 0);
    EXPECT_EQ(px(a, 0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(px(a, 1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(a, 2, 0), qRgb(255, 0, 0));
    EXPECT_EQ(px(a, 3, 0), qRgb(0, 0, 255));
    // 4-bit, width 3: rows of two bytes, the padding nibble skipped.
    QImage b = picture(*record, 1);
    EXPECT_EQ(px(b, 0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(b, 1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(px(b, 2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(px(b, 0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(px(b, 1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(px(b, 2, 1), qRgb(255, 0, 0));
    QImage c = picture(*record, 2); // 1-bit: 1 0 1 0 1
    EXPECT_EQ(px(c, 0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(c, 1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(px(c, 4, 0), qRgb(255, 255, 255));
    QImage d = picture(*record, 3);
    EXPECT_EQ(px(d, 0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(px(d, 1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(d, 2, 0), qRgb(255, 0, 0));
    EXPECT_EQ(px(picture(*record, 4), 1, 0), qRgb(255, 255, 255)); // index 200 -> last entry
    EXPECT_EQ(px(picture(*record, 5), 0, 0), qRgb(220, 220, 220));
    EXPECT_EQ(px(picture(*record, 5), 1, 0), qRgb(30, 30, 30));
    EXPECT_EQ(px(picture(*record, 6), 0, 0), qRgb(0, 255, 255));
    EXPECT_EQ(px(picture(*record, 6), 1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(picture(*record, 7), 0, 0), qRgb(255, 0, 255));
    // /Decode [3 0] maps index 0 to 3 and 1 to 2.
    EXPECT_EQ(px(picture(*record, 8), 0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(px(picture(*record, 8), 1, 0), qRgb(255, 0, 0));
}

// Soft masks keep partial transparency, stencil masks cut, a colour-key
// array is not applied, and a mask shared by two images masks both.
TEST_F(ImageConstructionTest, Masks)
{
    PdfFixture pdf;
    const std::string red(4 * 3, '\0');
    std::string redPixels;
    for (int i = 0; i < 4; ++i)
        redPixels += bytes({255, 0, 0});
    Obj soft = pdf.image(2, 2, 8, name("DeviceGray"), bytes({0, 128, 0, 128}), {"FlateDecode"});
    Obj invertedSoft = pdf.image(2, 2, 8, name("DeviceGray"), bytes({0, 128, 0, 128}), {},
                                 {{"Decode", array({integer(1), integer(0)})}});
    Obj stencil = pdf.stream(bytes({0x40}), {{"Type", name("XObject")}, {"Subtype", name("Image")}, {"Width", integer(2)},
                                             {"Height", integer(1)}, {"ImageMask", boolean(true)}});
    auto record = build(pdf, {
        pdf.image(2, 2, 8, name("DeviceRGB"), redPixels, {"FlateDecode"}, {{"SMask", soft}}),         // 0
        pdf.image(2, 2, 8, name("DeviceRGB"), redPixels, {}, {{"SMask", invertedSoft}}),              // 1
        pdf.image(4, 2, 8, name("DeviceRGB"), redPixels + redPixels, {}, {{"Mask", stencil}}),        // 2: 2x1 stencil stretched
        pdf.image(2, 2, 8, name("DeviceRGB"), redPixels, {}, {{"Mask", array({integer(0), integer(255)})}}), // 3
        pdf.image(2, 2, 8, name("DeviceRGB"), redPixels, {}, {{"SMask", soft}}),                      // 4: shared mask
    });
    ASSERT_EQ(record->images().size(), 5);
    QImage a = picture(*record, 0);
    EXPECT_EQ(qAlpha(px(a, 0, 0)), 0);
    EXPECT_EQ(qAlpha(px(a, 1, 0)), 128);
    EXPECT_EQ(qRed(px(a, 1, 0)), 255);
    QImage b = picture(*record, 1);
    EXPECT_EQ(qAlpha(px(b, 0, 0)), 255);
    EXPECT_EQ(qAlpha(px(b, 1, 0)), 127);
    // Stencil samples 0 1 over a 4 x 2 image: the left half shows.
    QImage c = picture(*record, 2);
    EXPECT_EQ(qAlpha(px(c, 0, 0)), 255);
    EXPECT_EQ(qAlpha(px(c, 1, 1)), 255);
    EXPECT_EQ(qAlpha(px(c, 2, 0)), 0);
    EXPECT_EQ(qAlpha(px(c, 3, 1)), 0);
    EXPECT_EQ(qAlpha(px(picture(*record, 3), 0, 0)), 255);
    EXPECT_EQ(qAlpha(px(picture(*record, 4), 0, 0)), 0);
    EXPECT_EQ(qAlpha(px(picture(*record, 4), 1, 0)), 128);
}

// JPEG through libjpeg: colour as an independent decoder shows it; Adobe's
// inverted CMYK comes out in true colours through its /Decode array.
TEST_F(ImageConstructionTest, JpegAndJpeg2000)
{
    const QByteArray rgbSamples = gradientSamples(32, 16, 3);
    JpegFixture rgbFixture;
    rgbFixture.width = 32;
    rgbFixture.height = 16;
    const QByteArray rgbJpeg = encodeJpeg(rgbSamples, rgbFixture);
    JpegFixture cmykFixture;
    cmykFixture.width = 8;
    cmykFixture.height = 8;
    cmykFixture.storage = JpegStorage::CMYK;
    // Stored inverted as Adobe writes it: 255 - ink. Pure cyan.
    QByteArray inverted;
    for (int i = 0; i < 64; ++i)
        inverted += QByteArray::fromRawData("\x00\xff\xff\xff", 4);
    const QByteArray cmykJpeg = encodeJpeg(inverted, cmykFixture);

    J2kImage j2k;
    j2k.width = 3;
    j2k.height = 2;
    j2k.jp2 = true;
    j2k.space = J2kSpace::SRGB;
    j2k.components = {J2kComponent{}, J2kComponent{}, J2kComponent{}};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 6; ++i)
            j2k.components[size_t(c)].values.push_back((i * 40 + c * 7) & 0xff);
    const QByteArray jp2 = encodeJpeg2000(j2k);

    PdfFixture pdf;
    const Obj decode8 = array({integer(1), integer(0), integer(1), integer(0), integer(1), integer(0), integer(1), integer(0)});
    auto record = build(pdf, {
        pdf.image(32, 16, 8, name("DeviceRGB"), toStd(rgbJpeg), {"DCTDecode"}),                       // 0
        pdf.image(8, 8, 8, name("DeviceCMYK"), toStd(cmykJpeg), {"DCTDecode"}, {{"Decode", decode8}}), // 1
        pdf.image(8, 8, 8, name("DeviceCMYK"), toStd(cmykJpeg), {"DCTDecode"}),                       // 2
        pdf.image(3, 2, 8, name("DeviceRGB"), toStd(jp2), {"JPXDecode"}),                             // 3
        pdf.image(64, 32, 8, name("DeviceRGB"), toStd(rgbJpeg), {"ASCII85Decode", "DCTDecode"}),      // 4: drawn at 64 x 32
        // Any general filter ahead of the coded data: the same picture, described by its coding.
        pdf.image(32, 16, 8, name("DeviceRGB"), toStd(rgbJpeg), {"ASCIIHexDecode", "DCTDecode"}),     // 5
        pdf.image(32, 16, 8, name("DeviceRGB"), toStd(rgbJpeg), {"RunLengthDecode", "DCTDecode"}),    // 6
        pdf.image(32, 16, 8, name("DeviceRGB"), toStd(rgbJpeg), {"FlateDecode", "DCTDecode"}),        // 7
        pdf.image(3, 2, 8, Obj(), toStd(jp2), {"FlateDecode", "JPXDecode"}),                          // 8: no /ColorSpace
    });
    ASSERT_EQ(record->images().size(), 9);
    for (int i : {5, 6, 7}) {
        EXPECT_EQ(picture(*record, i).convertToFormat(QImage::Format_ARGB32), picture(*record, 0).convertToFormat(QImage::Format_ARGB32)) << i;
        EXPECT_EQ(record->images()[i]->source().filter, QStringLiteral("/DCTDecode")) << i;
    }
    EXPECT_EQ(px(picture(*record, 8), 2, 1), qRgb(200, 207, 214));
    EXPECT_EQ(record->images()[8]->source().filter, QStringLiteral("/JPXDecode"));
    const QImage independent = QImage::fromData(rgbJpeg).convertToFormat(QImage::Format_ARGB32);
    const QImage ours = picture(*record, 0).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(ours.size(), independent.size());
    int worst = 0;
    for (int y = 0; y < ours.height(); ++y)
        for (int x = 0; x < ours.width(); ++x) {
            const QRgb p = ours.pixel(x, y), q = independent.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    EXPECT_LE(worst, 3);
    const QRgb trueCyan = px(picture(*record, 1), 4, 4);
    EXPECT_LE(qRed(trueCyan), 3);
    EXPECT_GE(qGreen(trueCyan), 252);
    EXPECT_GE(qBlue(trueCyan), 252);
    // Without the /Decode the stored values are taken as ink, as renderers
    // do: 0 255 255 255 is black.
    const QRgb asStored = px(picture(*record, 2), 4, 4);
    EXPECT_LE(qRed(asStored), 3);
    EXPECT_LE(qGreen(asStored), 3);
    EXPECT_LE(qBlue(asStored), 3);
    const QImage j = picture(*record, 3);
    ASSERT_EQ(j.size(), QSize(3, 2));
    EXPECT_EQ(px(j, 2, 1), qRgb(200, 207, 214));
    EXPECT_EQ(picture(*record, 4).size(), QSize(64, 32));

    const QString jpegInfo = record->images()[0]->info();
    EXPECT_TRUE(jpegInfo.startsWith(QStringLiteral("Properties: {"))) << jpegInfo.toStdString();
    EXPECT_TRUE(jpegInfo.contains(QStringLiteral("PixelWidth = 32;")));
}

// Descriptions, names, and images that cannot be built.
TEST_F(ImageConstructionTest, DescriptionsNamesAndRefusals)
{
    PdfFixture pdf;
    auto record = build(pdf, {
        pdf.image(640, 480, 8, name("DeviceRGB"), std::string(640 * 480 * 3, '\x10'), {"FlateDecode"}), // 0
        pdf.image(0, 4, 8, name("DeviceGray"), std::string(4, '\0')),                                   // no width
        pdf.image(100000, 100000, 8, name("DeviceRGB"), std::string(30, '\0'), {"FlateDecode"}),       // absurd
        pdf.image(2, 2, 8, array({name("Separation"), name("Spot"), name("DeviceCMYK"), integer(0)}), std::string(4, '\0')),
        pdf.image(4, 1, 8, name("DeviceRGB"), std::string(9, '\0')),                                    // short data
        pdf.image(2, 1, 8, array({name("Lab"), dict({{"WhitePoint", array({real(0.9642), integer(1), real(0.8249)})}})}),
                  bytes({255, 128, 128, 0, 128, 128}), {"FlateDecode"}),                                 // 1
    });
    ASSERT_EQ(record->images().size(), 2);
    EXPECT_EQ(record->images()[0]->info(),
              QStringLiteral("Properties: {\n       Width\t\t\t- 640.00 px\n       Height\t\t- 480.00 px\n"
                             "       Bits per sample\t- 8 bit\n       Colorspace\t- /DeviceRGB\n}"));
    EXPECT_EQ(record->images()[0]->imagename(), QStringLiteral("f_000"));
    EXPECT_EQ(record->images()[1]->imagename(), QStringLiteral("f_001"));
    // L 100 is white, L 0 black.
    const QImage lab = picture(*record, 1);
    EXPECT_GE(qRed(px(lab, 0, 0)), 250);
    EXPECT_GE(qBlue(px(lab, 0, 0)), 250);
    EXPECT_LE(qGreen(px(lab, 1, 0)), 3);
    const ImageSource source = record->images()[0]->source();
    EXPECT_EQ(source.filter, QStringLiteral("/FlateDecode"));
    EXPECT_EQ(source.colorSpace, QStringLiteral("/DeviceRGB"));
    EXPECT_EQ(source.page, 1);
}
