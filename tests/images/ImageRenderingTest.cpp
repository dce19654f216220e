#include "RecordingController.h"

#include "images/EffectsPipeline.h"
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

class ImageRendering : public ::testing::Test
{
protected:
    RecordingController controller;
    MainControllerScope scope{&controller};
    std::shared_ptr<PDFImageStruct> record = PDFImageStruct::create();
};

} // namespace

TEST_F(ImageRendering, WithoutPictureNothingAndWithNeutralEditsThePictureItself)
{
    record->setAngle(90.0f);
    record->setGamma(2.0f);
    EXPECT_TRUE(record->applyAllEffects().isNull());
    EXPECT_TRUE(record->getBitmapRepImg().isNull());
    EXPECT_TRUE(record->getNSImage().isNull());
    EXPECT_FALSE(record->getTiffRep().has_value());

    const QImage picture = testPicture();
    auto fresh = PDFImageStruct::create();
    fresh->setImage(picture);
    fresh->setHue(90.0f);
    fresh->setHue(0.0f); // back to neutral counts as neutral
    EXPECT_EQ(fresh->applyAllEffects(), picture);
    EXPECT_EQ(fresh->getBitmapRepImg(), picture);
    EXPECT_EQ(fresh->getNSImage(), picture);
}

// The record hands every edit to the effects pipeline (whose order has its own tests) and
// never touches the stored picture.
TEST_F(ImageRendering, EditsReachThePipeline)
{
    const QImage picture = testPicture();
    record->setImage(picture);
    record->setAngle(90.0f);
    record->setFlip(2);
    record->setBrightness(0.5f);
    record->setHue(30.0f);
    const QImage expected = applyAllEffects(picture, {.angle = 90.0f, .flip = 2, .brightness = 0.5f, .hue = 30.0f});
    ASSERT_EQ(expected.size(), QSize(3, 5));
    EXPECT_EQ(record->applyAllEffects(), expected);
    EXPECT_EQ(record->getBitmapRepImg(), expected);
    EXPECT_EQ(record->getNSImage(), expected);
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
        const bool eightBitAlpha = row.picture.hasAlphaChannel() && row.picture.format() != QImage::Format_RGBA64;
        EXPECT_LE(largestDifference(row.picture, *back), eightBitAlpha ? 2 : 0);
    }

    // The TIFF holds the edited picture.
    record->setImage(testPicture());
    record->setAngle(-90.0f);
    const std::optional<QImage> back = decodeTiff(record->getTiffRep().value_or(QByteArray()));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->size(), QSize(3, 5));
    EXPECT_LE(largestDifference(record->applyAllEffects(), *back), 2);
}
