#include "HostileCases.h"

#include "Jpeg2000Fixtures.h"
#include "Jbig2TestStreams.h"
#include "JpegFixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <random>

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
// The bytes are made when the case runs (large ones are not made for every case of the catalogue).
HostileCase dictionaryCase(std::string name, std::function<Dict(PdfFixture &)> dictionary,
                           std::function<std::string()> bytes, int images)
{
    HostileCase c;
    c.name = std::move(name);
    c.make = [=](HostileSetup &s) {
        PdfFixture pdf;
        Dict d = dictionary(pdf);
        d["Type"] = fixture::name("XObject");
        d["Subtype"] = fixture::name("Image");
        pdf.page({{"/I", pdf.stream(bytes(), d)}});
        pdf.write(s.bad);
    };
    c.listed = images;
    c.written = images;
    return c;
}

HostileCase dictionaryCase(std::string name, std::function<Dict(PdfFixture &)> dictionary, std::string bytes, int images)
{
    return dictionaryCase(std::move(name), std::move(dictionary), [bytes] { return bytes; }, images);
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


std::string repeated(const std::string &part, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i)
        all += part;
    return all;
}

// A case whose hostile file is exactly these bytes.
HostileCase bytesCase(std::string name, std::function<std::string()> bytes, int listStatus, int listed,
                      int extractStatus, int written)
{
    return {std::move(name), [bytes](HostileSetup &s) { ASSERT_TRUE(writeFile(s.bad, bytes())); }, {}, listStatus,
            listed, extractStatus, written, nullptr};
}

// One page with one 7 x 9 gray image: 63 sample bytes, a /Length no other stream has.
std::string sevenByNine()
{
    PdfFixture pdf;
    pdf.page({{"/I", pdf.image(7, 9, 8, name("DeviceGray"), std::string(63, '\x40'))}});
    return pdf.write(QString());
}

// `pdf` with `from` replaced by `to` at its first place (which must exist).
std::string replaced(std::string pdf, const std::string &from, const std::string &to)
{
    const size_t at = pdf.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? pdf : pdf.replace(at, from.size(), to);
}

// The exported picture of the hostile file's first image has these ARGB pixels, row by row.
// The exported pictures of the hostile file's first `images` images have these ARGB pixels, row by row.
std::function<void(const HostileSetup &)> badPixels(int width, std::vector<QRgb> pixels, int images = 1)
{
    return [=](const HostileSetup &s) {
        for (int n = 0; n < images; ++n) {
            const QImage image = QImage(s.out + QStringLiteral("/bad_%1.png").arg(n, 3, 10, QLatin1Char('0')))
                                     .convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(width, int(pixels.size()) / width));
            for (size_t i = 0; i < pixels.size(); ++i)
                EXPECT_EQ(image.pixel(int(i) % width, int(i) / width), pixels[i]) << n << " " << i;
        }
    };
}

// `images` 4 x 4 RGB images (every pixel 10 20 30) under one mask image of these samples: a gray
// soft mask, or a stencil (/ImageMask) when bpc is 1.
HostileCase maskCase(std::string name, int width, int height, int bpc, std::function<std::string()> samples,
                     std::vector<std::string> filters, std::vector<QRgb> expected, int images = 1)
{
    return {std::move(name),
            [=](HostileSetup &s) {
                PdfFixture pdf;
                const bool stencil = bpc == 1;
                const Obj mask = pdf.image(width, height, stencil ? 0 : bpc,
                                           stencil ? Obj::newNull() : fixture::name("DeviceGray"), samples(), filters,
                                           stencil ? Dict{{"ImageMask", boolean(true)}} : Dict{});
                Dict xobjects;
                for (int i = 0; i < images; ++i)
                    xobjects["/I" + std::to_string(i)] = pdf.image(4, 4, 8, fixture::name("DeviceRGB"),
                                                                   repeated("\x0a\x14\x1e", 16), {},
                                                                   {{stencil ? "Mask" : "SMask", mask}});
                pdf.page(xobjects);
                pdf.write(s.bad);
            },
            {}, 0, images, 0, images, badPixels(4, std::move(expected), images)};
}

// Three pages of one 7 x 9 gray image each, the images told apart by their samples.
std::string threeImages()
{
    PdfFixture pdf;
    for (int i = 0; i < 3; ++i)
        pdf.page({{"/I", pdf.image(7, 9, 8, name("DeviceGray"), std::string(63, char(0x40 + i)))}});
    return pdf.write(QString());
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
    cases.push_back(dictionaryCase("FlateBomb", fixed(bomb), [] { return flate(std::string(size_t(80) << 20, '\0')); }, 0));
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

    // Damaged files: noise, a file cut at every tenth, offsets that lead nowhere, lengths that lie.
    cases.push_back(bytesCase("RandomBytes",
                              [] {
                                  std::mt19937 rng(7);
                                  std::string bytes = "%PDF-1.7\n";
                                  while (bytes.size() < 8192)
                                      bytes += char(rng());
                                  return bytes;
                              },
                              1, 0, 1, 0));
    // A file cut anywhere has lost its trailer, without which it has no root to walk from.
    for (int tenth = 1; tenth < 10; ++tenth)
        cases.push_back(bytesCase("CutAfter" + std::to_string(tenth) + "Tenths",
                                  [tenth] {
                                      std::string bytes = threeImages();
                                      bytes.resize(bytes.size() * size_t(tenth) / 10);
                                      return bytes;
                                  },
                                  1, 0, 1, 0));
    cases.push_back(bytesCase("CrossReferenceOffsetsLeadNowhere",
                              [] {
                                  std::string bytes = sevenByNine();
                                  for (size_t at = bytes.find(" 00000 n", bytes.rfind("\nxref")); at != std::string::npos;
                                       at = bytes.find(" 00000 n", at + 1))
                                      bytes.replace(at - 10, 10, "0000000001");
                                  return bytes;
                              },
                              0, 1, 0, 1));
    cases.push_back(bytesCase("LengthTooLarge", [] { return replaced(sevenByNine(), "/Length 63", "/Length 99"); },
                              0, 1, 0, 1));
    cases.push_back(bytesCase("LengthTooSmall", [] { return replaced(sevenByNine(), "/Length 63", "/Length 10"); },
                              0, 1, 0, 1));
    cases.push_back(bytesCase("UnknownSecurityHandler",
                              [] {
                                  return replaced(sevenByNine(), "trailer <<",
                                                  "trailer << /Encrypt << /Filter /FooSecurity /V 1 /R 2 >>");
                              },
                              1, 0, 1, 0));

    // Trees that loop: a page tree node listing the root among its kids, forms drawing each other.
    cases.push_back({"KidsPointBackUp",
                     [](HostileSetup &s) {
                         PdfFixture pdf;
                         Obj node = pdf.pageTreeNode();
                         pdf.page({{"/I", pdf.image(4, 4, 8, name("DeviceGray"), std::string(16, '\x01'))}}, node);
                         node.getKey("/Kids").appendItem(pdf.pagesRoot());
                         pdf.write(s.bad);
                     },
                     {}, 0, 1, 0, 1, nullptr});
    cases.push_back({"FormsUseEachOther",
                     [](HostileSetup &s) {
                         PdfFixture pdf;
                         Obj a = pdf.form({{"/I", pdf.image(4, 4, 8, name("DeviceGray"), std::string(16, '\x01'))}});
                         Obj b = pdf.form({{"/A", a}});
                         a.getDict().getKey("/Resources").getKey("/XObject").replaceKey("/B", b);
                         pdf.page({{"/B", b}});
                         pdf.write(s.bad);
                     },
                     {}, 0, 1, 0, 1, nullptr});

    cases.push_back(dictionaryCase("BitsPerComponent3", fixed(grayImage(8, 8, 3)), std::string(24, '\x55'), 0));

    // Coded pictures that are damaged, or refer to data that is not there: the decoders give what
    // they could make of them (the rest of a cut JPEG is gray, a text region without its symbols
    // leaves the page white), as viewers show them.
    cases.push_back(codedCase("JpegCutInHalf", [] { const QByteArray j = jpegOf(64, 64); return toStd(j.left(j.size() / 2)); },
                              {"DCTDecode"}, 64, 64, 1));
    cases.push_back(codedCase("JpegScanScrambled",
                              [] {
                                  std::string j = toStd(jpegOf(64, 64));
                                  std::mt19937 rng(3);
                                  for (size_t i = j.size() / 2; i + 2 < j.size(); i += 5)
                                      j[i] = char(rng());
                                  return j;
                              },
                              {"DCTDecode"}, 64, 64, 1));
    cases.push_back(codedCase("Jpeg2000CutInHalf", [] { const QByteArray j = jpeg2000Of(32, 32); return toStd(j.left(j.size() / 2)); },
                              {"JPXDecode"}, 32, 32, 1));
    cases.push_back(dictionaryCase("Jbig2WithoutItsGlobals",
                                   [](PdfFixture &) {
                                       Dict d = grayImage(16, 16, 1);
                                       d["Filter"] = name("JBIG2Decode");
                                       return d;
                                   },
                                   [] {
                                       using namespace jbig2test;
                                       return toStd(segment(1, PageInformation, 1, pageInformation(16, 16))
                                                    + segment(2, ImmediateTextRegion, 1,
                                                              textRegion(16, 16, {4}, {{0, 2, 2}}), {0})
                                                    + segment(3, EndOfPage, 1, {}));
                                   }(),
                                   1));

    // A stream naming itself as its own globals: the globals are refused, not followed for ever.
    cases.push_back({"Jbig2ThatIsItsOwnGlobals",
                     [](HostileSetup &s) {
                         PdfFixture pdf;
                         Dict d = grayImage(16, 16, 1);
                         d["Type"] = name("XObject");
                         d["Subtype"] = name("Image");
                         d["Filter"] = name("JBIG2Decode");
                         Obj image = pdf.stream(toStd(jbig2test::segment(1, jbig2test::PageInformation, 1,
                                                                         jbig2test::pageInformation(16, 16))
                                                      + jbig2test::segment(2, jbig2test::EndOfPage, 1, {})),
                                                d);
                         image.getDict().replaceKey("/DecodeParms", dict({{"JBIG2Globals", image}}));
                         pdf.page({{"/I", image}});
                         pdf.write(s.bad);
                     },
                     {}, 0, 1, 0, 1, nullptr});

    // Soft masks: of the image's size, larger, and huge on a tiny image.
    std::vector<QRgb> graded, columns, stencilled;
    for (int i = 0; i < 16; ++i) {
        graded.push_back(qRgba(10, 20, 30, i * 16));
        columns.push_back(qRgba(10, 20, 30, i % 4 * 80));
        stencilled.push_back(qRgba(10, 20, 30, i % 4 < 2 ? 0 : 255));
    }
    cases.push_back(maskCase("SoftMaskOfItsImageSize", 4, 4, 8,
                             [] {
                                 std::string m;
                                 for (int i = 0; i < 16; ++i)
                                     m += char(i * 16);
                                 return m;
                             },
                             {}, graded));
    cases.push_back(maskCase("SoftMaskLargerThanItsImage", 1000, 1000, 8,
                             [] { return std::string(1000000, '\x80'); }, {"FlateDecode"},
                             std::vector<QRgb>(16, qRgba(10, 20, 30, 128))));
    // A mask shared by two images masks both.
    cases.push_back(maskCase("TwoImagesShareOneSoftMask", 4, 4, 8, [] { return std::string(16, '\x40'); }, {},
                             std::vector<QRgb>(16, qRgba(10, 20, 30, 64)), 2));
    // Each pixel of the image is under a 3000 x 3000 block of the mask: the block's value.
    const auto blockColumns = [] {
        std::string row;
        for (int block = 0; block < 4; ++block)
            row += std::string(3000, char(block * 80));
        return repeated(row, 12000);
    };
    cases.push_back(maskCase("HugeSoftMaskOnATinyImage", 12000, 12000, 8, blockColumns, {"FlateDecode", "FlateDecode"},
                             columns));
    // A stencil whose left half is set (removes): sampled at the pixels' centres.
    const auto leftHalf = [] { return repeated(std::string(750, '\xff') + std::string(750, '\0'), 12000); };
    cases.push_back(maskCase("HugeStencilMaskOnATinyImage", 12000, 12000, 1, leftHalf, {"FlateDecode", "FlateDecode"},
                             stencilled));

    // Large pictures from small files: built once each, at their own size (or refused past the
    // decoded-size cap), never through copies upon copies.
    const auto zeros = [](size_t n) { return flate(flate(std::string(n, '\0'))); };
    Dict largeGray = grayImage(8000, 8000, 8);
    largeGray["Filter"] = array({name("FlateDecode"), name("FlateDecode")});
    cases.push_back(dictionaryCase("LargeGrayImageFromAFewKilobytes", fixed(largeGray), [=] { return zeros(64000000); }, 1));
    Dict largeIndexed = grayImage(20000, 20000, 1);
    largeIndexed["Filter"] = largeGray["Filter"];
    largeIndexed["ColorSpace"] = array({name("Indexed"), name("DeviceRGB"), integer(1), string(std::string(6, '\x7f'))});
    cases.push_back(dictionaryCase("IndexedExpandingPastTheCap", fixed(largeIndexed), [=] { return zeros(50000000); }, 0));
    cases.push_back(codedCase("SmallJpegDrawnLarge", [] { return toStd(jpegOf(16, 16)); }, {"DCTDecode"}, 4000, 4000, 1));
    Dict ccitt = grayImage(20000, 20000, 1);
    ccitt["Filter"] = name("CCITTFaxDecode");
    ccitt["DecodeParms"] = dict({{"K", integer(-1)}, {"Columns", integer(20000)}, {"Rows", integer(20000)}});
    cases.push_back(dictionaryCase("CcittOfHugeSize", fixed(ccitt), std::string(64, '\0'), 0));
    Dict jbig2 = grayImage(20000, 20000, 1);
    jbig2["Filter"] = name("JBIG2Decode");
    cases.push_back(dictionaryCase("Jbig2OfHugePage", fixed(jbig2),
                                   toStd(jbig2test::segment(1, jbig2test::PageInformation, 1,
                                                            jbig2test::pageInformation(20000, 20000))
                                         + jbig2test::segment(2, jbig2test::EndOfPage, 1, {})),
                                   1));

    // Many images: every one is listed and written.
    cases.push_back({"HundredThousandImages",
                     [](HostileSetup &s) {
                         PdfFixture pdf;
                         for (int p = 0; p < 100; ++p) {
                             Dict xobjects;
                             for (int i = 0; i < 1000; ++i)
                                 xobjects["/I" + std::to_string(i)] =
                                     pdf.image(1, 1, 8, name("DeviceGray"), std::string(1, char(i)));
                             pdf.page(xobjects);
                         }
                         pdf.write(s.bad);
                     },
                     {}, 0, 100000, 0, 100000, nullptr});

    // Links planted in the output folder are replaced, never followed.
    cases.push_back(linkCase("LinkToAFileOutside", true));
    cases.push_back(linkCase("DanglingLinkOutside", false));
    return cases;
}
