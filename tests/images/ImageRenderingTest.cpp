#include "RecordingController.h"

#include "images/PDFImageStruct.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>

#include <optional>

using imagestest::MainControllerScope;
using imagestest::RecordingController;

namespace {

// A 5 x 3 picture in which every pixel differs, with alpha falling left to
// right (fully transparent in the last column).
QImage testPicture()
{
    QImage picture(5, 3, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba(40 * x + 10, 100 * y + 5, 200 - 30 * x, 255 - 63 * x - (x == 4 ? 3 : 0)));
    return picture;
}

std::optional<QImage> decodeTiff(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QImageReader reader(&buffer, "tiff");
    QImage image;
    if (!reader.read(&image))
        return std::nullopt;
    return image;
}

// Largest channel difference of two same-sized pictures compared as ARGB32;
// colour is compared only where the first one is not fully transparent.
int largestDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            worst = std::max(worst, std::abs(qAlpha(p) - qAlpha(q)));
            if (qAlpha(p) == 0)
                continue;
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

bool eightBitAlpha(const QImage &picture)
{
    return picture.hasAlphaChannel() && picture.format() != QImage::Format_RGBA64;
}

class ImageRendering : public ::testing::Test
{
protected:
    RecordingController controller;
    MainControllerScope scope{&controller};
    std::shared_ptr<PDFImageStruct> record = PDFImageStruct::create();
};

} // namespace

TEST_F(ImageRendering, RecordWithoutPictureRendersNothing)
{
    record->setAngle(90.0f);
    record->setFlip(3);
    record->setGamma(2.0f);
    EXPECT_TRUE(record->applyAllEffects().isNull());
    EXPECT_TRUE(record->getBitmapRepImg().isNull());
    EXPECT_TRUE(record->getNSImage().isNull());
    EXPECT_EQ(record->getBitmapRepImg().size(), QSize(0, 0));
    EXPECT_FALSE(record->getTiffRep().has_value());
}

TEST_F(ImageRendering, NeutralEditsGiveThePictureItself)
{
    const QImage picture = testPicture();
    record->setImage(picture);
    // Values set back to neutral count as neutral.
    record->setHue(90.0f);
    record->setHue(0.0f);
    EXPECT_EQ(record->applyAllEffects(), picture);
    EXPECT_EQ(record->getBitmapRepImg(), picture);
    EXPECT_EQ(record->getNSImage(), picture);
}

TEST_F(ImageRendering, EditsReachThePipelineInTheirOrder)
{
    const QImage picture = testPicture();
    record->setImage(picture);

    // A quarter turn counter-clockwise: the size swaps and the top-right
    // corner comes to the top left.
    record->setAngle(90.0f);
    QImage turned = record->applyAllEffects().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(turned.size(), QSize(3, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(turned.pixel(x, y), picture.pixel(4 - y, x)) << x << "," << y;

    // The mirror acts on the turned picture, left to right as shown.
    record->setFlip(2);
    QImage mirrored = record->getBitmapRepImg().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(mirrored.size(), QSize(3, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(mirrored.pixel(x, y), picture.pixel(4 - y, 2 - x)) << x << "," << y;

    // Colour comes last: full brightness makes every visible pixel white
    // and leaves alpha alone.
    record->setBrightness(1.0f);
    const QImage white = record->getNSImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(white.size(), QSize(3, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x) {
            const QRgb expected = picture.pixel(4 - y, 2 - x);
            EXPECT_EQ(qAlpha(white.pixel(x, y)), qAlpha(expected));
            if (qAlpha(expected) != 0) {
                EXPECT_EQ(white.pixel(x, y) | 0xff000000u, 0xffffffffu) << x << "," << y;
            }
        }

    // The stored picture is never touched.
    EXPECT_EQ(record->image(), picture);
}

TEST_F(ImageRendering, TiffRepDecodesBackWithAlpha)
{
    struct Row {
        const char *name;
        QImage picture;
    };
    QImage indexed(4, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgba(255, 0, 0, 255), qRgba(0, 0, 255, 128), qRgba(0, 0, 0, 0), qRgb(9, 9, 9)});
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            indexed.setPixel(x, y, uint((x + y) % 4));
    QImage gray(6, 4, QImage::Format_Grayscale8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            gray.setPixel(x, y, qRgb(x * 40, x * 40, x * 40));
    const Row rows[] = {
        {"ARGB32", testPicture()},
        {"ARGB32 premultiplied", testPicture().convertToFormat(QImage::Format_ARGB32_Premultiplied)},
        {"RGBA8888", testPicture().convertToFormat(QImage::Format_RGBA8888)},
        {"RGBA64", testPicture().convertToFormat(QImage::Format_RGBA64)},
        {"RGB32", testPicture().convertToFormat(QImage::Format_RGB32)},
        {"indexed with transparent entries", indexed},
        {"grayscale", gray},
        {"grayscale 16", gray.convertToFormat(QImage::Format_Grayscale16)},
        {"alpha only", testPicture().convertToFormat(QImage::Format_Alpha8)},
        {"1-bit with a transparent entry", indexed.convertToFormat(QImage::Format_Mono, {qRgba(0, 0, 0, 0), qRgb(255, 255, 255)})},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto fresh = PDFImageStruct::create();
        fresh->setImage(row.picture);
        const std::optional<QByteArray> tiff = fresh->getTiffRep();
        ASSERT_TRUE(tiff.has_value());
        ASSERT_TRUE(tiff->startsWith("II*\0") || tiff->startsWith("MM\0*"));
        const std::optional<QImage> back = decodeTiff(*tiff);
        ASSERT_TRUE(back.has_value());
        ASSERT_EQ(back->size(), row.picture.size());
        EXPECT_EQ(back->hasAlphaChannel(), row.picture.hasAlphaChannel());
        // The TIFF writer stores 8-bit alpha associated (premultiplied), which
        // rounds colour under partial alpha (66 is the lowest here); 16-bit
        // samples and opaque pictures come back exactly.
        EXPECT_LE(largestDifference(row.picture, *back), eightBitAlpha(row.picture) ? 2 : 0);
    }

    // The TIFF holds the edited picture.
    auto turned = PDFImageStruct::create();
    turned->setImage(testPicture());
    turned->setAngle(-90.0f);
    const std::optional<QByteArray> tiff = turned->getTiffRep();
    ASSERT_TRUE(tiff.has_value());
    const std::optional<QImage> back = decodeTiff(*tiff);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->size(), QSize(3, 5));
    EXPECT_LE(largestDifference(turned->applyAllEffects(), *back), 2);
}
