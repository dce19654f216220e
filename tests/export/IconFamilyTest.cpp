#include "ExportTestDecoders.h"

#include "export/IcnsElements.h"
#include "export/IconFamily.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace zembrix;

using namespace exporttest;

namespace {

// Left half transparent, right half opaque in `colour`.
QImage halfTransparent(int size, QRgb colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < size; ++y)
        std::fill_n(reinterpret_cast<QRgb *>(image.scanLine(y)) + size / 2, size - size / 2, colour);
    return image;
}

// A picture from its pixels, row by row.
QImage picture(int width, int height, QImage::Format format, const std::vector<QRgb> &pixels)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int i = 0; i < width * height; ++i)
        image.setPixel(i % width, i / width, pixels[size_t(i)]);
    return image.convertToFormat(format);
}

std::vector<IcnsElement> familyElements(const QImage &image)
{
    const std::optional<IconFamily> family = IconFamily::iconFamilyWithThumbnailsOfImage(image);
    EXPECT_TRUE(family);
    return family ? parseIcns(family->data()).value_or(std::vector<IcnsElement>{}) : std::vector<IcnsElement>{};
}

QByteArray element(const std::vector<IcnsElement> &elements, const char *type)
{
    for (const IcnsElement &e : elements)
        if (e.type == type)
            return e.data;
    return {};
}

// Unpacks one packed channel of `count` samples from `offset`, moved past it; empty when malformed.
// A control byte below 0x80 is followed by control + 1 literals; from 0x80 on, by one byte
// repeated control - 0x80 + 3 times.
QByteArray unpackIcnsChannel(const QByteArray &packed, qsizetype &offset, qsizetype count)
{
    QByteArray out;
    while (out.size() < count) {
        const quint8 control = offset < packed.size() ? quint8(packed[offset++]) : 0;
        const qsizetype n = control < 0x80 ? control + 1 : 1;
        if (offset + n > packed.size())
            return {};
        out += control < 0x80 ? packed.mid(offset, n) : QByteArray(control - 0x80 + 3, packed[offset]);
        offset += n;
    }
    return out.size() == count ? out : QByteArray();
}

BitmapImageRep handMadeRep(int size, int bitsPerSample, int samplesPerPixel, int bitsPerPixel, bool planar = false)
{
    const qsizetype bytesPerRow = (qsizetype(size) * bitsPerPixel + 7) / 8;
    return {size, size, bitsPerSample, samplesPerPixel, bitsPerPixel, planar, false, bytesPerRow, QByteArray(bytesPerRow * size, '\x40')};
}

} // namespace

// The ten elements of a family in order. The 1-bit icons test the red byte, and their mask
// equals the icon; Qt's reader, an independent one, shows every colour size with the
// transparent half and the colour kept, and the 1-bit icons black where a bit is set.
TEST(IconFamily, ElementsOfAHalfTransparentPicture)
{
    for (const QRgb colour : {qRgb(255, 128, 0), qRgb(0, 0, 255)}) { // blue has no red: no 1-bit shape
        SCOPED_TRACE(colour);
        const std::vector<IcnsElement> elements = familyElements(halfTransparent(512, colour));
        QList<QByteArray> types;
        for (const IcnsElement &e : elements)
            types << e.type;
        ASSERT_EQ(types, (QList<QByteArray>{"ic09", "ic08", "it32", "t8mk", "il32", "l8mk", "ICN#", "is32", "s8mk", "ics#"}));
        const char set = qRed(colour) != 0 ? char(0xff) : char(0);
        EXPECT_EQ(element(elements, "ICN#"), (QByteArray(2, '\0') + QByteArray(2, set)).repeated(64));
        EXPECT_EQ(element(elements, "ics#"), (QByteArray(1, '\0') + QByteArray(1, set)).repeated(32));
        EXPECT_EQ(element(elements, "it32").left(4), QByteArray(4, '\0'));
    }

    const QRgb orange = qRgb(255, 128, 0);
    QTemporaryDir dir;
    const QString base = QDir(dir.path()).filePath(QStringLiteral("icon"));
    const WriteResult result = simplySaveICNS(halfTransparent(512, orange), base);
    ASSERT_TRUE(result.isWritten()) << qPrintable(result.message());
    QImageReader reader(base + ".icns");
    ASSERT_TRUE(reader.canRead());
    QList<int> colourSizes, monoSizes;
    do {
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << qPrintable(reader.errorString());
        const int w = image.width();
        ASSERT_EQ(w, image.height());
        const bool mono = image.pixel(w - 1 - w / 8, w / 2) == qRgb(0, 0, 0);
        (mono ? monoSizes : colourSizes) << w;
        for (int y = 0; y < w; y += 5)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(image.pixel(x, y), x < w / 2 ? qRgba(0, 0, 0, 0) : mono ? qRgb(0, 0, 0)
                                                                                  : orange)
                    << w << ": " << x << "," << y;
    } while (reader.jumpToNextImage());
    std::sort(colourSizes.begin(), colourSizes.end());
    std::sort(monoSizes.begin(), monoSizes.end());
    EXPECT_EQ(colourSizes, (QList<int>{16, 32, 128, 256, 512}));
    EXPECT_EQ(monoSizes, (QList<int>{16, 32}));

    EXPECT_EQ(simplySaveICNS(QImage(), base + "2").status(), WriteResult::Status::NothingWritten);
    EXPECT_FALSE(QFile::exists(base + "2.icns"));
    EXPECT_FALSE(IconFamily::iconFamilyWithThumbnailsOfImage(QImage()));
}

// The picture fits the longer side and is centred across the other (the masks follow the
// alpha, as Qt's reader shows above).
TEST(IconFamily, ResampleFitsTheLongerSide)
{
    // 300 x 100 into 16: 100 x 16 / 300 + 0.5 = 5.83, so 5 rows from (16 - 5) / 2 = 5; 10 x 40
    // into 16: 4 columns from 6.
    QImage wide(300, 100, QImage::Format_RGB32), tall(10, 40, QImage::Format_RGB32);
    wide.fill(Qt::white);
    tall.fill(Qt::white);
    const QImage wideIcon = IconFamily::resampleImage(wide, 16, ImageInterpolation::High).convertToFormat(QImage::Format_ARGB32);
    const QImage tallIcon = IconFamily::resampleImage(tall, 16, ImageInterpolation::None).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(wideIcon.size(), QSize(16, 16));
    ASSERT_EQ(tallIcon.size(), QSize(16, 16));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(qAlpha(wideIcon.pixel(8, i)), i >= 5 && i < 10 ? 255 : 0) << i;
        EXPECT_EQ(qAlpha(tallIcon.pixel(i, 8)), i >= 6 && i < 10 ? 255 : 0) << i;
    }
    EXPECT_TRUE(IconFamily::resampleImage(QImage(), 16, ImageInterpolation::High).isNull());
    EXPECT_TRUE(IconFamily::resampleImage(wide, 0, ImageInterpolation::High).isNull());
}

TEST(IconFamily, ExtractionRules)
{
    // 2 x 2 pictures; the premultiplied one: transparent, half-transparent red, opaque green and
    // black. Bits are set by the first (red) byte.
    const std::tuple<QImage::Format, std::vector<QRgb>, const char *, const char *, const char *> rows[] = {
        {QImage::Format_RGBA8888_Premultiplied, {qRgba(0, 0, 0, 0), qRgba(255, 0, 0, 128), qRgb(0, 255, 0), qRgb(0, 0, 0)}, "00000000"
                                                                                                                            "80ff0000"
                                                                                                                            "ff00ff00"
                                                                                                                            "ff000000",
         "0080ffff",
         "40004000"},
        {QImage::Format_RGB888, {qRgb(1, 2, 3), qRgb(0, 0, 0), qRgb(4, 5, 6), qRgb(7, 8, 9)}, "ff010203"
                                                                                              "ff000000"
                                                                                              "ff040506"
                                                                                              "ff070809",
         "ffffffff",
         "c0c0c0c0"},
        {QImage::Format_Grayscale8, {qRgb(0, 0, 0), qRgb(7, 7, 7), qRgb(200, 200, 200), qRgb(0, 0, 0)}, nullptr, "0007c800", "40804080"},
    };
    for (const auto &[format, pixels, argb, mask, bits] : rows) {
        SCOPED_TRACE(format);
        const BitmapImageRep rep = BitmapImageRep::fromImage(picture(2, 2, format, pixels));
        if (argb) {
            EXPECT_EQ(IconFamily::get32BitDataFromBitmapImageRep(rep, 2), QByteArray::fromHex(argb));
        }
        EXPECT_EQ(IconFamily::get8BitMaskFromBitmapImageRep(rep, 2), QByteArray::fromHex(mask));
        EXPECT_EQ(IconFamily::get1BitMaskFromBitmapImageRep(rep, 2), QByteArray::fromHex(bits));
    }

    QImage mono(16, 16, QImage::Format_Mono);
    mono.fill(0);
    for (int y = 0; y < 16; ++y)
        mono.setPixel(y, y, 1);
    const QByteArray monoBits = IconFamily::get1BitMaskFromBitmapImageRep(BitmapImageRep::fromImage(mono), 16);
    ASSERT_EQ(monoBits.size(), 64);
    EXPECT_EQ(monoBits.left(4), QByteArray::fromHex("80004000"));
    EXPECT_EQ(monoBits.mid(2 * 9, 2), QByteArray::fromHex("0040"));
    EXPECT_EQ(monoBits.left(32), monoBits.mid(32));
}

// Layouts the extractors cannot read give no data: the wrong size, planar, 16-bit, and sample
// counts that do not match the bits per pixel; so does a rep whose data is shorter than its rows
// claim.
TEST(IconFamily, ExtractionRefusals)
{
    using Extract = QByteArray (*)(const BitmapImageRep &, int);
    const Extract rgb = &IconFamily::get32BitDataFromBitmapImageRep, mask = &IconFamily::get8BitMaskFromBitmapImageRep,
                  bits = &IconFamily::get1BitMaskFromBitmapImageRep, indexed = &IconFamily::get8BitDataFromBitmapImageRep;
    BitmapImageRep truncated = handMadeRep(4, 8, 4, 32);
    truncated.bitmapData.chop(1);
    const BitmapImageRep good = handMadeRep(4, 8, 4, 32);
    const std::tuple<BitmapImageRep, Extract, int> rows[] = {
        {good, rgb, 2},
        {good, mask, 1},
        {good, bits, 3},
        {good, indexed, 4},
        {truncated, rgb, 4},
        {handMadeRep(4, 8, 4, 32, true), rgb, 4},
        {handMadeRep(4, 8, 3, 32), rgb, 4},
        {handMadeRep(4, 8, 2, 16), mask, 4},
        {BitmapImageRep::fromImage(QImage(8, 8, QImage::Format_RGBA64)), bits, 8},
        {handMadeRep(8, 2, 1, 2), bits, 8},
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_TRUE(std::get<1>(rows[i])(std::get<0>(rows[i]), std::get<2>(rows[i])).isEmpty()) << i;
}

TEST(IconFamily, PackedChannelRuns)
{
    QByteArray distinct;
    for (int i = 0; i < 129; ++i)
        distinct.append(char(i));
    const std::pair<QByteArray, qsizetype> rows[] = {
        // samples, packed size
        {QByteArray(130, 'a'), 2},    // one run of 130
        {QByteArray(131, 'a'), 4},    // a run of 131 needs a literal
        {"aaabbb", 4},                // runs of 3 are packed
        {"aabbcc", 7},                // pairs stay literal
        {distinct.left(128), 129},    // 128 literals in one chunk
        {distinct, 131},              // 129 in two
        {"xyzzzzzzq", 2 + 1 + 2 + 2}, // literal, run, literal
    };
    QRandomGenerator random(7);
    for (int round = 0; round < int(std::size(rows)) + 50; ++round) {
        QByteArray samples;
        if (round < int(std::size(rows))) {
            samples = rows[round].first;
        } else {
            const int length = 1 + int(random.bounded(3000));
            while (samples.size() < length)
                samples.append(QByteArray(1 + int(random.bounded(random.bounded(2) ? 3 : 200)), char(random.bounded(4))));
            samples.truncate(length);
        }
        const QByteArray packed = packIcnsChannel(reinterpret_cast<const uchar *>(samples.constData()), samples.size(), 1);
        if (round < int(std::size(rows))) {
            EXPECT_EQ(packed.size(), rows[round].second) << round;
        }
        qsizetype offset = 0;
        ASSERT_EQ(unpackIcnsChannel(packed, offset, samples.size()), samples) << round;
        ASSERT_EQ(offset, packed.size());
    }
}
