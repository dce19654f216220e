#include "HostileCases.h"

#include "CraftedPdf.h"
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

#include <csignal>

using namespace fixture;

namespace {

using Bytes = std::function<std::string()>;

QRgb goodPixel(int index, int x, int y)
{
    return qRgb((x * 40 + index * 70) % 256, (y * 50 + index * 30) % 256, (x * y * 9 + index) % 256);
}

int goodWidth(int index)
{
    return 5 + index;
}
constexpr int kGoodHeight = 4;

// An image dictionary of a gray image; one filter is named, several are listed; `entries` added
// or replacing.
Dict gray(long long width, long long height, long long bpc = 8, const std::vector<std::string> &filters = {},
          const Dict &entries = {})
{
    Dict d{{"Width", integer(width)}, {"Height", integer(height)}, {"BitsPerComponent", integer(bpc)}, {"ColorSpace", name("DeviceGray")}};
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
    return imageCase(
        std::move(name), images, [dictionary](PdfFixture &) { return dictionary; }, std::move(bytes));
}

// A case whose hostile file is exactly these bytes: a file that does not open fails both runs.
HostileCase bytesCase(std::string name, Bytes bytes, bool opens)
{
    return {std::move(name), [bytes](HostileSetup &s) { ASSERT_TRUE(writeFile(s.bad, bytes())); }, {}, opens ? 0 : 1, opens ? 1 : 0, opens ? 0 : 1, opens ? 1 : 0, nullptr};
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
    c.append("\xff\x52\x00\x0c\x00\x00\x00\x01\x00\x00\x04\x04\x00\x01", 14);             // COD: no levels, 5-3
    c.append("\xff\x5c\x00\x04\x40\x40", 6);                                              // QCD: no quantisation
    c.append("\xff\x90\x00\x0a\x00\x00\x00\x00\x00\x0f\x00\x01\xff\x93\x00\xff\xd9", 17); // tile 0, empty
    return c.toStdString();
}

std::string firstHalf(const std::string &bytes)
{
    return bytes.substr(0, bytes.size() / 2);
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
    return png.toStdString();
}

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
    // Files the library reads alone are read in-process by the PDF tests (HostileInputTest); here
    // are the ones whose libraries might speak, and what only the program does.
    const auto zeros = [](size_t n) { return [n] { return flate(flate(std::string(n, '\0'))); }; };
    const std::vector<std::string> twoFlates = {"FlateDecode", "FlateDecode"};
    struct Row {
        const char *name;
        int images;
        Dict dictionary;
        Bytes bytes;
    };
    const Row rows[] = {
        // A damaged PNG behind DCTDecode: Qt's PNG reader complains, and the complaint is not
        // passed on. (Images no library call can build, coded ones included, are refused in the
        // image construction tests.)
        {"DamagedPngBehindDct", 0, gray(8, 8, 8, {"DCTDecode"}), pngWithBadChecksum},
        // Coded pictures that are damaged, or refer to data that is not there: the decoders give
        // what they could make of them (the rest of a cut JPEG is gray, a text region without
        // its symbols leaves the page white), as viewers show them, and keep quiet.
        {"JpegCutInHalf", 1, gray(64, 64, 8, {"DCTDecode"}), [] { return firstHalf(jpegOf(64, 64)); }},
        {"Jpeg2000CutInHalf", 1, gray(32, 32, 8, {"JPXDecode"}), [] { return firstHalf(jpeg2000Of(32, 32)); }},
        {"Jbig2WithoutItsGlobals", 0, gray(16, 16, 1, {"JBIG2Decode"}),
         [] { return jbig2Page(16, 16, jbig2test::segment(2, jbig2test::ImmediateTextRegion, 1, jbig2test::textRegion(), {0})); }},
    };
    std::vector<HostileCase> cases;
    for (const Row &row : rows)
        cases.push_back(imageCase(row.name, row.images, row.dictionary, row.bytes));

    // Damaged files the library repairs, and says nothing of: offsets that lead nowhere, a length
    // too small.
    cases.push_back(bytesCase(
        "CrossReferenceOffsetsLeadNowhere", [] {
            std::string bytes = sevenByNine();
            for (size_t at = bytes.find(" 00000 n", bytes.rfind("\nxref")); at != std::string::npos; at = bytes.find(" 00000 n", at + 1))
                bytes.replace(at - 10, 10, "0000000001");
            return bytes;
        },
        true));
    cases.push_back(bytesCase(
        "LengthTooSmall", [] { return replaced(sevenByNine(), "/Length 63", "/Length 10"); }, true));

    // Costs known before decoding: a picture or a tile header too large, a file's tint transforms.
    // Large images are checked from their headers and decoded lengths (--list builds none of them);
    // the export holds 1 GiB of pictures in flight.
    const auto with = [](Dict d, const Dict &entries) {
        for (const auto &[key, value] : entries)
            d[key] = value;
        return d;
    };
    const Obj inverse = dict({{"FunctionType", integer(2)}, {"Domain", numbers({0, 1})}, {"C0", numbers({1})}, {"C1", numbers({0})}, {"N", integer(1)}});
    const QString unbuilt = "not decoded (its samples, colour space or coded data cannot be made into a picture)";
    const std::pair<Row, QString> budgetRows[] = {
        {{"SeparationWithCryptInItsChain", 1,
          with(gray(16000, 16000, 8, {"FlateDecode", "Crypt", "FlateDecode"}),
               {{"ColorSpace", array({name("Separation"), name("Spot"), name("DeviceGray"), inverse})},
                {"DecodeParms", array({dict({}), dict({{"Name", name("Identity")}}), dict({})})}}),
          zeros(256000000)},
         ""},
        {{"Lab16BitOfHugeSize", 1,
          with(gray(8000, 8000, 16, twoFlates), {{"ColorSpace", array({name("Lab"), dict({{"WhitePoint", numbers({0.95, 1, 1.09})}})})}}),
          zeros(384000000)},
         ""},
        {{"Jpeg2000Of49Megapixels", 1, gray(7000, 7000, 8, {"JPXDecode"}), [] { return emptyJ2k(7000, 7000, 3); }}, ""},
        {{"Jpeg2000Of64516Tiles", 0, gray(20000, 20000, 8, {"JPXDecode"}), [] { return emptyJ2k(20000, 79, 1); }}, unbuilt},
        {{"CcittOneColumnOf400MillionRows", 0,
          with(gray(1, 400000000, 1, {"FlateDecode", "CCITTFaxDecode"}),
               {{"DecodeParms", array({dict({}), dict({{"K", integer(-1)}, {"Columns", integer(1)}, {"Rows", integer(400000000)}})})}}),
          [] { return flate(std::string(50000000, '\xff')); }},
         "not decoded (its picture would take more than 1024 MB)"},
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

    // With all images: a page tree 30,000 levels deep (50,000 inline images on one page are
    // measured by hostile_memory_bench).
    cases.push_back(rawCase("DeepPageTreeWithAnInlineImage", 1,
                            [] { return rawPage("BI /W 2 /H 1 /BPC 8 /CS /G /F /AHx ID 40C0> EI", "", 30000); }, {"--all-images"}));
    // A resource dictionary of a million entries is left unread (the library would take half a
    // gigabyte for it), and says so.
    HostileCase millionEntries = rawCase("MillionXObjectEntries", 0, [] {
        std::string names;
        for (int i = 0; i < 1000000; ++i)
            names += "/I" + std::to_string(i) + " 4 0 R ";
        return rawPage("", "/XObject << " + names + ">>", 0, {{4, grayImageObject()}});
    });
    millionEntries.said = "object 10 0: not decoded (an object of more than 8 MB of text, left unread)";
    cases.push_back(millionEntries);
    // A million references to objects that are not there.
    cases.push_back(rawCase("MillionDanglingReferences", 1, [] {
        std::string references;
        for (int i = 0; i < 1000000; ++i)
            references += std::to_string(100 + i) + " 0 R ";
        return rawPage("q 9 0 0 9 0 0 cm /I Do Q", "/XObject << /I 4 0 R >>", 0, {{4, grayImageObject()}, {5, "[" + references + "]"}});
    },
                            {"--all-images"}));
    cases.push_back(linkCase("LinkToAFileOutside", true));
    cases.push_back(linkCase("DanglingLinkOutside", false));

    // A file name not in UTF-8, given as bytes through a shell. (Patterns that would leave the
    // folder are usage errors, and names of dots or too long for a file are claimed in the folder:
    // the command line's and the export jobs' tests.)
    cases.push_back(imagesCase(
        "Latin1FileName", 1, [](HostileSetup &s) { writeGrayImage(s.bad); }, [](const HostileSetup &s) {
        ASSERT_EQ(::rename(QFile::encodeName(s.bad).constData(), (QFile::encodeName(s.root) + "/caf\xe9.pdf").constData()), 0);
        const ProcessResult r = runProcess("/bin/sh", {"-c", R"sh(exec "$0" --extract "$1/$(printf 'caf\351.pdf')" --out "$1/out/latin")sh",
                                                       ZEMBRIX_BINARY, s.root});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(QImage(s.out + "/latin/caf\ufffd_000.png").pixel(0, 0), qRgb(1, 1, 1)); }));
    // Two runs into one folder at once (the first stopped while it holds it): every image twice, the
    // second run's under " (2)" names. An interrupted run leaves no placeholder or temporary file.
    cases.push_back(imagesCase(
        "TwoRunsAtOnce", 1, [](HostileSetup &s) { writeGrayImage(s.bad); }, [](const HostileSetup &s) {
        writeGrayImage(s.root + "/many.pdf", name("DeviceGray"), 1000);
        QProcess first;
        first.start(ZEMBRIX_BINARY, {"--extract", s.root + "/many.pdf", "--out", s.out + "/twice"});
        ASSERT_TRUE(waitUntil([&] { return QDir(s.out + "/twice").entryList(QDir::Files).size() > 1; }, kCaseTimeLimitMs));
        ::kill(pid_t(first.processId()), SIGSTOP);
        EXPECT_EQ(runZembrix({"--extract", s.root + "/many.pdf", "--out", s.out + "/twice"}).status, 0);
        ::kill(pid_t(first.processId()), SIGCONT);
        EXPECT_TRUE(first.waitForFinished(kCaseTimeLimitMs) && first.exitCode() == 0);
        EXPECT_EQ(QDir(s.out + "/twice").entryList(QDir::Files).size(), 2000);
        EXPECT_TRUE(QFileInfo(s.out + "/twice/many_999 (2).png").isFile());
        first.start(ZEMBRIX_BINARY, {"--extract", s.root + "/many.pdf", "--out", s.out + "/stopped"});
        ASSERT_TRUE(waitUntil([&] { return QDir(s.out + "/stopped").entryList(QDir::Files).size() > 1; }, kCaseTimeLimitMs));
        ::kill(pid_t(first.processId()), SIGINT);
        EXPECT_TRUE(first.waitForFinished(kCaseTimeLimitMs) && first.readAllStandardError().contains("zembrix: interrupted: "));
        for (const QFileInfo &file : QDir(s.out + "/stopped").entryInfoList(QDir::Files | QDir::Hidden))
            EXPECT_TRUE(file.size() > 0 && !file.fileName().startsWith('.')) << file.fileName().toStdString(); }));
    return cases;
}
