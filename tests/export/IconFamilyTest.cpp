#include "ExportTestImages.h"

#include "export/IconFamily.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <map>

using namespace zembrix;
using namespace exporttest;

namespace {

// Collects the lines the icon code logs while it is alive.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    const QStringList &lines() const { return s_lines; }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message) { s_lines << message; }
    static inline QStringList s_lines;
    QtMessageHandler m_previous;
};

const QString kNullData = QStringLiteral("Null data returned to setIconFamilyElement:fromBitmapImageRep:");

// left half transparent, right half opaque in `colour`.
QImage halfTransparent(int size, QRgb colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            image.setPixel(x, y, x < size / 2 ? qRgba(0, 0, 0, 0) : colour);
    return image;
}

std::vector<IcnsElement> familyElements(const QImage &image)
{
    LogCapture log; // the expected 'icl8' and 'ics8' lines
    const std::optional<IconFamily> family = IconFamily::iconFamilyWithThumbnailsOfImage(image);
    EXPECT_TRUE(family);
    if (!family)
        return {};
    const auto elements = parseIcns(family->data());
    EXPECT_TRUE(elements);
    return elements.value_or(std::vector<IcnsElement>{});
}

BitmapImageRep handMadeRep(int size, int bitsPerSample, int samplesPerPixel, int bitsPerPixel, bool planar = false)
{
    BitmapImageRep rep;
    rep.pixelsWide = size;
    rep.pixelsHigh = size;
    rep.bitsPerSample = bitsPerSample;
    rep.samplesPerPixel = samplesPerPixel;
    rep.bitsPerPixel = bitsPerPixel;
    rep.planar = planar;
    rep.bytesPerRow = (qsizetype(size) * bitsPerPixel + 7) / 8;
    rep.bitmapData = QByteArray(rep.bytesPerRow * size, '\x40');
    return rep;
}

} // namespace

TEST(IconFamily, FamilyHoldsTheTenElementsInOrder)
{
    LogCapture log;
    const std::optional<IconFamily> family = IconFamily::iconFamilyWithThumbnailsOfImage(gradientImage(300, 200));
    ASSERT_TRUE(family);
    const auto parsed = parseIcns(family->data());
    ASSERT_TRUE(parsed);
    const std::vector<IcnsElement> &elements = *parsed;
    QList<QByteArray> types;
    for (const IcnsElement &element : elements)
        types << element.type;
    EXPECT_EQ(types, (QList<QByteArray>{"ic09", "ic08", "it32", "t8mk", "il32", "l8mk", "ICN#", "is32", "s8mk",
                                        "ics#"}));
    // 'icl8' and 'ics8' are attempted, and each attempt logs one line.
    EXPECT_EQ(log.lines(), (QStringList{kNullData, kNullData}));

    const std::map<QByteArray, qsizetype> fixedSizes{
        {"t8mk", 128 * 128}, {"l8mk", 32 * 32}, {"s8mk", 16 * 16}, {"ICN#", 256}, {"ics#", 64}};
    for (const IcnsElement &element : elements) {
        SCOPED_TRACE(element.type.toStdString());
        if (auto it = fixedSizes.find(element.type); it != fixedSizes.end()) {
            EXPECT_EQ(element.data.size(), it->second);
        }
        if (element.type == "ICN#" || element.type == "ics#") {
            const qsizetype half = element.data.size() / 2;
            EXPECT_EQ(element.data.left(half), element.data.mid(half)); // mask equals icon
        }
        if (element.type == "ic09" || element.type == "ic08") {
            const QImage png = QImage::fromData(element.data, "png");
            const int edge = element.type == "ic09" ? 512 : 256;
            EXPECT_EQ(png.size(), QSize(edge, edge));
        }
        if (element.type == "it32") {
            EXPECT_EQ(element.data.left(4), QByteArray(4, '\0'));
            EXPECT_FALSE(imageFromPackedRgb(element.data.mid(4), findElement(elements, "t8mk")->data, 128).isNull());
        }
    }
    EXPECT_FALSE(imageFromPackedRgb(findElement(elements, "il32")->data, findElement(elements, "l8mk")->data, 32)
                     .isNull());
    EXPECT_FALSE(imageFromPackedRgb(findElement(elements, "is32")->data, findElement(elements, "s8mk")->data, 16)
                     .isNull());
}

TEST(IconFamily, ElementContentsOfAHalfTransparentPicture)
{
    struct Row {
        const char *label;
        QRgb colour;
        bool oneBitSet; // the 1-bit icon tests the red byte
    };
    const Row rows[] = {
        {"orange", qRgba(255, 128, 0, 255), true},
        {"opaque blue has no red, so no 1-bit shape", qRgba(0, 0, 255, 255), false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        const std::vector<IcnsElement> elements = familyElements(halfTransparent(512, row.colour));
        ASSERT_EQ(elements.size(), 10u);

        const QByteArray icn = findElement(elements, "ICN#")->data;
        for (int y = 0; y < 32; ++y) {
            const char set = row.oneBitSet ? char(0xFF) : char(0);
            EXPECT_EQ(icn.mid(y * 4, 4), QByteArray::fromRawData("\0\0", 2) + QByteArray(2, set)) << y;
        }
        const QByteArray ics = findElement(elements, "ics#")->data;
        for (int y = 0; y < 16; ++y) {
            EXPECT_EQ(quint8(ics[y * 2]), 0);
            EXPECT_EQ(quint8(ics[y * 2 + 1]), row.oneBitSet ? 0xFF : 0);
        }

        const struct {
            const char *rgb;
            const char *mask;
            int edge;
        } packed[] = {{"it32", "t8mk", 128}, {"il32", "l8mk", 32}, {"is32", "s8mk", 16}};
        for (const auto &p : packed) {
            SCOPED_TRACE(p.rgb);
            QByteArray rgb = findElement(elements, p.rgb)->data;
            if (p.edge == 128)
                rgb = rgb.mid(4);
            const QImage icon = imageFromPackedRgb(rgb, findElement(elements, p.mask)->data, p.edge);
            ASSERT_FALSE(icon.isNull());
            for (int y = 0; y < p.edge; y += 5) {
                for (int x = 0; x < p.edge; ++x) {
                    // Transparent pixels are ARGB (0, 0, 0, 0); opaque ones keep their colour.
                    const QRgb expected = x < p.edge / 2 ? qRgba(0, 0, 0, 0) : row.colour;
                    ASSERT_EQ(icon.pixel(x, y), expected) << x << "," << y;
                }
            }
        }

        const QImage ic09 = QImage::fromData(findElement(elements, "ic09")->data, "png")
                                .convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(ic09.pixel(10, 10), qRgba(0, 0, 0, 0));
        EXPECT_EQ(ic09.pixel(300, 10), row.colour);
    }
}

TEST(IconFamily, WidePictureIsCentredVertically)
{
    QImage wide(1000, 500, QImage::Format_RGB32);
    wide.fill(qRgb(30, 160, 90));
    const std::vector<IcnsElement> elements = familyElements(wide);
    const QImage ic09 = QImage::fromData(findElement(elements, "ic09")->data, "png").convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(ic09.size(), QSize(512, 512));
    for (int y = 0; y < 512; ++y) {
        const int expectedAlpha = (y >= 128 && y <= 383) ? 255 : 0;
        for (int x : {0, 1, 255, 510, 511})
            ASSERT_EQ(qAlpha(ic09.pixel(x, y)), expectedAlpha) << x << "," << y;
    }
    // The 8-bit masks of the smaller sizes follow the same band.
    const QByteArray t8mk = findElement(elements, "t8mk")->data;
    EXPECT_EQ(quint8(t8mk[10 * 128 + 64]), 0);
    EXPECT_EQ(quint8(t8mk[64 * 128 + 64]), 255);
    EXPECT_EQ(quint8(t8mk[120 * 128 + 64]), 0);
}

TEST(IconFamily, ResampleFitsTheLongerSide)
{
    QImage source(300, 100, QImage::Format_RGB32);
    source.fill(Qt::white);
    // 100 x 16 / 300 + 0.5 = 5.83, so 5 rows, starting at (16 - 5) / 2 = 5.
    const QImage icon = IconFamily::resampleImage(source, 16, ImageInterpolation::High);
    ASSERT_EQ(icon.size(), QSize(16, 16));
    const QImage argb = icon.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(qAlpha(argb.pixel(8, y)), (y >= 5 && y < 10) ? 255 : 0) << y;

    QImage tall(10, 40, QImage::Format_RGB32);
    tall.fill(Qt::white);
    const QImage tallIcon = IconFamily::resampleImage(tall, 16, ImageInterpolation::None)
                                .convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(qAlpha(tallIcon.pixel(x, 8)), (x >= 6 && x < 10) ? 255 : 0) << x;

    EXPECT_TRUE(IconFamily::resampleImage(QImage(), 16, ImageInterpolation::High).isNull());
    EXPECT_TRUE(IconFamily::resampleImage(source, 0, ImageInterpolation::High).isNull());
}

TEST(IconFamily, ExtractionRules)
{
    // 2 x 2 premultiplied RGBA: transparent, half-transparent red, opaque green, opaque black.
    QImage rgba(2, 2, QImage::Format_RGBA8888_Premultiplied);
    rgba.setPixel(0, 0, qRgba(0, 0, 0, 0));
    rgba.setPixel(1, 0, qRgba(128, 0, 0, 128));
    rgba.setPixel(0, 1, qRgba(0, 255, 0, 255));
    rgba.setPixel(1, 1, qRgba(0, 0, 0, 255));
    const BitmapImageRep rep = BitmapImageRep::fromImage(rgba);
    ASSERT_EQ(rep.bitsPerPixel, 32);
    ASSERT_TRUE(rep.alphaPremultiplied);

    EXPECT_EQ(IconFamily::get32BitDataFromBitmapImageRep(rep, 2),
              QByteArray::fromHex("00000000" "80ff0000" "ff00ff00" "ff000000"));
    EXPECT_EQ(IconFamily::get8BitMaskFromBitmapImageRep(rep, 2), QByteArray::fromHex("0080ffff"));
    // Bits are set by the first (red) byte: only the half-transparent red pixel.
    EXPECT_EQ(IconFamily::get1BitMaskFromBitmapImageRep(rep, 2), QByteArray::fromHex("40004000"));

    QImage rgbSquare(2, 2, QImage::Format_RGB888);
    rgbSquare.setPixel(0, 0, qRgb(1, 2, 3));
    rgbSquare.setPixel(1, 0, qRgb(0, 0, 0));
    rgbSquare.setPixel(0, 1, qRgb(4, 5, 6));
    rgbSquare.setPixel(1, 1, qRgb(7, 8, 9));
    const BitmapImageRep rgbRep = BitmapImageRep::fromImage(rgbSquare);
    ASSERT_EQ(rgbRep.bitsPerPixel, 24);
    EXPECT_EQ(IconFamily::get32BitDataFromBitmapImageRep(rgbRep, 2),
              QByteArray::fromHex("ff010203" "ff000000" "ff040506" "ff070809"));
    EXPECT_EQ(IconFamily::get8BitMaskFromBitmapImageRep(rgbRep, 2), QByteArray::fromHex("ffffffff"));
    EXPECT_EQ(IconFamily::get1BitMaskFromBitmapImageRep(rgbRep, 2), QByteArray::fromHex("c0c0c0c0"));

    QImage gray(2, 2, QImage::Format_Grayscale8);
    gray.scanLine(0)[0] = 0;
    gray.scanLine(0)[1] = 7;
    gray.scanLine(1)[0] = 200;
    gray.scanLine(1)[1] = 0;
    const BitmapImageRep grayRep = BitmapImageRep::fromImage(gray);
    EXPECT_EQ(IconFamily::get8BitMaskFromBitmapImageRep(grayRep, 2), QByteArray::fromHex("0007c800"));
    EXPECT_EQ(IconFamily::get1BitMaskFromBitmapImageRep(grayRep, 2), QByteArray::fromHex("40804080"));

    QImage mono(16, 16, QImage::Format_Mono);
    mono.fill(0);
    for (int y = 0; y < 16; ++y)
        mono.setPixel(y, y, 1);
    const QByteArray monoBits = IconFamily::get1BitMaskFromBitmapImageRep(BitmapImageRep::fromImage(mono), 16);
    ASSERT_EQ(monoBits.size(), 64);
    EXPECT_EQ(quint8(monoBits[0]), 0x80);
    EXPECT_EQ(quint8(monoBits[1]), 0x00);
    EXPECT_EQ(quint8(monoBits[2 * 9 + 1]), 0x40);
    EXPECT_EQ(monoBits.left(32), monoBits.mid(32));

    // Wrong size: none, and nothing logged.
    LogCapture log;
    EXPECT_TRUE(IconFamily::get32BitDataFromBitmapImageRep(rep, 4).isEmpty());
    EXPECT_TRUE(IconFamily::get8BitMaskFromBitmapImageRep(rep, 1).isEmpty());
    EXPECT_TRUE(IconFamily::get1BitMaskFromBitmapImageRep(rep, 3).isEmpty());
    EXPECT_TRUE(IconFamily::get8BitDataFromBitmapImageRep(rep, 2).isEmpty());
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST(IconFamily, ExtractionRefusalsAreLogged)
{
    struct Row {
        const char *label;
        BitmapImageRep rep;
        QByteArray (*extract)(const BitmapImageRep &, int);
        const char *message;
    };
    const Row rows[] = {
        {"32-bit from planar", handMadeRep(4, 8, 4, 32, true), &IconFamily::get32BitDataFromBitmapImageRep,
         "get32BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to isPlanar == YES"},
        {"32-bit from 16-bit samples", BitmapImageRep::fromImage(QImage(4, 4, QImage::Format_RGBA64)),
         &IconFamily::get32BitDataFromBitmapImageRep,
         "get32BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to bitsPerSample == 16"},
        {"32-bit from gray", handMadeRep(4, 8, 1, 8), &IconFamily::get32BitDataFromBitmapImageRep,
         "get32BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to samplesPerPixel == 1, "
         "bitsPerPixel == 8"},
        {"32-bit from padded RGB", handMadeRep(4, 8, 3, 32), &IconFamily::get32BitDataFromBitmapImageRep,
         "get32BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to samplesPerPixel == 3, "
         "bitsPerPixel == 32"},
        {"mask from planar", handMadeRep(4, 8, 4, 32, true), &IconFamily::get8BitMaskFromBitmapImageRep,
         "get8BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to isPlanar == YES"},
        {"mask from 16-bit gray", BitmapImageRep::fromImage(QImage(4, 4, QImage::Format_Grayscale16)),
         &IconFamily::get8BitMaskFromBitmapImageRep,
         "get8BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to bitsPerSample == 16"},
        {"mask from gray plus alpha", handMadeRep(4, 8, 2, 16), &IconFamily::get8BitMaskFromBitmapImageRep,
         "get8BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to samplesPerPixel == 2, "
         "bitsPerPixel == 16"},
        {"1-bit from planar", handMadeRep(8, 8, 4, 32, true), &IconFamily::get1BitMaskFromBitmapImageRep,
         "get1BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to isPlanar == YES"},
        {"1-bit from 16-bit", BitmapImageRep::fromImage(QImage(8, 8, QImage::Format_RGBA64)),
         &IconFamily::get1BitMaskFromBitmapImageRep,
         "get1BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to bitsPerPixel == 64, "
         "samplesPerPixel== 4, bitsPerSample == 16"},
        {"1-bit from 2-bit", handMadeRep(8, 2, 1, 2), &IconFamily::get1BitMaskFromBitmapImageRep,
         "get1BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to bitsPerPixel == 2, "
         "samplesPerPixel== 1, bitsPerSample == 2"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        LogCapture log;
        EXPECT_TRUE(row.extract(row.rep, row.rep.pixelsWide).isEmpty());
        EXPECT_EQ(log.lines(), QStringList{QString::fromLatin1(row.message)});
    }

    // A rep whose data is shorter than its rows claim is refused quietly.
    BitmapImageRep truncated = handMadeRep(4, 8, 4, 32);
    truncated.bitmapData.chop(1);
    LogCapture log;
    EXPECT_TRUE(IconFamily::get32BitDataFromBitmapImageRep(truncated, 4).isEmpty());
}

TEST(IconFamily, SettingElements)
{
    const BitmapImageRep rep32 = BitmapImageRep::fromImage(halfTransparent(32, qRgb(255, 0, 0)));
    IconFamily family;
    {
        LogCapture log;
        EXPECT_TRUE(family.setIconFamilyElement(IconType::il32, rep32));
        EXPECT_TRUE(family.setIconFamilyElement(IconType::ICNhash, rep32));
        EXPECT_FALSE(family.setIconFamilyElement(icnsType("abcd"), rep32)); // not a builder type: silent
        EXPECT_FALSE(family.setIconFamilyElement(IconType::ih32, rep32));   // nor is 48 x 48
        EXPECT_TRUE(log.lines().isEmpty());
    }
    {
        LogCapture log;
        EXPECT_FALSE(family.setIconFamilyElement(IconType::icl8, rep32));
        EXPECT_FALSE(family.setIconFamilyElement(IconType::is32, rep32)); // 32 pixels where 16 are required
        EXPECT_EQ(log.lines(), (QStringList{kNullData, kNullData}));
    }
    // Setting a type again replaces the element in place.
    EXPECT_TRUE(family.setIconFamilyElement(IconType::il32, BitmapImageRep::fromImage(halfTransparent(32, qRgb(0, 9, 0)))));
    const auto elements = parseIcns(family.data());
    ASSERT_TRUE(elements);
    ASSERT_EQ(elements->size(), 2u);
    EXPECT_EQ((*elements)[0].type, "il32");
    EXPECT_EQ((*elements)[1].type, "ICN#");
    qsizetype offset = 0;
    const QByteArray red = unpackIcnsChannel((*elements)[0].data, offset, 32 * 32); // red channel first
    EXPECT_EQ(red, QByteArray(32 * 32, '\0'));

    // The family service checks the data against the element type.
    EXPECT_EQ(family.setIconFamilyData(IconType::l8mk, QByteArray(100, '\0')), IconFamily::kParamError);
    EXPECT_EQ(family.setIconFamilyData(icnsType("zzzz"), QByteArray(1024, '\0')), IconFamily::kParamError);
    EXPECT_EQ(family.setIconFamilyData(IconType::l8mk, QByteArray(1024, '\x7f')), IconFamily::kNoError);

    EXPECT_EQ(IconFamily().data(), QByteArray("icns\0\0\0\x08", 8));
}

TEST(IconFamily, PackedChannelRuns)
{
    struct Row {
        const char *label;
        QByteArray samples;
        qsizetype packedSize;
    };
    QByteArray distinct128;
    for (int i = 0; i < 129; ++i)
        distinct128.append(char(i));
    const Row rows[] = {
        {"one run of 130", QByteArray(130, 'a'), 2},
        {"a run of 131 needs a literal", QByteArray(131, 'a'), 4},
        {"runs of 3 are packed", QByteArray("aaabbb"), 4},
        {"pairs stay literal", QByteArray("aabbcc"), 7},
        {"128 literals in one chunk", distinct128.left(128), 129},
        {"129 literals in two", distinct128, 131},
        {"literal, run, literal", QByteArray("xyzzzzzzq"), 2 + 1 + 2 + 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        const QByteArray packed =
            packIcnsChannel(reinterpret_cast<const uchar *>(row.samples.constData()), row.samples.size(), 1);
        EXPECT_EQ(packed.size(), row.packedSize);
        qsizetype offset = 0;
        EXPECT_EQ(unpackIcnsChannel(packed, offset, row.samples.size()), row.samples);
        EXPECT_EQ(offset, packed.size());
    }

    QRandomGenerator random(7);
    for (int round = 0; round < 50; ++round) {
        QByteArray samples;
        const int length = 1 + int(random.bounded(3000));
        while (samples.size() < length) {
            const char value = char(random.bounded(4));
            samples.append(QByteArray(1 + int(random.bounded(random.bounded(2) ? 3 : 200)), value));
        }
        samples.truncate(length);
        const QByteArray packed =
            packIcnsChannel(reinterpret_cast<const uchar *>(samples.constData()), samples.size(), 1);
        qsizetype offset = 0;
        ASSERT_EQ(unpackIcnsChannel(packed, offset, samples.size()), samples) << round;
        ASSERT_EQ(offset, packed.size());
    }
}

TEST(IconFamily, QtReaderOpensTheWrittenFamily)
{
    QTemporaryDir dir;
    const QString base = QDir(dir.path()).filePath(QStringLiteral("icon"));
    LogCapture log;
    const WriteResult result = simplySaveICNS(halfTransparent(600, qRgba(255, 128, 0, 255)), base);
    ASSERT_TRUE(result.isWritten()) << qPrintable(result.message());

    // Qt's reader lists the colour icons and, separately, the 1-bit 'ICN#' and
    // 'ics#' icons, which it shows black where a bit is set.
    QImageReader reader(base + ".icns");
    ASSERT_TRUE(reader.canRead());
    QList<int> colourSizes;
    QList<int> monoSizes;
    do {
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << qPrintable(reader.errorString());
        const int w = image.width();
        EXPECT_EQ(w, image.height());
        // Every size shows the transparent left half and the shape in the right half.
        EXPECT_EQ(qAlpha(image.pixel(w / 8, w / 2)), 0) << w;
        const QRgb right = image.pixel(w - 1 - w / 8, w / 2);
        if (right == qRgba(0, 0, 0, 255)) {
            monoSizes << w;
        } else {
            EXPECT_EQ(right, qRgba(255, 128, 0, 255)) << w;
            colourSizes << w;
        }
    } while (reader.jumpToNextImage());
    std::sort(colourSizes.begin(), colourSizes.end());
    std::sort(monoSizes.begin(), monoSizes.end());
    EXPECT_EQ(colourSizes, (QList<int>{16, 32, 128, 256, 512}));
    EXPECT_EQ(monoSizes, (QList<int>{16, 32}));

    EXPECT_EQ(simplySaveICNS(QImage(), base + "2").status(), WriteResult::Status::NothingWritten);
    EXPECT_FALSE(QFile::exists(base + "2.icns"));
    EXPECT_FALSE(IconFamily::iconFamilyWithThumbnailsOfImage(QImage()));
}
