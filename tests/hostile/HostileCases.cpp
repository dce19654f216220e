#include "HostileCases.h"

#include "Jpeg2000Fixtures.h"
#include "JpegFixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

using namespace fixture;

namespace {

QRgb goodPixel(int index, int x, int y)
{
    return qRgb((x * 40 + index * 70) % 256, (y * 50 + index * 30) % 256, (x * y * 9 + index) % 256);
}

std::string goodSamples(int index, int width, int height)
{
    std::string bytes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb p = goodPixel(index, x, y);
            bytes += char(qRed(p));
            bytes += char(qGreen(p));
            bytes += char(qBlue(p));
        }
    return bytes;
}

int goodWidth(int index) { return 5 + index; }
constexpr int kGoodHeight = 4;

// One page with one 4 x 4 gray image in the given colour space.
void writeOneImage(const QString &path, const std::function<Obj(PdfFixture &)> &colorSpace, int bpc = 8,
                   const std::string &samples = std::string(16, '\x01'))
{
    PdfFixture pdf;
    pdf.page({{"/I", pdf.image(4, 4, bpc, colorSpace(pdf), samples)}});
    pdf.write(path);
}

std::string readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<missing>");
}

void expectFiles(const HostileSetup &s, const QStringList &names)
{
    QStringList found = QDir(s.out).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    QStringList expected = names;
    expected.sort();
    EXPECT_EQ(found, expected);
}

// An image name that leaves the folder: every file still lands in it, one component deep.
HostileCase patternCase(std::string name, const QString &badFileName, const QString &pattern, QStringList expected)
{
    HostileCase c;
    c.name = std::move(name);
    c.make = [badFileName](HostileSetup &s) {
        s.bad = s.root + "/" + badFileName;
        writeOneImage(s.bad, [](PdfFixture &) { return fixture::name("DeviceGray"); });
        s.goodNamedByDefault = false;
    };
    c.extraArgs = {"--pattern", pattern};
    c.listed = 1;
    c.written = -1;
    c.check = [expected](const HostileSetup &s) { expectFiles(s, expected); };
    return c;
}

// A link planted in the output folder where an export file will go.
HostileCase linkCase(std::string name, bool targetExists)
{
    HostileCase c;
    c.name = std::move(name);
    c.make = [targetExists](HostileSetup &s) {
        writeOneImage(s.bad, [](PdfFixture &) { return fixture::name("DeviceGray"); });
        if (targetExists) {
            QFile target(s.root + "/target.txt");
            ASSERT_TRUE(target.open(QIODevice::WriteOnly));
            target.write("keep");
        }
        ASSERT_TRUE(QFile::link(s.root + "/target.txt", s.out + "/good_000.png"));
    };
    c.listed = 1;
    c.written = 1;
    c.check = [targetExists](const HostileSetup &s) {
        EXPECT_FALSE(QFileInfo(s.out + "/good_000.png").isSymLink());
        if (targetExists)
            EXPECT_EQ(readAll(s.root + "/target.txt"), "keep");
        else
            EXPECT_FALSE(QFileInfo::exists(s.root + "/target.txt"));
    };
    return c;
}

QByteArray jpegOf(int width, int height)
{
    JpegFixture f;
    f.width = width;
    f.height = height;
    return encodeJpeg(gradientSamples(width, height, 3), f);
}

QByteArray jpeg2000Of(int width, int height)
{
    J2kImage j;
    j.width = width;
    j.height = height;
    j.components.resize(1);
    for (int i = 0; i < width * height; ++i)
        j.components[0].values.push_back(i * 7 % 256);
    return encodeJpeg2000(j);
}

// One image of already coded bytes under a /Filter list as given, at a dictionary size of its own.
HostileCase codedCase(std::string name, const std::function<std::string()> &bytes, std::vector<std::string> filters,
                      int width, int height, int images)
{
    HostileCase c;
    c.name = std::move(name);
    c.make = [=](HostileSetup &s) {
        PdfFixture pdf;
        std::vector<Obj> names;
        for (const std::string &f : filters)
            names.push_back(fixture::name(f));
        pdf.page({{"/I", pdf.stream(bytes(), {{"Type", fixture::name("XObject")}, {"Subtype", fixture::name("Image")},
                                              {"Width", integer(width)}, {"Height", integer(height)},
                                              {"BitsPerComponent", integer(8)},
                                              {"ColorSpace", fixture::name("DeviceGray")},
                                              {"Filter", array(names)}})}});
        pdf.write(s.bad);
    };
    c.listed = images;
    c.written = images;
    return c;
}

std::string toStd(const QByteArray &a) { return a.toStdString(); }

// One image stream with exactly this dictionary (Type and Subtype added) and these bytes.
HostileCase dictionaryCase(std::string name, std::function<Dict(PdfFixture &)> dictionary, std::string bytes, int images)
{
    HostileCase c;
    c.name = std::move(name);
    c.make = [=](HostileSetup &s) {
        PdfFixture pdf;
        Dict d = dictionary(pdf);
        d["Type"] = fixture::name("XObject");
        d["Subtype"] = fixture::name("Image");
        pdf.page({{"/I", pdf.stream(bytes, d)}});
        pdf.write(s.bad);
    };
    c.listed = images;
    c.written = images;
    return c;
}

Dict grayImage(long long width, long long height, long long bpc)
{
    return {{"Width", integer(width)}, {"Height", integer(height)}, {"BitsPerComponent", integer(bpc)},
            {"ColorSpace", name("DeviceGray")}};
}


// A PNG whose image data fails its checksum: the PNG reader complains through Qt.
std::string pngWithBadChecksum()
{
    QImage image(8, 8, QImage::Format_RGB888);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const qsizetype crc = png.indexOf("IEND") - 8; // of the IDAT chunk before IEND
    png[crc] = char(png[crc] ^ 0x5a);
    return toStd(png);
}

} // namespace

void writeGoodFile(const QString &path)
{
    PdfFixture pdf;
    for (int i = 0; i < kGoodImages; ++i)
        pdf.page({{"/I", pdf.image(goodWidth(i), kGoodHeight, 8, name("DeviceRGB"),
                                   goodSamples(i, goodWidth(i), kGoodHeight), {"FlateDecode"})}});
    pdf.write(path);
}

void expectGoodImage(const QString &path, int index)
{
    SCOPED_TRACE(path.toStdString());
    const QImage image(path);
    ASSERT_EQ(image.size(), QSize(goodWidth(index), kGoodHeight));
    int wrong = 0;
    for (int y = 0; y < kGoodHeight; ++y)
        for (int x = 0; x < goodWidth(index); ++x)
            wrong += (image.pixel(x, y) | 0xff000000u) != goodPixel(index, x, y);
    EXPECT_EQ(wrong, 0);
}

std::vector<HostileCase> hostileCases()
{
    std::vector<HostileCase> cases;
    const std::string lookup = "\x00\x00\x00\xff\xff\xff";

    // Colour spaces that name themselves: the image is dropped, the run goes on.
    cases.push_back({"IndexedBaseIsItself",
                     [lookup](HostileSetup &s) {
                         writeOneImage(s.bad, [&](PdfFixture &pdf) {
                             Obj cs = pdf.qpdf().makeIndirectObject(array({name("Indexed"), name("DeviceRGB"),
                                                                           integer(1), string(lookup)}));
                             cs.setArrayItem(1, cs);
                             return cs;
                         });
                     },
                     {}, 0, 0, 0, 0, nullptr});
    cases.push_back({"IndexedBasesPointAtEachOther",
                     [lookup](HostileSetup &s) {
                         writeOneImage(s.bad, [&](PdfFixture &pdf) {
                             Obj a = pdf.qpdf().makeIndirectObject(array({name("Indexed"), name("DeviceRGB"),
                                                                          integer(1), string(lookup)}));
                             Obj b = pdf.qpdf().makeIndirectObject(array({name("Indexed"), a, integer(1),
                                                                          string(lookup)}));
                             a.setArrayItem(1, b);
                             return b;
                         });
                     },
                     {}, 0, 0, 0, 0, nullptr});

    // Names that would leave the output folder.
    cases.push_back(patternCase("PatternClimbsOut", "bad.pdf", "../escaped_###",
                                {"escaped_000.png", "escaped_000 (2).png", "escaped_001.png", "escaped_002.png"}));
    cases.push_back(patternCase("DotsFileNameClimbsOut", "...pdf", "$/img_###",
                                {"img_000.png", "img_000 (2).png", "img_001.png", "img_002.png"}));
    cases.push_back(patternCase("AbsolutePattern", "bad.pdf", "/tmp/zembrix-escape-###",
                                {"zembrix-escape-000.png", "zembrix-escape-000 (2).png", "zembrix-escape-001.png",
                                 "zembrix-escape-002.png"}));

    // Coded pictures: found behind any general filter; refused rather than shown as noise when
    // the list puts a filter after them or a JPEG 2000 codestream has another size.
    const auto jpeg = [] { return toStd(jpegOf(16, 16)); };
    cases.push_back(codedCase("JpegBehindAsciiHex", [=] { return asciiHex(jpeg()); }, {"ASCIIHexDecode", "DCTDecode"},
                              16, 16, 1));
    cases.push_back(codedCase("JpegBehindRunLength", [=] { return runLength(jpeg()); },
                              {"RunLengthDecode", "DCTDecode"}, 16, 16, 1));
    cases.push_back(codedCase("FlatedJpegListedDctFirst", [=] { return flate(jpeg()); }, {"DCTDecode", "FlateDecode"},
                              16, 16, 0));
    cases.push_back(codedCase("JpegListedDctFirst", jpeg, {"DCTDecode", "FlateDecode"}, 16, 16, 0));
    cases.push_back(codedCase("Jpeg2000LargerThanItsDictionary", [] { return toStd(jpeg2000Of(8, 8)); },
                              {"JPXDecode"}, 4, 4, 0));
    cases.push_back(codedCase("Jpeg2000OfItsDictionarySize", [] { return flate(toStd(jpeg2000Of(4, 4))); },
                              {"FlateDecode", "JPXDecode"}, 4, 4, 1));
    cases.push_back(codedCase("Jpeg2000SmallerThanItsDictionary", [] { return flate(toStd(jpeg2000Of(4, 4))); },
                              {"FlateDecode", "JPXDecode"}, 16, 16, 0));
    cases.push_back(codedCase("Jpeg2000BehindDctSizeDiffers", [] { return toStd(jpeg2000Of(4, 4)); },
                              {"DCTDecode"}, 8, 8, 0));

    cases.push_back(codedCase("DamagedPngBehindDct", pngWithBadChecksum, {"DCTDecode"}, 8, 8, 0));

    // Sizes, depths and filters no image can have: dropped, said, and the run goes on.
    const std::string samples(64, '\x55');
    const auto fixed = [](Dict d) { return [d](PdfFixture &) { return d; }; };
    cases.push_back(dictionaryCase("ZeroWidth", fixed(grayImage(0, 8, 8)), samples, 0));
    cases.push_back(dictionaryCase("NegativeHeight", fixed(grayImage(8, -8, 8)), samples, 0));
    cases.push_back(dictionaryCase("WidthOf2To31", fixed(grayImage(2147483648LL, 8, 8)), samples, 0));
    cases.push_back(dictionaryCase("PixelsPastTheBudget", fixed(grayImage(1000000, 1000, 1)), samples, 0));
    cases.push_back(dictionaryCase("BitsPerComponent0", fixed(grayImage(8, 8, 0)), samples, 0));
    cases.push_back(dictionaryCase("BitsPerComponent32", fixed(grayImage(8, 8, 32)), samples, 0));
    Dict unknownFilter = grayImage(8, 8, 8);
    unknownFilter["Filter"] = name("FooDecode");
    cases.push_back(dictionaryCase("UnknownFilter", fixed(unknownFilter), samples, 0));
    Dict badLzw = grayImage(8, 8, 8);
    badLzw["Filter"] = name("LZWDecode");
    cases.push_back(dictionaryCase("LzwWithABadCode", fixed(badLzw), std::string("\xff\xff\xff\xff\xff\xff", 6), 0));
    Dict bomb = grayImage(8, 8, 8);
    bomb["Filter"] = name("FlateDecode");
    cases.push_back(dictionaryCase("FlateBomb", fixed(bomb), flate(std::string(size_t(80) << 20, '\0')), 0));
    // An ICC-based space with an impossible /N: its samples are laid out from their length, as
    // for any ICC-based space whose profile is not used (here one gray byte per pixel).
    Dict icc255 = grayImage(8, 8, 8);
    cases.push_back(dictionaryCase("IccWithN255",
                                   [icc255](PdfFixture &pdf) {
                                       Dict d = icc255;
                                       d["ColorSpace"] = array({name("ICCBased"), pdf.stream("profile", {{"N", integer(255)}})});
                                       return d;
                                   },
                                   samples, 1));
    cases.push_back(dictionaryCase("DeviceNWith1000Colourants",
                                   [](PdfFixture &pdf) {
                                       std::vector<Obj> names;
                                       for (int i = 0; i < 1000; ++i)
                                           names.push_back(name("C" + std::to_string(i)));
                                       Dict d = grayImage(8, 8, 8);
                                       d["ColorSpace"] = array({name("DeviceN"), array(names), name("DeviceGray"),
                                                                pdf.stream("{pop}", {{"FunctionType", integer(4)}})});
                                       return d;
                                   },
                                   samples, 0));
    // Palettes past their lookup: the indices are clamped, the image is kept.
    cases.push_back(dictionaryCase("IndexedHival100000WithAThreeByteLookup",
                                   [](PdfFixture &) {
                                       Dict d = grayImage(8, 8, 8);
                                       d["ColorSpace"] = array({name("Indexed"), name("DeviceRGB"), integer(100000),
                                                                string("\x10\x20\x30")});
                                       return d;
                                   },
                                   samples, 1));

    // Links planted in the output folder are replaced, never followed.
    cases.push_back(linkCase("LinkToAFileOutside", true));
    cases.push_back(linkCase("DanglingLinkOutside", false));
    return cases;
}
