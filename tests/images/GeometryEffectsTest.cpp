#include "images/GeometryEffects.h"

#include "TestPictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

using namespace zembrix;

using testpictures::distance;
using testpictures::make;
using testpictures::numbered;

namespace {

// Compares every pixel of `actual` with the source pixel that `from` names.
void expectMapping(const QImage &source, const QImage &actual, const std::function<QPoint(int, int)> &from,
                   const char *label)
{
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            ASSERT_EQ(actual.pixel(x, y), source.pixel(from(x, y))) << label << " at " << x << "," << y;
}

} // namespace

// On screen a counter-clockwise quarter turn takes the top right pixel to the top left and the
// top left pixel to the bottom left. Every pixel format is kept, but a 1-bit picture turned a
// quarter comes back as 8-bit indexed with the same colours.
TEST(GeometryEffects, QuarterTurnsMoveWholePixelsCounterClockwise)
{
    const int w = 9, h = 2;
    struct Case {
        std::vector<float> angles;
        QSize size;
        std::function<QPoint(int, int)> from;
    };
    const Case cases[] = {
        {{90.0f, 450.0f, -270.0f}, {h, w}, [&](int x, int y) { return QPoint(w - 1 - y, x); }},
        {{270.0f, -90.0f}, {h, w}, [&](int x, int y) { return QPoint(y, h - 1 - x); }},
        {{180.0f, -180.0f}, {w, h}, [&](int x, int y) { return QPoint(w - 1 - x, h - 1 - y); }},
    };
    QImage mono(w, h, QImage::Format_Mono);
    mono.fill(0);
    mono.setPixel(w - 1, 0, 1);
    mono.setPixel(1, 1, 1);
    for (QImage::Format format : {QImage::Format_ARGB32, QImage::Format_Grayscale8, QImage::Format_RGB888,
                                  QImage::Format_Grayscale16, QImage::Format_RGBA64, QImage::Format_Indexed8,
                                  QImage::Format_Mono})
        for (const Case &c : cases)
            for (float angle : c.angles) {
                SCOPED_TRACE(testing::Message() << angle << " degrees, format " << int(format));
                const QImage source = format == QImage::Format_Mono ? mono : numbered(w, h, format);
                const QImage turned = rotate(source, angle);
                ASSERT_EQ(turned.size(), c.size);
                EXPECT_EQ(turned.format(), format == QImage::Format_Mono && c.size != source.size() ? QImage::Format_Indexed8 : format);
                expectMapping(source, turned, c.from, "quarter turn");
            }
}

TEST(GeometryEffects, MirrorCodes)
{
    const QImage source = numbered(3, 2);
    struct Case {
        int code;
        std::function<QPoint(int, int)> from;
    };
    const auto same = [](int x, int y) { return QPoint(x, y); };
    const Case cases[] = {
        {1, [](int x, int y) { return QPoint(x, 1 - y); }},     // top to bottom
        {2, [](int x, int y) { return QPoint(2 - x, y); }},     // left to right
        {3, [](int x, int y) { return QPoint(2 - x, 1 - y); }}, // both
        // Other codes mirror nothing: their value without bit 1 is not 2 and
        // without bit 2 is not 1.
        {0, same},
        {4, same},
        {7, same},
        {-1, same},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        const QImage mirrored = mirror(source, c.code);
        ASSERT_EQ(mirrored.size(), source.size());
        EXPECT_EQ(mirrored.format(), source.format());
        expectMapping(source, mirrored, c.from, "mirror");
    }
    EXPECT_EQ(mirror(source, 0).cacheKey(), source.cacheKey());
}

TEST(GeometryEffects, NoTurnAndNullImages)
{
    const QImage source = numbered(3, 2);
    for (float angle : {0.0f, 360.0f, -720.0f, NAN, INFINITY})
        EXPECT_EQ(rotate(source, angle).cacheKey(), source.cacheKey()) << angle;
    EXPECT_TRUE(rotate(QImage(), 33.0f).isNull() && mirror(QImage(), 3).isNull());

    // A free turn whose box would hold more than 2^29 pixels is refused
    // before anything is allocated.
    QImage needle(1, 600000, QImage::Format_ARGB32);
    needle.fill(0);
    EXPECT_TRUE(rotate(needle, 45.0f).isNull());
    EXPECT_EQ(rotate(needle, 90.0f).size(), QSize(600000, 1));
}

TEST(GeometryEffects, FreeAngleSizeIsTheRoundedUpBoundingBox)
{
    // w |cos a| + h |sin a| by h |cos a| + w |sin a|, rounded up (41 x 31 at 33 degrees:
    // 51.27 x 48.33; 64 x 3 at 200.5: 60.998 x 25.22).
    struct Case {
        int width, height;
        float angle;
        QSize expected;
    };
    const Case cases[] = {{41, 31, -33.0f, {52, 49}}, {41, 31, 123.0f, {49, 52}}, {41, 31, 359.0f, {42, 32}}, {1, 1, 10.0f, {2, 2}}, {64, 3, 200.5f, {61, 26}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.angle);
        const QImage turned = rotate(make(c.width, c.height, [](int, int) { return qRgb(10, 200, 30); }), c.angle);
        EXPECT_EQ(turned.size(), c.expected);
        EXPECT_EQ(turned.format(), QImage::Format_ARGB32_Premultiplied);
    }
}

// A free turn close to a quarter turn puts the colours where the quarter turn puts them: the
// same direction, the same centre. The picture is grey with a green block around the centre and
// a red one up and left of it.
TEST(GeometryEffects, FreeAngleTurnsLikeTheNearestQuarterTurn)
{
    const QRgb green = qRgb(0, 200, 0), red = qRgb(220, 0, 0);
    const QImage source = make(41, 31, [&](int x, int y) {
        if (std::abs(x - 20) <= 3 && std::abs(y - 15) <= 3)
            return green;
        return std::abs(x - 9) <= 3 && std::abs(y - 7) <= 3 ? red : qRgb(128, 128, 128);
    });
    for (const auto &[free, quarter] : {std::pair(89.0f, 90.0f), std::pair(-89.0f, -90.0f), std::pair(181.0f, 180.0f)}) {
        SCOPED_TRACE(free);
        const QImage near = rotate(source, free), exact = rotate(source, quarter);
        // Where the quarter turn has a block's centre, the free turn has the block's colour.
        for (const QRgb colour : {red, green}) {
            QPoint centre;
            for (int y = 3; y < exact.height() - 3; ++y)
                for (int x = 3; x < exact.width() - 3; ++x)
                    if (exact.pixel(x, y) == colour && exact.pixel(x - 3, y - 3) == colour && exact.pixel(x + 3, y + 3) == colour)
                        centre = QPoint(x, y);
            const QPoint shift((near.width() - exact.width()) / 2, (near.height() - exact.height()) / 2);
            EXPECT_LE(distance(qUnpremultiply(near.pixel(centre + shift)), colour), 1) << centre.x() << "," << centre.y();
        }
    }
}

TEST(GeometryEffects, FreeAngleFromPremultipliedAndGreySources)
{
    // A half-transparent picture keeps its colour under premultiplied
    // resampling: no dark fringe inside.
    const QImage halfRed = make(30, 30, [](int, int) { return qRgba(255, 0, 0, 128); });
    const QImage turned = rotate(halfRed, 20.0f);
    const QRgb centre = turned.pixel(turned.width() / 2, turned.height() / 2);
    EXPECT_LE(distance(qUnpremultiply(centre), qRgba(255, 0, 0, 128)), 2);

    const QImage grey = make(
        20, 10, [](int, int) { return qRgb(77, 77, 77); }, QImage::Format_Grayscale8);
    const QImage turnedGrey = rotate(grey, 45.0f);
    EXPECT_EQ(turnedGrey.pixel(turnedGrey.width() / 2, turnedGrey.height() / 2), qRgb(77, 77, 77));
}
