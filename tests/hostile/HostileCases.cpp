#include "HostileCases.h"

#include "Jpeg2000Fixtures.h"
#include "Jbig2TestStreams.h"
#include "JpegFixtures.h"
#include "WaitUntil.h"
#include "ZembrixProcess.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>

#include <csignal>

using namespace fixture;

namespace {

using Bytes = std::function<std::string()>;

QRgb goodPixel(int index, int x, int y)
{
    return qRgb((x * 40 + index * 70) % 256, (y * 50 + index * 30) % 256, (x * y * 9 + index) % 256);
}

int goodWidth(int index) { return 5 + index; }
constexpr int kGoodHeight = 4;

Bytes constant(std::string bytes) { return [bytes] { return bytes; }; }

// An image dictionary of a gray image; one filter is named, several are listed; `entries` added
// or replacing.
Dict gray(long long width, long long height, long long bpc = 8, const std::vector<std::string> &filters = {},
          const Dict &entries = {})
{
    Dict d{{"Width", integer(width)}, {"Height", integer(height)}, {"BitsPerComponent", integer(bpc)},
           {"ColorSpace", name("DeviceGray")}};
    for (const auto &[key, value] : entries)
        d[key] = value;
    std::vector<Obj> names;
    for (const std::string &f : filters)
        names.push_back(name(f));
    if (names.size() == 1)
        d["Filter"] = names[0];
    else if (!names.empty())
        d["Filter"] = array(names);
    return d;
}

// A case whose run lists and writes `images` images of the hostile file, both runs succeeding.
HostileCase imagesCase(std::string name, int images, std::function<void(HostileSetup &)> make,
                       std::function<void(const HostileSetup &)> check = nullptr)
{
    return {std::move(name), std::move(make), {}, 0, images, 0, images, std::move(check)};
}

// One page with one image stream of exactly this dictionary (Type and Subtype added) and these
// bytes, made when the case runs (large ones are not made for every case of the catalogue).
HostileCase imageCase(std::string name, int images, std::function<Dict(PdfFixture &)> dictionary, Bytes bytes)
{
    return imagesCase(std::move(name), images, [=](HostileSetup &s) {
        PdfFixture pdf;
        Dict d = dictionary(pdf);
        d["Type"] = fixture::name("XObject");
        d["Subtype"] = fixture::name("Image");
        pdf.page({{"/I", pdf.stream(bytes(), d)}});
        pdf.write(s.bad);
    });
}

HostileCase imageCase(std::string name, int images, Dict dictionary, Bytes bytes)
{
    return imageCase(std::move(name), images, [dictionary](PdfFixture &) { return dictionary; }, std::move(bytes));
}

// A case whose hostile file is exactly these bytes: a file that does not open fails both runs.
HostileCase bytesCase(std::string name, Bytes bytes, bool opens)
{
    return {std::move(name), [bytes](HostileSetup &s) { ASSERT_TRUE(writeFile(s.bad, bytes())); }, {},
            opens ? 0 : 1, opens ? 1 : 0, opens ? 0 : 1, opens ? 1 : 0, nullptr};
}

// One page with one 4 x 4 gray image (or `images` of them).
void writeGrayImage(const QString &path, const Obj &colorSpace = name("DeviceGray"), int images = 1)
{
    PdfFixture pdf;
    Dict xobjects;
    for (int i = 0; i < images; ++i)
        xobjects["/I" + std::to_string(i)] = pdf.image(4, 4, 8, colorSpace, std::string(16, '\x01'));
    pdf.page(xobjects);
    pdf.write(path);
}

// One gray image in an indexed space whose base is itself, or another indexed space based on it.
HostileCase indexedLoopCase(std::string name, bool twoSpaces)
{
    return imagesCase(std::move(name), 0, [twoSpaces](HostileSetup &s) {
        PdfFixture pdf;
        const auto indexed = [&](const Obj &base) {
            return pdf.qpdf().makeIndirectObject(array({fixture::name("Indexed"), base, integer(1), string("\x00\x00\x00\xff\xff\xff")}));
        };
        Obj a = indexed(fixture::name("DeviceRGB"));
        Obj b = twoSpaces ? indexed(a) : a;
        a.setArrayItem(1, b);
        pdf.page({{"/I", pdf.image(4, 4, 8, b, std::string(16, '\x01'))}});
        pdf.write(s.bad);
    });
}

// A run the command line refuses before reading anything: nothing is written.
HostileCase refusedCase(std::string name, const QStringList &args)
{
    return {std::move(name), [](HostileSetup &s) { writeGrayImage(s.bad), s.goodNamedByDefault = false; }, args, 0, 1, 2, -1,
            [](const HostileSetup &s) { EXPECT_TRUE(QDir(s.out).isEmpty()); }};
}

// The hostile file under the name `fileName` gives the file `written` in the output folder.
HostileCase nameCase(std::string name, const QString &fileName, const QString &written)
{
    return imagesCase(std::move(name), 1, [fileName](HostileSetup &s) { writeGrayImage(s.bad = s.root + "/" + fileName); },
                      [written](const HostileSetup &s) { EXPECT_TRUE(QFileInfo(s.out + "/" + written).isFile()) << written.toStdString(); });
}

// A link planted in the output folder where an export file will go: with --overwrite replaced,
// never followed.
HostileCase linkCase(std::string name, bool targetExists)
{
    HostileCase c = imagesCase(
        std::move(name), 1,
        [targetExists](HostileSetup &s) {
            writeGrayImage(s.bad);
            ASSERT_TRUE(!targetExists || writeFile(s.root + "/target.txt", "keep"));
            ASSERT_TRUE(QFile::link(s.root + "/target.txt", s.out + "/good_000.png"));
        },
        [targetExists](const HostileSetup &s) {
            EXPECT_FALSE(QFileInfo(s.out + "/good_000.png").isSymLink());
            QFile target(s.root + "/target.txt");
            const QByteArray kept = target.open(QIODevice::ReadOnly) ? target.readAll() : QByteArray("<none>");
            EXPECT_EQ(kept, targetExists ? "keep" : "<none>");
        });
    c.extraArgs = {"--overwrite"};
    return c;
}

std::string jpegOf(int width, int height)
{
    return encodeJpeg(gradientSamples(width, height, 3), {.width = width, .height = height}).toStdString();
}

std::string jpeg2000Of(int width, int height)
{
    J2kImage j{.width = width, .height = height, .components = std::vector<J2kComponent>(1)};
    for (int i = 0; i < width * height; ++i)
        j.components[0].values.push_back(i * 7 % 256);
    return encodeJpeg2000(j).toStdString();
}

// A JPEG 2000 codestream of size x size gray (or RGB) pixels in square tiles, whose one tile-part
// holds no coded data: every sample decodes to mid-gray.
std::string emptyJ2k(int size, int tile, int components)
{
    QByteArray c("\xff\x4f\xff\x51", 4);
    const auto u16 = [&c](int v) { c.append(char(v >> 8)).append(char(v)); };
    for (int v : {38 + 3 * components, 0, 0, size, 0, size, 0, 0, 0, 0, 0, tile, 0, tile, 0, 0, 0, 0, components})
        u16(v); // SIZ: Rsiz, 32-bit sizes, offsets and tile sizes, components
    for (int i = 0; i < components; ++i)
        c.append("\x07\x01\x01", 3);
    c.append("\xff\x52\x00\x0c\x00\x00\x00\x01\x00\x00\x04\x04\x00\x01", 14); // COD: no levels, 5-3
    c.append("\xff\x5c\x00\x04\x40\x40", 6);                                         // QCD: no quantisation
    c.append("\xff\x90\x00\x0a\x00\x00\x00\x00\x00\x0f\x00\x01\xff\x93\x00\xff\xd9", 17); // tile 0, empty
    return c.toStdString();
}

std::string firstHalf(const std::string &bytes) { return bytes.substr(0, bytes.size() / 2); }

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
    return png.toStdString();
}

std::string jbig2Page(int width, int height, const QByteArray &regions = {})
{
    using namespace jbig2test;
    return (segment(1, PageInformation, 1, pageInformation(width, height)) + regions
            + segment(regions.isEmpty() ? 2 : 3, EndOfPage, 1, {}))
        .toStdString();
}

// Pages of one 7 x 9 gray image each (63 sample bytes, a /Length no other stream has), the
// images told apart by their samples.
std::string sevenByNine(int pages = 1)
{
    PdfFixture pdf;
    for (int i = 0; i < pages; ++i)
        pdf.page({{"/I", pdf.image(7, 9, 8, name("DeviceGray"), std::string(63, char(0x40 + i)))}});
    return pdf.write(QString());
}

// `pdf` with `from` replaced by `to` at its first place (which must exist).
std::string replaced(std::string pdf, const std::string &from, const std::string &to)
{
    const size_t at = pdf.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? pdf : pdf.replace(at, from.size(), to);
}

// `images` 4 x 4 RGB images (every pixel 10 20 30) under one square mask of these samples (coded
// by `filters`): a gray soft mask, or a stencil (/ImageMask) when bpc is 1. The exported pictures
// have the larger of the two sizes, the colour, and in each of their 4 x 4 blocks, row by row,
// these alpha values (read at the blocks' centres).
HostileCase maskCase(std::string name, int side, int bpc, Bytes samples, std::vector<std::string> filters,
                     const std::function<int(int)> &alpha, int images = 1)
{
    return imagesCase(
        std::move(name), images,
        [=](HostileSetup &s) {
            PdfFixture pdf;
            const bool stencil = bpc == 1;
            const Obj mask = pdf.image(side, side, stencil ? 0 : bpc, stencil ? Obj::newNull() : fixture::name("DeviceGray"),
                                       samples(), filters, stencil ? Dict{{"ImageMask", boolean(true)}} : Dict{});
            Dict xobjects;
            for (int i = 0; i < images; ++i)
                xobjects["/I" + std::to_string(i)] = pdf.image(4, 4, 8, fixture::name("DeviceRGB"),
                                                               repeated("\x0a\x14\x1e", 16), {},
                                                               {{stencil ? "Mask" : "SMask", mask}});
            pdf.page(xobjects);
            pdf.write(s.bad);
        },
        [=](const HostileSetup &s) {
            for (int n = 0; n < images; ++n) {
                const QImage image = QImage(s.out + QStringLiteral("/bad_%1.png").arg(n, 3, 10, QLatin1Char('0')))
                                         .convertToFormat(QImage::Format_ARGB32);
                const int block = std::max(side, 4) / 4;
                ASSERT_EQ(image.size(), QSize(4 * block, 4 * block));
                for (int i = 0; i < 16; ++i)
                    EXPECT_EQ(image.pixel(i % 4 * block + block / 2, i / 4 * block + block / 2), qRgba(10, 20, 30, alpha(i)))
                        << n << " " << i;
            }
        });
}

std::string streamObject(const std::string &dictionary, const std::string &data)
{
    return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A file of these objects as given (a number given twice is found by its table at its first place),
// object 1 the catalog; the table points object `misplaced` at no object at all.
std::string rawPdf(const std::vector<std::pair<int, std::string>> &objects, int misplaced = 0)
{
    std::string pdf = "%PDF-1.7\n", table;
    std::map<int, size_t> at;
    for (const auto &[number, body] : objects) {
        at.emplace(number, pdf.size());
        pdf += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    for (int n = 0; n <= at.rbegin()->first; ++n) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu %s \n", n == misplaced ? 2 : at.count(n) ? at[n] : 0,
                      at.count(n) ? "00000 n" : "65535 f");
        table += line;
    }
    return pdf + "xref\n0 " + std::to_string(at.rbegin()->first + 1) + "\n" + table + "trailer\n<< /Size "
        + std::to_string(at.rbegin()->first + 1) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(pdf.size()) + "\n%%EOF\n";
}

// One page under `levels` page tree nodes, drawing `content` with these resources; the objects
// given (3 to 9) come first.
std::string rawPage(const std::string &content, const std::string &resources, int levels = 0,
                    std::vector<std::pair<int, std::string>> objects = {})
{
    objects.push_back({1, "<< /Type /Catalog /Pages 2 0 R >>"});
    for (int n = 2; n < 10 + levels; n = n == 2 ? 10 : n + 1)
        objects.push_back({n, "<< /Type /Pages /Count 1 /Kids [" + std::to_string(n == 2 ? 10 : n + 1) + " 0 R] >>"});
    objects.push_back({10 + levels, "<< /Type /Page /Contents 3 0 R /Resources << " + resources + " >> >>"});
    objects.push_back({3, streamObject("", content)});
    return rawPdf(objects);
}

const std::string kGrayImage = streamObject("/Subtype /Image /Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray",
                                            "\x10\x20\x30\x40");

HostileCase rawCase(std::string name, int images, std::function<std::string()> bytes, QStringList extraArgs = {})
{
    HostileCase c = imagesCase(std::move(name), images, [bytes](HostileSetup &s) { ASSERT_TRUE(writeFile(s.bad, bytes())); });
    c.extraArgs = extraArgs;
    return c;
}

} // namespace

void writeGoodFile(const QString &path)
{
    PdfFixture pdf;
    for (int i = 0; i < kGoodImages; ++i) {
        std::string samples;
        for (int y = 0; y < kGoodHeight; ++y)
            for (int x = 0; x < goodWidth(i); ++x)
                for (int c : {qRed(goodPixel(i, x, y)), qGreen(goodPixel(i, x, y)), qBlue(goodPixel(i, x, y))})
                    samples += char(c);
        pdf.page({{"/I", pdf.image(goodWidth(i), kGoodHeight, 8, name("DeviceRGB"), samples, {"FlateDecode"})}});
    }
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
    // Colour spaces that name themselves: the image is dropped, the run goes on.
    std::vector<HostileCase> cases = {indexedLoopCase("IndexedBaseIsItself", false),
                                      indexedLoopCase("IndexedBasesPointAtEachOther", true)};

    const Bytes jpeg = [] { return jpegOf(16, 16); };
    const Bytes smallJpeg2000 = [] { return jpeg2000Of(4, 4); };
    const std::string samples(64, '\x55');
    const auto zeros = [](size_t n) { return [n] { return flate(flate(std::string(n, '\0'))); }; };
    const std::vector<std::string> twoFlates = {"FlateDecode", "FlateDecode"};
    struct Row {
        const char *name;
        int images;
        Dict dictionary;
        Bytes bytes;
    };
    const Row rows[] = {
        // Coded pictures: found behind any general filter; refused rather than shown as noise
        // when the list puts a filter after them or a JPEG 2000 codestream has another size.
        {"JpegBehindAsciiHex", 1, gray(16, 16, 8, {"ASCIIHexDecode", "DCTDecode"}), [=] { return asciiHex(jpeg()); }},
        {"JpegListedDctFirst", 0, gray(16, 16, 8, {"DCTDecode", "FlateDecode"}), jpeg},
        {"Jpeg2000LargerThanItsDictionary", 0, gray(4, 4, 8, {"JPXDecode"}), [] { return jpeg2000Of(8, 8); }},
        {"Jpeg2000OfItsDictionarySize", 1, gray(4, 4, 8, {"FlateDecode", "JPXDecode"}),
         [=] { return flate(smallJpeg2000()); }},
        {"Jpeg2000SmallerThanItsDictionary", 0, gray(16, 16, 8, {"FlateDecode", "JPXDecode"}),
         [=] { return flate(smallJpeg2000()); }},
        {"Jpeg2000BehindDctSizeDiffers", 0, gray(8, 8, 8, {"DCTDecode"}), smallJpeg2000},
        {"DamagedPngBehindDct", 0, gray(8, 8, 8, {"DCTDecode"}), pngWithBadChecksum},

        // Sizes, depths and filters no image can have: dropped, said, and the run goes on.
        {"ZeroWidth", 0, gray(0, 8), constant(samples)},
        {"NegativeHeight", 0, gray(8, -8), constant(samples)},
        {"WidthOf2To31", 0, gray(2147483648LL, 8), constant(samples)},
        {"PixelsPastTheBudget", 0, gray(1000000, 1000, 1), constant(samples)},
        {"BitsPerComponent0", 0, gray(8, 8, 0), constant(samples)},
        {"BitsPerComponent3", 0, gray(8, 8, 3), constant(std::string(24, '\x55'))},
        {"BitsPerComponent32", 0, gray(8, 8, 32), constant(samples)},
        {"UnknownFilter", 0, gray(8, 8, 8, {"FooDecode"}), constant(samples)},
        {"LzwWithABadCode", 0, gray(8, 8, 8, {"LZWDecode"}), constant(std::string(6, '\xff'))},
        {"FlateBomb", 0, gray(8, 8, 8, {"FlateDecode"}), [] { return flate(std::string(size_t(80) << 20, '\0')); }},

        // Coded pictures that are damaged, or refer to data that is not there: the decoders give
        // what they could make of them (the rest of a cut JPEG is gray, a text region without
        // its symbols leaves the page white), as viewers show them.
        {"JpegCutInHalf", 1, gray(64, 64, 8, {"DCTDecode"}), [] { return firstHalf(jpegOf(64, 64)); }},
        {"JpegScanScrambled", 1, gray(64, 64, 8, {"DCTDecode"}), [] {
             std::string j = jpegOf(64, 64);
             std::mt19937 rng(3);
             for (size_t i = j.size() / 2; i + 2 < j.size(); i += 5)
                 j[i] = char(rng());
             return j;
         }},
        {"Jpeg2000CutInHalf", 1, gray(32, 32, 8, {"JPXDecode"}), [] { return firstHalf(jpeg2000Of(32, 32)); }},
        {"Jbig2WithoutItsGlobals", 0, gray(16, 16, 1, {"JBIG2Decode"}),
         [] { return jbig2Page(16, 16, jbig2test::segment(2, jbig2test::ImmediateTextRegion, 1, jbig2test::textRegion(), {0})); }},

        // Large pictures from small files: built once each, at their own size (or refused past
        // the decoded-size cap), never through copies upon copies.
        {"LargeGrayImageFromAFewKilobytes", 1, gray(8000, 8000, 8, twoFlates), zeros(64000000)},
        {"SmallJpegDrawnLarge", 1, gray(4000, 4000, 8, {"DCTDecode"}), jpeg},
        {"Jbig2OfHugePage", 1, gray(20000, 20000, 1, {"JBIG2Decode"}), [] { return jbig2Page(20000, 20000); }},
    };
    for (const Row &row : rows)
        cases.push_back(imageCase(row.name, row.images, row.dictionary, row.bytes));

    cases.push_back(imageCase("IndexedExpandingPastTheCap", 0, gray(20000, 20000, 1, twoFlates, {{"ColorSpace",
        array({name("Indexed"), name("DeviceRGB"), integer(1), string(std::string(6, '\x7f'))})}}), zeros(50000000)));
    cases.push_back(imageCase("CcittOfHugeSize", 0, gray(20000, 20000, 1, {"CCITTFaxDecode"}, {{"DecodeParms",
        dict({{"K", integer(-1)}, {"Columns", integer(20000)}, {"Rows", integer(20000)}})}}), constant(std::string(64, '\0'))));
    // Palettes past their lookup: the indices are clamped, the image is kept.
    cases.push_back(imageCase("IndexedHival100000WithAThreeByteLookup", 1, gray(8, 8, 8, {}, {{"ColorSpace",
        array({name("Indexed"), name("DeviceRGB"), integer(100000), string("\x10\x20\x30")})}}), constant(samples)));
    // An ICC-based space with an impossible /N: its samples are laid out from their length, as
    // for any ICC-based space whose profile is not used (here one gray byte per pixel).
    cases.push_back(imageCase("IccWithN255", 1, [](PdfFixture &pdf) {
        return gray(8, 8, 8, {}, {{"ColorSpace", array({name("ICCBased"), pdf.stream("profile", {{"N", integer(255)}})})}});
    }, constant(samples)));
    cases.push_back(imageCase("DeviceNWith1000Colourants", 0, [](PdfFixture &pdf) {
        std::vector<Obj> names;
        for (int i = 0; i < 1000; ++i)
            names.push_back(name("C" + std::to_string(i)));
        return gray(8, 8, 8, {}, {{"ColorSpace", array({name("DeviceN"), array(names), name("DeviceGray"),
                                                        pdf.stream("{pop}", {{"FunctionType", integer(4)}})})}});
    }, constant(samples)));
    // A stream naming itself as its own globals: the globals are refused, not followed for ever.
    cases.push_back(imagesCase("Jbig2ThatIsItsOwnGlobals", 1, [](HostileSetup &s) {
        PdfFixture pdf;
        Obj image = pdf.stream(jbig2Page(16, 16), gray(16, 16, 1, {"JBIG2Decode"}, {{"Type", name("XObject")}, {"Subtype", name("Image")}}));
        image.getDict().replaceKey("/DecodeParms", dict({{"JBIG2Globals", image}}));
        pdf.page({{"/I", image}});
        pdf.write(s.bad);
    }));

    // Damaged files: noise, a file cut at every tenth, offsets that lead nowhere, lengths that lie.
    cases.push_back(bytesCase("RandomBytes", [] {
        std::mt19937 rng(7);
        std::string bytes = "%PDF-1.7\n";
        while (bytes.size() < 8192)
            bytes += char(rng());
        return bytes;
    }, false));
    // A file cut anywhere has lost its trailer, without which it has no root to walk from.
    for (int tenth = 1; tenth < 10; ++tenth)
        cases.push_back(bytesCase("CutAfter" + std::to_string(tenth) + "Tenths", [tenth] {
            const std::string bytes = sevenByNine(3);
            return bytes.substr(0, bytes.size() * size_t(tenth) / 10);
        }, false));
    cases.push_back(bytesCase("CrossReferenceOffsetsLeadNowhere", [] {
        std::string bytes = sevenByNine();
        for (size_t at = bytes.find(" 00000 n", bytes.rfind("\nxref")); at != std::string::npos; at = bytes.find(" 00000 n", at + 1))
            bytes.replace(at - 10, 10, "0000000001");
        return bytes;
    }, true));
    cases.push_back(bytesCase("LengthTooLarge", [] { return replaced(sevenByNine(), "/Length 63", "/Length 99"); }, true));
    cases.push_back(bytesCase("LengthTooSmall", [] { return replaced(sevenByNine(), "/Length 63", "/Length 10"); }, true));
    cases.push_back(bytesCase("UnknownSecurityHandler", [] {
        return replaced(sevenByNine(), "trailer <<", "trailer << /Encrypt << /Filter /FooSecurity /V 1 /R 2 >>");
    }, false));

    // Trees that loop: a page tree node listing the root among its kids, forms drawing each other.
    cases.push_back(imagesCase("KidsPointBackUp", 1, [](HostileSetup &s) {
        PdfFixture pdf;
        Obj node = pdf.pageTreeNode();
        pdf.page({{"/I", pdf.image(4, 4, 8, name("DeviceGray"), std::string(16, '\x01'))}}, node);
        node.getKey("/Kids").appendItem(pdf.pagesRoot());
        pdf.write(s.bad);
    }));
    cases.push_back(imagesCase("FormsUseEachOther", 1, [](HostileSetup &s) {
        PdfFixture pdf;
        Obj a = pdf.form({{"/I", pdf.image(4, 4, 8, name("DeviceGray"), std::string(16, '\x01'))}});
        Obj b = pdf.form({{"/A", a}});
        a.getDict().getKey("/Resources").getKey("/XObject").replaceKey("/B", b);
        pdf.page({{"/B", b}});
        pdf.write(s.bad);
    }));

    // Soft masks: of the image's size, larger (the picture takes the mask's size), shared, and
    // large on a tiny image.
    cases.push_back(maskCase("SoftMaskOfItsImageSize", 4, 8,
                             [] {
                                 std::string m;
                                 for (int i = 0; i < 16; ++i)
                                     m += char(i * 16);
                                 return m;
                             },
                             {}, [](int i) { return i * 16; }));
    cases.push_back(maskCase("SoftMaskLargerThanItsImage", 1000, 8, constant(std::string(1000000, '\x80')),
                             {"FlateDecode"}, [](int) { return 128; }));
    cases.push_back(maskCase("TwoImagesShareOneSoftMask", 4, 8, constant(std::string(16, '\x40')), {},
                             [](int) { return 64; }, 2));
    // Columns of 1200-pixel blocks of the mask: the blocks' values.
    const auto blockColumns = [] {
        std::string row;
        for (int block = 0; block < 4; ++block)
            row += std::string(1200, char(block * 80));
        return repeated(row, 4800);
    };
    cases.push_back(maskCase("HugeSoftMaskOnATinyImage", 4800, 8, blockColumns, twoFlates,
                             [](int i) { return i % 4 * 80; }));
    // A stencil whose left half is set (removes).
    const auto leftHalf = [] { return repeated(std::string(300, '\xff') + std::string(300, '\0'), 4800); };
    cases.push_back(maskCase("HugeStencilMaskOnATinyImage", 4800, 1, leftHalf, twoFlates,
                             [](int i) { return i % 4 < 2 ? 0 : 255; }));

    // Costs known before decoding: a picture or a tile header too large, a file's tint transforms.
    // Large images are checked from their headers and decoded lengths (--list builds none of them);
    // the export holds 1 GiB of pictures in flight.
    const auto with = [](Dict d, const Dict &entries) {
        for (const auto &[key, value] : entries)
            d[key] = value;
        return d;
    };
    const Obj inverse = dict({{"FunctionType", integer(2)}, {"Domain", numbers({0, 1})}, {"C0", numbers({1})},
                              {"C1", numbers({0})}, {"N", integer(1)}});
    const QString unbuilt = "not decoded (its samples, colour space or coded data cannot be made into a picture)";
    const std::pair<Row, QString> budgetRows[] = {
        {{"SeparationWithCryptInItsChain", 1,
          with(gray(16000, 16000, 8, {"FlateDecode", "Crypt", "FlateDecode"}),
               {{"ColorSpace", array({name("Separation"), name("Spot"), name("DeviceGray"), inverse})},
                {"DecodeParms", array({dict({}), dict({{"Name", name("Identity")}}), dict({})})}}),
          zeros(256000000)}, ""},
        {{"Lab16BitOfHugeSize", 1,
          with(gray(8000, 8000, 16, twoFlates), {{"ColorSpace", array({name("Lab"), dict({{"WhitePoint", numbers({0.95, 1, 1.09})}})})}}),
          zeros(384000000)}, ""},
        {{"Jpeg2000Of49Megapixels", 1, gray(7000, 7000, 8, {"JPXDecode"}), [] { return emptyJ2k(7000, 7000, 3); }}, ""},
        {{"Jpeg2000Of64516Tiles", 0, gray(20000, 20000, 8, {"JPXDecode"}), [] { return emptyJ2k(20000, 79, 1); }}, unbuilt},
        {{"CcittOneColumnOf400MillionRows", 0,
          with(gray(1, 400000000, 1, {"FlateDecode", "CCITTFaxDecode"}),
               {{"DecodeParms", array({dict({}), dict({{"K", integer(-1)}, {"Columns", integer(1)}, {"Rows", integer(400000000)}})})}}),
          [] { return flate(std::string(50000000, '\xff')); }}, "not decoded (its picture would take more than 1024 MB)"},
    };
    for (const auto &[row, said] : budgetRows) {
        cases.push_back(imageCase(row.name, row.images, row.dictionary, row.bytes));
        cases.back().said = said;
    }
    cases.push_back(imagesCase("SixteenDeviceNImagesOfCostlyTints", 0, [](HostileSetup &s) {
        PdfFixture pdf;
        const Obj tint = pdf.stream("{ " + repeated("dup pop ", 4995) + "pop }",
                                    {{"FunctionType", integer(4)}, {"Domain", numbers({0, 1, 0, 1})}, {"Range", numbers({0, 1})}});
        const Obj space = array({name("DeviceN"), array({name("A"), name("B")}), name("DeviceGray"), tint});
        std::string samples; // every pixel another colour
        for (int i = 0; i < 400 * 400; ++i)
            samples += std::string{char(i >> 16), char(i >> 8), char(i), char(i >> 3)};
        Dict xobjects;
        for (int i = 0; i < 16; ++i)
            xobjects["/I" + std::to_string(i)] = pdf.image(400, 400, 16, space, samples, {"FlateDecode"});
        pdf.page(xobjects);
        pdf.write(s.bad);
    }));
    cases.back().said = "not decoded (tint program failed)";
    cases.push_back(imageCase("HeicOf36Megapixels", 1, with(gray(6000, 6000, 8, {"FlateDecode"}), {{"ColorSpace", name("DeviceRGB")}}),
                              [] {
                                  std::string rgb(size_t(6000) * 6000 * 3, '\0');
                                  for (size_t i = 0; i < rgb.size(); ++i)
                                      rgb[i] = char(i % 18000 / 71 + i / 18000 % 97 * (i % 3));
                                  return flate(rgb);
                              }));
    cases.back().extraArgs = {"--format", "HEIC"};
    cases.back().make = [make = cases.back().make](HostileSetup &s) { make(s), s.goodNamedByDefault = false; };
    cases.push_back(imagesCase("TwoHugeImagesWithSoftMasks", 2, [=](HostileSetup &s) {
        PdfFixture pdf;
        const std::string rgb(size_t(12000) * 12000 * 3, '\x40'), mask(size_t(12000) * 12000, '\x80');
        Dict xobjects;
        for (const char *key : {"/A", "/B"})
            xobjects[key] = pdf.image(12000, 12000, 8, name("DeviceRGB"), rgb, twoFlates,
                                      {{"SMask", pdf.image(12000, 12000, 8, name("DeviceGray"), mask, twoFlates)}});
        pdf.page(xobjects);
        pdf.write(s.bad);
    }));

    // With all images: a page tree 30,000 levels deep, 50,000 inline images on one page.
    cases.push_back(rawCase("DeepPageTreeWithAnInlineImage", 1,
                            [] { return rawPage("BI /W 2 /H 1 /BPC 8 /CS /G /F /AHx ID 40C0> EI", "", 30000); }, {"--all-images"}));
    cases.push_back(rawCase("FiftyThousandInlineImages", 50000, [] {
        std::string content;
        for (int i = 0; i < 50000; ++i)
            content += "q 9 0 0 9 0 0 cm BI /W 2 /H 1 /BPC 8 /CS /G ID " + std::string{char(i), char(i >> 8)} + " EI Q\n";
        return rawPage(content, "");
    }, {"--all-images"}));
    // Many names of one image; a million references to objects that are not there.
    cases.push_back(rawCase("ManyNamesOfOneImage", 1, [] {
        std::string names;
        for (int i = 0; i < 300000; ++i)
            names += "/I" + std::to_string(i) + " 4 0 R ";
        return rawPage("", "/XObject << " + names + ">>", 0, {{4, kGrayImage}});
    }));
    // A resource dictionary of a million entries is left unread (the library would take half a
    // gigabyte for it), and says so.
    HostileCase millionEntries = rawCase("MillionXObjectEntries", 0, [] {
        std::string names;
        for (int i = 0; i < 1000000; ++i)
            names += "/I" + std::to_string(i) + " 4 0 R ";
        return rawPage("", "/XObject << " + names + ">>", 0, {{4, kGrayImage}});
    });
    millionEntries.said = "object 10 0: not decoded (an object of more than 8 MB of text, left unread)";
    cases.push_back(millionEntries);
    cases.push_back(rawCase("MillionDanglingReferences", 1, [] {
        std::string references;
        for (int i = 0; i < 1000000; ++i)
            references += std::to_string(100 + i) + " 0 R ";
        return rawPage("q 9 0 0 9 0 0 cm /I Do Q", "/XObject << /I 4 0 R >>", 0, {{4, kGrayImage}, {5, "[" + references + "]"}});
    }, {"--all-images"}));
    // A table that points the image's number at an older object and the page nowhere: the library
    // rebuilds it from the objects it finds, and the picture is built from the image the walk found.
    HostileCase repaired = rawCase("RepairedTableAndAnOlderObject", 1, [] {
        std::string samples;
        for (int i = 0; i < 600 * 600; ++i)
            samples += char(i % 600 % 251);
        return rawPdf({{3, "<< /Older true >>"}, {1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>"},
                       {4, "<< /Type /Page /Resources << /XObject << /I 3 0 R >> >> >>"},
                       {3, streamObject("/Subtype /Image /Width 600 /Height 600 /BitsPerComponent 8 /ColorSpace /DeviceGray", samples)}}, 4);
    });
    repaired.check = [](const HostileSetup &s) {
        const QImage image(s.out + "/bad_000.png");
        ASSERT_EQ(image.size(), QSize(600, 600));
        for (int i : {0, 250, 599 * 601})
            EXPECT_EQ(qGray(image.pixel(i % 600, i / 600)), i % 600 % 251) << i;
    };
    cases.push_back(repaired);

    cases.push_back(linkCase("LinkToAFileOutside", true));
    cases.push_back(linkCase("DanglingLinkOutside", false));

    // Output names and command line set-ups: a pattern that would leave the folder, a repeated
    // --out, names of dots, of 255 bytes and not in UTF-8 (given as bytes through a shell).
    cases.push_back(refusedCase("PatternClimbsOut", {"--pattern", "../escaped_###"}));
    cases.push_back(refusedCase("AbsolutePattern", {"--pattern", "/tmp/zembrix-escape-###"}));
    cases.push_back(refusedCase("OutGivenTwice", {"--out", "elsewhere"}));
    cases.push_back(nameCase("DotsFileName", "...pdf", ".._000.png"));
    cases.push_back(nameCase("LongFileName", QString(251, u'L') + ".pdf", QString(232, u'L') + u'\u2026' + QString(12, u'L') + "_000.png"));
    cases.push_back(imagesCase("Latin1FileName", 1, [](HostileSetup &s) { writeGrayImage(s.bad); }, [](const HostileSetup &s) {
        ASSERT_EQ(::rename(QFile::encodeName(s.bad).constData(), (QFile::encodeName(s.root) + "/caf\xe9.pdf").constData()), 0);
        const ProcessResult r = runProcess("/bin/sh", {"-c", R"sh(exec "$0" --extract "$1/$(printf 'caf\351.pdf')" --out "$1/out/latin")sh",
                                                       ZEMBRIX_BINARY, s.root});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(QImage(s.out + "/latin/caf\ufffd_000.png").pixel(0, 0), qRgb(1, 1, 1));
    }));
    // Two runs into one folder at once (the first stopped while it holds it): every image twice, the
    // second run's under " (2)" names. An interrupted run leaves no placeholder or temporary file.
    cases.push_back(imagesCase("TwoRunsAtOnce", 1, [](HostileSetup &s) { writeGrayImage(s.bad); }, [](const HostileSetup &s) {
        writeGrayImage(s.root + "/many.pdf", name("DeviceGray"), 1000);
        QProcess first;
        first.start(ZEMBRIX_BINARY, {"--extract", s.root + "/many.pdf", "--out", s.out + "/twice"});
        ASSERT_TRUE(waitUntil([&] { return QDir(s.out + "/twice").entryList(QDir::Files).size() > 1; }, kCaseTimeLimitMs));
        ::kill(pid_t(first.processId()), SIGSTOP);
        EXPECT_EQ(zembrix({"--extract", s.root + "/many.pdf", "--out", s.out + "/twice"}).status, 0);
        ::kill(pid_t(first.processId()), SIGCONT);
        EXPECT_TRUE(first.waitForFinished(kCaseTimeLimitMs) && first.exitCode() == 0);
        EXPECT_EQ(QDir(s.out + "/twice").entryList(QDir::Files).size(), 2000);
        EXPECT_TRUE(QFileInfo(s.out + "/twice/many_999 (2).png").isFile());
        first.start(ZEMBRIX_BINARY, {"--extract", s.root + "/many.pdf", "--out", s.out + "/stopped"});
        ASSERT_TRUE(waitUntil([&] { return QDir(s.out + "/stopped").entryList(QDir::Files).size() > 1; }, kCaseTimeLimitMs));
        ::kill(pid_t(first.processId()), SIGINT);
        EXPECT_TRUE(first.waitForFinished(kCaseTimeLimitMs) && first.readAllStandardError().contains("zembrix: interrupted: "));
        for (const QFileInfo &file : QDir(s.out + "/stopped").entryInfoList(QDir::Files | QDir::Hidden))
            EXPECT_TRUE(file.size() > 0 && !file.fileName().startsWith('.')) << file.fileName().toStdString();
    }));
    return cases;
}
