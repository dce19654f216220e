#include "PdfTestSupport.h"

#include "ImageComparison.h"
#include "Jpeg2000Fixtures.h"
#include "JpegFixtures.h"

using namespace zembrix;

using namespace fixture;

namespace {

QRgb px(const QImage &image, int x, int y)
{
    return image.convertToFormat(QImage::Format_ARGB32).pixel(x, y);
}

// A pixel of image `image` of the record: its colour, or only its alpha when `alphaOnly`.
struct Pixel {
    int image, x, y;
    QRgb expected;
    bool alphaOnly = false;
};

} // namespace

class ImageConstructionTest : public PdfTest
{
protected:
    static QImage picture(const PDFFileStruct &record, int index) { return record.images().value(index)->image(); }
    static void expectPixels(const PDFFileStruct &record, std::initializer_list<Pixel> pixels)
    {
        for (const Pixel &p : pixels) {
            const QRgb got = px(picture(record, p.image), p.x, p.y);
            if (p.alphaOnly)
                EXPECT_EQ(qAlpha(got), int(p.expected)) << "image " << p.image << " at " << p.x << "," << p.y;
            else
                EXPECT_EQ(got, p.expected) << "image " << p.image << " at " << p.x << "," << p.y;
        }
    }
};

// Device images on the stream route (Flate) and the raw route (no filter),
// with their true component counts, bit depths and decode arrays.
TEST_F(ImageConstructionTest, DeviceAndIccImages)
{
    PdfFixture pdf;
    Obj icc4 = pdf.stream("profile", {{"N", integer(4)}});
    Obj icc1 = pdf.stream("profile", {{"N", integer(1)}});
    const std::string rgb = bytes({255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30});
    auto record = parsePage(pdf, {
                                     pdf.image(2, 2, 8, name("DeviceRGB"), rgb, {"FlateDecode"}), // 0
                                     pdf.image(2, 2, 8, name("DeviceRGB"), rgb),                  // 1 raw
                                     // ICC-based CMYK is CMYK: no ink is white, magenta 255,0,255.
                                     pdf.image(2, 1, 8, array({name("ICCBased"), icc4}), bytes({0, 0, 0, 0, 0, 255, 0, 0}), {"FlateDecode"}), // 2
                                     pdf.image(2, 1, 8, array({name("ICCBased"), icc1}), bytes({0, 200}), {"FlateDecode"}),                   // 3
                                     // 1-bit with /Decode [1 0] on the raw route: bits 1010 0000 00, 0 is white.
                                     pdf.image(10, 1, 1, name("DeviceGray"), bytes({0xA0, 0x00}), {}, {{"Decode", array({integer(1), integer(0)})}}), // 4
                                     pdf.image(4, 1, 4, name("DeviceGray"), bytes({0x0F, 0x80}), {"FlateDecode"}),                                    // 5: 4-bit gray
                                     pdf.image(2, 1, 2, name("DeviceRGB"), bytes({0xFC, 0x30}), {}),                                                  // 6: 2-bit RGB, rows of 2 bytes
                                     pdf.image(1, 1, 16, name("DeviceRGB"), bytes({0xFF, 0xFF, 0x80, 0x00, 0, 0}), {"FlateDecode"}),                  // 7
                                     pdf.image(2, 1, 8, name("DeviceRGB"), bytes({0, 0, 0, 255, 255, 255}), {"ASCIIHexDecode", "FlateDecode"},
                                               {{"Decode", array({integer(1), integer(0), integer(0), integer(1), integer(0), integer(1)})}}),                     // 8
                                     pdf.image(10, 1, 1, array({name("ICCBased"), icc1}), bytes({0xA0, 0x00}), {}, {{"Decode", array({integer(1), integer(0)})}}), // 9: as 4
                                 });
    ASSERT_EQ(record->images().size(), 10);
    EXPECT_EQ(compareImages(picture(*record, 9), picture(*record, 4)).maximum, 0);
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    expectPixels(*record, {{0, 0, 0, qRgb(255, 0, 0)}, {0, 1, 0, qRgb(0, 255, 0)}, {0, 0, 1, qRgb(0, 0, 255)}, {0, 1, 1, qRgb(10, 20, 30)}, {1, 1, 1, qRgb(10, 20, 30)}, {2, 0, 0, white}, {2, 1, 0, qRgb(255, 0, 255)}, {3, 1, 0, qRgb(200, 200, 200)}, {4, 0, 0, black}, {4, 1, 0, white}, {4, 2, 0, black}, {4, 9, 0, white}, {5, 0, 0, black}, {5, 1, 0, white}, {5, 2, 0, qRgb(136, 136, 136)}, {6, 0, 0, white}, {6, 1, 0, qRgb(0, 0, 255)}, {7, 0, 0, qRgb(255, 128, 0)}, {8, 0, 0, qRgb(255, 0, 0)}, {8, 1, 0, qRgb(0, 255, 255)}});
    EXPECT_EQ(picture(*record, 4).size(), QSize(10, 1));
    EXPECT_EQ(picture(*record, 7).depth(), 64);
}

TEST_F(ImageConstructionTest, IndexedImages)
{
    PdfFixture pdf;
    const std::string rgbLookup = bytes({0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255});
    auto indexed = [&](const Obj &base, int hival, const Obj &lookup) {
        return array({name("Indexed"), base, integer(hival), lookup});
    };
    const Obj rgb4 = string(rgbLookup), rgb2 = string(rgbLookup.substr(0, 6));
    Obj tint = pdf.stream("{ }", {{"FunctionType", integer(4)}});
    Obj lookupStream = pdf.stream(asciiHex(rgbLookup), {{"Filter", name("ASCIIHexDecode")}});
    auto record = parsePage(pdf, {
                                     pdf.image(4, 1, 8, indexed(name("DeviceRGB"), 3, rgb4), bytes({0, 1, 2, 3}), {"FlateDecode"}),                                                                                                        // 0
                                     pdf.image(3, 2, 4, indexed(name("DeviceRGB"), 3, rgb4), bytes({0x12, 0x30, 0x31, 0x20})),                                                                                                             // 1: padding nibble
                                     pdf.image(5, 1, 1, indexed(name("DeviceRGB"), 1, rgb2), bytes({0xA8})),                                                                                                                               // 2: 1 0 1 0 1
                                     pdf.image(3, 1, 2, indexed(name("DeviceRGB"), 3, rgb4), bytes({0x1B})),                                                                                                                               // 3: 00 01 10
                                     pdf.image(2, 1, 8, indexed(name("DeviceRGB"), 1, rgb2), bytes({1, 200})),                                                                                                                             // 4: clamped
                                     pdf.image(2, 1, 8, indexed(name("DeviceGray"), 1, string(bytes({30, 220}))), bytes({1, 0})),                                                                                                          // 5
                                     pdf.image(2, 1, 8, indexed(name("DeviceCMYK"), 1, string(bytes({0, 0, 0, 0, 255, 0, 0, 0}))), bytes({1, 0})),                                                                                         // 6
                                     pdf.image(1, 1, 8, indexed(array({name("DeviceN"), array({name("Cyan"), name("Magenta"), name("Yellow"), name("Black")}), name("DeviceCMYK"), tint}), 0, string(bytes({0, 255, 0, 0}))), bytes({0})), // 7
                                     // /Decode [3 0] maps index 0 to 3 and 1 to 2.
                                     pdf.image(2, 1, 2, indexed(name("DeviceRGB"), 3, rgb4), bytes({0x10}), {},
                                               {{"Decode", array({integer(3), integer(0)})}}),                       // 8
                                     pdf.image(2, 1, 8, indexed(name("DeviceRGB"), 3, lookupStream), bytes({3, 2})), // 9: lookup stream
                                 });
    ASSERT_EQ(record->images().size(), 10);
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0), red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    expectPixels(*record, {{0, 0, 0, black}, {0, 1, 0, white}, {0, 2, 0, red}, {0, 3, 0, blue}, {1, 0, 0, white}, {1, 1, 0, red}, {1, 2, 0, blue}, {1, 0, 1, blue}, {1, 1, 1, white}, {1, 2, 1, red}, {2, 0, 0, white}, {2, 1, 0, black}, {2, 4, 0, white}, {3, 0, 0, black}, {3, 1, 0, white}, {3, 2, 0, red}, {4, 1, 0, white}, {5, 0, 0, qRgb(220, 220, 220)}, {5, 1, 0, qRgb(30, 30, 30)}, {6, 0, 0, qRgb(0, 255, 255)}, {6, 1, 0, white}, {7, 0, 0, qRgb(255, 0, 255)}, {8, 0, 0, blue}, {8, 1, 0, red}, {9, 0, 0, blue}, {9, 1, 0, red}});
}

// An inverted soft mask, a stencil mask stretched over its image, and a colour-key array, which
// is not applied (soft masks of every size, and shared ones, are checked by the hostile catalogue).
// A one-bit /Mask that is no image mask is a stencil all the same, its samples read as such
// whatever its colour space (0 shows the image unless /Decode is [1 0]). A mask larger than its
// image gives the picture its size.
TEST_F(ImageConstructionTest, Masks)
{
    PdfFixture pdf;
    const std::string red = repeated(bytes({255, 0, 0}), 4);
    Obj invertedSoft = pdf.image(2, 2, 8, name("DeviceGray"), bytes({0, 128, 0, 128}), {},
                                 {{"Decode", array({integer(1), integer(0)})}});
    Obj stencil = pdf.stream(bytes({0x40}), {{"Type", name("XObject")}, {"Subtype", name("Image")}, {"Width", integer(2)}, {"Height", integer(1)}, {"ImageMask", boolean(true)}});
    auto oneBit = [&](const Obj &colorSpace, const Dict &extra) {
        return pdf.image(2, 1, 8, name("DeviceRGB"), red.substr(0, 6), {},
                         {{"Mask", pdf.image(2, 1, 1, colorSpace, bytes({0x40}), {}, extra)}});
    };
    const Obj whiteThenBlack = array({name("Indexed"), name("DeviceRGB"), integer(1), string(bytes({255, 255, 255, 0, 0, 0}))});
    auto record = parsePage(pdf, {
                                     pdf.image(2, 2, 8, name("DeviceRGB"), red, {"FlateDecode"}, {{"SMask", invertedSoft}}),        // 0
                                     pdf.image(4, 2, 8, name("DeviceRGB"), red + red, {}, {{"Mask", stencil}}),                     // 1: stencil 0 1 stretched
                                     pdf.image(2, 2, 8, name("DeviceRGB"), red, {}, {{"Mask", array({integer(0), integer(255)})}}), // 2
                                     oneBit(QPDFObjectHandle::newNull(), {{"ImageMask", boolean(false)}}),                          // 3
                                     oneBit(name("DeviceGray"), {{"Decode", array({integer(1), integer(0)})}}),                     // 4
                                     oneBit(whiteThenBlack, {}),                                                                    // 5
                                     pdf.image(1, 1, 8, name("DeviceRGB"), bytes({255, 0, 0}), {},
                                               {{"SMask", pdf.image(3, 2, 8, name("DeviceGray"), bytes({0, 255, 0, 255, 0, 255}))}}), // 6
                                 });
    ASSERT_EQ(record->images().size(), 7);
    m_context->pictureCache().clear(); // built again as an export builds them
    expectPixels(*record, {{0, 0, 0, 255, true}, {0, 1, 0, qRgba(255, 0, 0, 127)}, {1, 0, 0, 255, true}, {1, 1, 1, 255, true}, {1, 2, 0, 0, true}, {1, 3, 1, 0, true}, {2, 0, 0, 255, true}, {3, 0, 0, 0xffff0000}, {3, 1, 0, 0, true}, {4, 0, 0, 0, true}, {4, 1, 0, 0xffff0000}, {5, 0, 0, 0xffff0000}, {5, 1, 0, 0, true}, {6, 0, 0, 0, true}, {6, 1, 0, 0xffff0000}, {6, 2, 1, 0xffff0000}, {6, 1, 1, 0, true}});
    EXPECT_EQ(picture(*record, 6).size(), QSize(3, 2));
}

// JPEG through libjpeg: colour as an independent decoder shows it; Adobe's
// inverted CMYK comes out in true colours through its /Decode array. Any
// general filter ahead of the coded data gives the same picture, described by
// its coding.
TEST_F(ImageConstructionTest, JpegAndJpeg2000)
{
    const QByteArray rgbJpeg = encodeJpeg(gradientSamples(32, 16, 3), {.width = 32, .height = 16});
    // Stored inverted as Adobe writes it: 255 - ink. Pure cyan.
    const QByteArray cmykJpeg =
        encodeJpeg(QByteArray::fromRawData("\x00\xff\xff\xff", 4).repeated(64), {.width = 8, .height = 8, .storage = JpegStorage::CMYK});
    J2kImage j2k{3, 2, {J2kComponent{}, J2kComponent{}, J2kComponent{}}, J2kSpace::SRGB, true};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 6; ++i)
            j2k.components[size_t(c)].values.push_back((i * 40 + c * 7) & 0xff);
    const std::string jp2 = toStd(encodeJpeg2000(j2k));
    // 4-bit indices in the codestream, /BitsPerComponent 8: the codestream's samples are the indices.
    const std::vector<int> indices = {0, 1, 2, 3, 15, 14, 13, 12};
    std::string palette;
    for (int i = 0; i < 16; ++i)
        palette += bytes({i * 17, 255 - i * 17, i * 50 % 256});
    const std::string indexedJpx = toStd(encodeJpeg2000({4, 2, {J2kComponent{4, false, 1, 1, false, indices}}}));

    PdfFixture pdf;
    const Obj decode8 = array({integer(1), integer(0), integer(1), integer(0), integer(1), integer(0), integer(1), integer(0)});
    auto record = parsePage(pdf, {
                                     pdf.image(32, 16, 8, name("DeviceRGB"), toStd(rgbJpeg), {"DCTDecode"}),                                                   // 0
                                     pdf.image(8, 8, 8, name("DeviceCMYK"), toStd(cmykJpeg), {"DCTDecode"}, {{"Decode", decode8}}),                            // 1
                                     pdf.image(8, 8, 8, name("DeviceCMYK"), toStd(cmykJpeg), {"DCTDecode"}),                                                   // 2
                                     pdf.image(3, 2, 8, name("DeviceRGB"), jp2, {"JPXDecode"}),                                                                // 3
                                     pdf.image(64, 32, 8, name("DeviceRGB"), toStd(rgbJpeg), {"ASCII85Decode", "DCTDecode"}),                                  // 4: drawn at 64 x 32
                                     pdf.image(32, 16, 8, name("DeviceRGB"), toStd(rgbJpeg), {"ASCIIHexDecode", "DCTDecode"}),                                 // 5
                                     pdf.image(32, 16, 8, name("DeviceRGB"), toStd(rgbJpeg), {"RunLengthDecode", "DCTDecode"}),                                // 6
                                     pdf.image(32, 16, 8, name("DeviceRGB"), toStd(rgbJpeg), {"FlateDecode", "DCTDecode"}),                                    // 7
                                     pdf.image(3, 2, 8, Obj(), jp2, {"FlateDecode", "JPXDecode"}),                                                             // 8: no /ColorSpace
                                     pdf.image(4, 2, 8, array({name("Indexed"), name("DeviceRGB"), integer(15), string(palette)}), indexedJpx, {"JPXDecode"}), // 9
                                     pdf.image(32, 16, 8, name("DeviceRGB"), "\r\n  " + toStd(rgbJpeg), {"DCTDecode"}),                                        // 10: bytes before SOI
                                     // Refused rather than shown as noise: a filter listed after the coding, a codestream of
                                     // another size than its dictionary's (larger, smaller, and named JPEG).
                                     pdf.image(32, 16, 8, name("DeviceRGB"), toStd(rgbJpeg), {}, {{"Filter", array({name("DCTDecode"), name("FlateDecode")})}}),
                                     pdf.image(2, 2, 8, name("DeviceRGB"), jp2, {"JPXDecode"}),
                                     pdf.image(6, 4, 8, name("DeviceRGB"), jp2, {"FlateDecode", "JPXDecode"}),
                                     pdf.image(6, 4, 8, name("DeviceRGB"), jp2, {"DCTDecode"}),
                                 });
    ASSERT_EQ(record->images().size(), 11);
    EXPECT_LE(compareImages(picture(*record, 0), QImage::fromData(rgbJpeg)).maximum, 3);
    for (int i = 0; i < 8; ++i) {
        const char *entry = palette.data() + indices[size_t(i)] * 3;
        EXPECT_EQ(px(picture(*record, 9), i % 4, i / 4), qRgb(uchar(entry[0]), uchar(entry[1]), uchar(entry[2]))) << i;
    }
    for (int i : {5, 6, 7, 10}) {
        EXPECT_EQ(compareImages(picture(*record, i), picture(*record, 0)).maximum, 0) << i;
        EXPECT_EQ(record->images()[i]->source().filter, QStringLiteral("/DCTDecode")) << i;
    }
    EXPECT_EQ(record->images()[8]->source().filter, QStringLiteral("/JPXDecode"));
    // Without the /Decode the stored values are taken as ink, as renderers do: 0 255 255 255 is black.
    const QRgb trueCyan = px(picture(*record, 1), 4, 4), asStored = px(picture(*record, 2), 4, 4);
    EXPECT_TRUE(qRed(trueCyan) <= 3 && qGreen(trueCyan) >= 252 && qBlue(trueCyan) >= 252) << std::hex << trueCyan;
    EXPECT_TRUE(qRed(asStored) <= 3 && qGreen(asStored) <= 3 && qBlue(asStored) <= 3) << std::hex << asStored;
    expectPixels(*record, {{3, 2, 1, qRgb(200, 207, 214)}, {8, 2, 1, qRgb(200, 207, 214)}});
    EXPECT_EQ(picture(*record, 3).size(), QSize(3, 2));
    EXPECT_EQ(picture(*record, 4).size(), QSize(64, 32));
    EXPECT_TRUE(record->images()[0]->info().contains(QStringLiteral("PixelWidth = 32;")));
}

// Descriptions, names, and images that cannot be built.
TEST_F(ImageConstructionTest, DescriptionsNamesAndRefusals)
{
    PdfFixture pdf;
    auto record = parsePage(pdf, {
                                     pdf.image(640, 480, 8, name("DeviceRGB"), std::string(640 * 480 * 3, '\x10'), {"FlateDecode"}), // 0
                                     pdf.image(0, 4, 8, name("DeviceGray"), std::string(4, '\0')),                                   // no width
                                     pdf.image(100000, 100000, 8, name("DeviceRGB"), std::string(30, '\0'), {"FlateDecode"}),        // absurd
                                     pdf.image(2, 2, 8, array({name("Separation"), name("Spot"), name("DeviceCMYK"), integer(0)}), std::string(4, '\0')),
                                     pdf.image(4, 1, 8, name("DeviceRGB"), std::string(9, '\0')), // short data
                                     // Sizes, depths and filters no image can have (a width of 2^31, a flate bomb).
                                     pdf.image(8, -8, 8, name("DeviceGray"), std::string(64, '\x55')),
                                     pdf.image(8, 8, 8, name("DeviceGray"), std::string(64, '\x55'), {}, {{"Width", integer(2147483648LL)}}),
                                     pdf.image(8, 8, 8, name("DeviceGray"), std::string(64, '\x55'), {}, {{"BitsPerComponent", integer(0)}}),
                                     pdf.image(8, 8, 32, name("DeviceGray"), std::string(256, '\x55')),
                                     pdf.image(8, 8, 8, name("DeviceGray"), std::string(64, '\x55'), {"FooDecode"}),
                                     pdf.image(8, 8, 8, name("DeviceGray"), std::string(6, '\xff'), {}, {{"Filter", name("LZWDecode")}}),
                                     pdf.image(8, 8, 8, name("DeviceGray"), std::string(size_t(80) << 20, '\0'), {"FlateDecode"}),
                                     pdf.image(2, 1, 8, array({name("Lab"), dict({{"WhitePoint", array({real(0.9642), integer(1), real(0.8249)})}})}),
                                               bytes({255, 128, 128, 0, 128, 128}), {"FlateDecode"}), // 1
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
    EXPECT_EQ(source.bitsPerComponent, 8);
    EXPECT_EQ(source.page, 1);
}

// Samples a few rows short are padded with zero samples as mutool shows them (through /Decode:
// black, white, the first palette entry) and said; images that cannot be made say why.
TEST_F(ImageConstructionTest, ShortSamplesArePaddedAndFailuresSayWhy)
{
    std::string lzwPastFullTable; // single-byte codes with no clear code: the table fills up
    quint64 bits = 0;
    for (int k = -1, pending = 0; k < 5000; ++k) {
        const int next = 259 + std::max(k - 1, 0), width = next >= 2048 ? 12 : next >= 1024 ? 11
                                                                           : next >= 512    ? 10
                                                                                            : 9;
        bits = (bits << width | quint64(k < 0 ? 256 : k % 256)) & 0xFFFFFF;
        for (pending += width; pending >= 8; pending -= 8)
            lzwPastFullTable += char(bits >> (pending - 8));
    }
    PdfFixture pdf;
    const Obj unit = numbers({0, 1});
    std::vector<Obj> colourants(40, name("C"));
    const Obj spot = array({name("DeviceN"), array(colourants), name("DeviceGray"),
                            dict({{"FunctionType", integer(2)}, {"Domain", unit}, {"N", integer(1)}})});
    const Obj badTint = pdf.stream("{ pop", {{"FunctionType", integer(4)}, {"Domain", unit}, {"Range", unit}});
    auto record = parsePage(pdf, {
                                     pdf.image(4, 4, 8, name("DeviceGray"), std::string(8, '\xc8')),                                                 // 0
                                     pdf.image(4, 4, 8, name("DeviceGray"), std::string(8, '\xc8'), {"FlateDecode"}, {{"Decode", numbers({1, 0})}}), // 1
                                     pdf.image(4, 4, 8, array({name("Indexed"), name("DeviceRGB"), integer(1), string(bytes({255, 0, 0, 0, 255, 0}))}),
                                               std::string(6, '\1')),                                                                   // 2: 1.5 rows
                                     pdf.image(100, 100, 8, name("DeviceGray"), lzwPastFullTable, {}, {{"Filter", name("LZWDecode")}}), // 3
                                     pdf.image(8, 8, 8, spot, std::string(64 * 40, '\0')),
                                     pdf.image(8, 8, 8, array({name("Separation"), name("S"), name("DeviceGray"), badTint}), std::string(64, '\0')),
                                     pdf.image(8, 8, 3, name("DeviceGray"), std::string(24, '\0')),
                                     pdf.image(8, 8, 1, name("DeviceGray"), std::string(6, '\0'), {},
                                               {{"Filter", name("CCITTFaxDecode")}, {"DecodeParms", dict({{"K", integer(-1)}, {"Columns", integer(8)}})}}),
                                     pdf.image(8, 8, 8, name("DeviceGray"), "not flate", {}, {{"Filter", name("FlateDecode")}}),
                                     pdf.image(8, 8, 8, name("DeviceGray"), "not a JPEG", {"DCTDecode"}),
                                 });
    ASSERT_EQ(record->images().size(), 4);
    const QRgb gray = qRgb(200, 200, 200), black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    expectPixels(*record, {{0, 3, 1, gray}, {0, 0, 2, black}, {1, 3, 1, qRgb(55, 55, 55)}, {1, 0, 3, white}, {2, 1, 1, qRgb(0, 255, 0)}, {2, 2, 1, qRgb(255, 0, 0)}, {3, 0, 37, qRgb(116, 116, 116)}, {3, 39, 38, black}});
    QStringList reasons;
    for (const PDFFileStruct::SkippedImage &skipped : record->skippedImages())
        reasons << (skipped.kept ? "kept: " : "") + skipped.reason;
    EXPECT_EQ(reasons, QStringList({"kept: 2 of 4 rows missing, padded", "kept: 2 of 4 rows missing, padded",
                                    "kept: 3 of 4 rows missing, padded", "kept: LZW table overflow: 62 of 100 rows missing, padded",
                                    "too many colourants", "tint program failed", "unsupported bits per component",
                                    "bad fax data", "damaged file", "damaged file"}));
}

// Sizes written as reals are read as numbers: a /Width of 1000000.0 is a million pixels, not the 1
// its printed form "1e+06" begins with.
TEST_F(ImageConstructionTest, RealSizesAreReadAsNumbers)
{
    PdfFixture pdf;
    auto record = parsePage(pdf, {
                                     pdf.image(1, 1, 8, name("DeviceGray"), std::string(1000000, '\x40'), {"FlateDecode"}, {{"Width", real(1e6)}}),
                                     pdf.image(3, 2, 8, name("DeviceGray"), std::string(6, '\x80'), {}, {{"Height", real(2.9)}}),
                                 });
    EXPECT_EQ(widths(*record), QList<int>({1000000, 3}));
    EXPECT_EQ(picture(*record, 0).size(), QSize(1000000, 1));
    expectPixels(*record, {{0, 999999, 0, qRgb(64, 64, 64)}, {1, 2, 1, qRgb(128, 128, 128)}});
}
