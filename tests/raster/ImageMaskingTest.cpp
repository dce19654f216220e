#include "raster/ImageMasking.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zembrix;

namespace {

QImage filled(int width, int height, QImage::Format format, QRgb colour)
{
    QImage image(width, height, format);
    image.fill(colour);
    return image;
}

// A Grayscale8 picture from rows of samples.
QImage grayMask(const std::vector<std::vector<int>> &rows)
{
    QImage mask(int(rows[0].size()), int(rows.size()), QImage::Format_Grayscale8);
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            mask.scanLine(y)[x] = uchar(rows[size_t(y)][size_t(x)]);
    return mask;
}

// A smooth picture whose colours must come through every mask unchanged.
QImage colourPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 20, y * 30, 200));
    return image;
}

// Each pixel of `masked` has alpha `alpha(x, y)` and, where visible, the colour of `original`.
template<typename Alpha>
void expectMasked(const QImage &masked, const QImage &original, Alpha alpha)
{
    ASSERT_EQ(masked.format(), QImage::Format_ARGB32);
    ASSERT_EQ(masked.size(), original.size());
    for (int y = 0; y < original.height(); ++y)
        for (int x = 0; x < original.width(); ++x) {
            EXPECT_EQ(qAlpha(masked.pixel(x, y)), alpha(x, y)) << x << "," << y;
            EXPECT_TRUE(qAlpha(masked.pixel(x, y)) == 0 || (masked.pixel(x, y) & 0xffffff) == (original.pixel(x, y) & 0xffffff))
                << x << "," << y;
        }
}

// A stencil of the image's size, of half its size (each sample decides a 2 x 2 block), and of
// twice its size (the picture takes the stencil's size, the image scaled up to it).
TEST(ImageMasking, StencilHidesWhereItsSampleIsSet)
{
    const QImage image = colourPicture(4, 4);
    const QImage diagonal = grayMask({{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 255}});
    expectMasked(maskImage(image, diagonal, false), image, [](int x, int y) { return x == y && x != 2 ? 0 : 255; });
    expectMasked(maskImage(image, grayMask({{0, 255}, {255, 0}}), false), image,
                 [](int x, int y) { return x / 2 != y / 2 ? 0 : 255; });
    expectMasked(maskImage(filled(2, 2, QImage::Format_RGB888, qRgb(0, 0, 200)), diagonal, false),
                 filled(4, 4, QImage::Format_RGB888, qRgb(0, 0, 200)), [](int x, int y) { return x == y && x != 2 ? 0 : 255; });
}

// A soft mask smaller than its image is scaled up smoothly; a larger one gives the picture its
// size. An RGB32 image handed over alone is masked in place.
TEST(ImageMasking, SoftMaskOfAnotherSize)
{
    const QImage image = colourPicture(10, 7);
    // A constant mask stays constant at any scale.
    for (const QSize size : {QSize(3, 3), QSize(1, 1)}) {
        SCOPED_TRACE(size.width());
        expectMasked(maskImage(image, filled(size.width(), size.height(), QImage::Format_Grayscale8, qRgb(77, 77, 77)), true),
                     image, [](int, int) { return 77; });
    }
    const QImage larger = filled(40, 29, QImage::Format_Grayscale8, qRgb(77, 77, 77));
    expectMasked(maskImage(filled(3, 2, QImage::Format_RGB888, qRgb(9, 8, 7)), larger, true),
                 filled(40, 29, QImage::Format_RGB888, qRgb(9, 8, 7)), [](int, int) { return 77; });
    QImage wide = filled(3, 2, QImage::Format_RGB32, qRgb(1, 2, 3));
    const uchar *const pixels = wide.constBits();
    EXPECT_EQ(maskImage(std::move(wide), grayMask({{0, 255, 0}, {255, 0, 255}}), true).constBits(), pixels);
    // A 2 x 1 ramp 0 | 255 over 10 columns: transparent at the left edge, opaque at the right,
    // rising in between, the same on every row.
    const QImage ramp = maskImage(image, grayMask({{0, 255}}), true);
    EXPECT_LE(qAlpha(ramp.pixel(0, 0)), 30);
    EXPECT_GE(qAlpha(ramp.pixel(9, 0)), 225);
    int intermediate = 0;
    for (int x = 1; x < 10; ++x) {
        EXPECT_GE(qAlpha(ramp.pixel(x, 0)), qAlpha(ramp.pixel(x - 1, 0)));
        intermediate += qAlpha(ramp.pixel(x, 0)) > 0 && qAlpha(ramp.pixel(x, 0)) < 255;
    }
    EXPECT_GE(intermediate, 2);
    expectMasked(ramp, image, [&](int x, int) { return qAlpha(ramp.pixel(x, 0)); });
}

TEST(ImageMasking, ExistingAlphaIsMultipliedAndOtherFormatsAreRead)
{
    const QImage translucent = filled(2, 1, QImage::Format_ARGB32, qRgba(10, 20, 30, 128));
    const QImage soft = maskImage(translucent, grayMask({{128, 255}}), true);
    EXPECT_EQ(soft.pixel(0, 0), qRgba(10, 20, 30, 64));
    EXPECT_EQ(soft.pixel(1, 0), qRgba(10, 20, 30, 128));
    const QImage stencil = maskImage(translucent, grayMask({{255, 0}}), false);
    EXPECT_EQ(qAlpha(stencil.pixel(0, 0)), 0);
    EXPECT_EQ(stencil.pixel(1, 0), qRgba(10, 20, 30, 128));

    // A premultiplied image comes out straight.
    const QImage premultiplied = filled(1, 1, QImage::Format_ARGB32_Premultiplied, qRgba(100, 50, 0, 200));
    const QImage straight = maskImage(premultiplied, grayMask({{255}}), true);
    EXPECT_EQ(straight.format(), QImage::Format_ARGB32);
    EXPECT_EQ(straight.pixel(0, 0), premultiplied.convertToFormat(QImage::Format_ARGB32).pixel(0, 0));

    // A 16-bit RGB image is masked at 8 bits per channel.
    const QImage masked64 = maskImage(filled(2, 2, QImage::Format_RGBX64, qRgb(40, 80, 120)), grayMask({{0, 255}, {255, 0}}), false);
    ASSERT_EQ(masked64.format(), QImage::Format_ARGB32);
    EXPECT_EQ(masked64.pixel(0, 0), qRgba(40, 80, 120, 255));
    EXPECT_EQ(qAlpha(masked64.pixel(1, 0)), 0);
}

TEST(ImageMasking, MissingParts)
{
    const QImage image = colourPicture(3, 2);
    expectMasked(maskImage(image, QImage(), true), image, [](int, int) { return 255; });
    EXPECT_EQ(maskImage(image, QImage(), false).format(), QImage::Format_ARGB32);
    EXPECT_TRUE(maskImage(QImage(), grayMask({{0}}), true).isNull());
}

} // namespace
