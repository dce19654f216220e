#include "images/ColorEffects.h"

#include "images/EffectParameters.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zembrix;

using testpictures::distance;
using testpictures::make;

namespace {

EffectParameters colour(float brightness, float contrast, float saturation, float gamma, float hue)
{
    return {0.0f, 0, brightness, contrast, saturation, gamma, hue};
}

QRgb applyToPixel(QRgb pixel, const EffectParameters &p)
{
    return applyColorEffects(make(1, 1, [&](int, int) { return pixel; }), p).pixel(0, 0);
}

} // namespace

TEST(ColorEffects, NeutralAndNonFiniteValuesLeaveTheImageAlone)
{
    const QImage argb = make(5, 4, [](int x, int y) { return qRgba(x * 50, y * 60, 7, 30 * x + y); });
    for (QImage::Format format : {QImage::Format_ARGB32, QImage::Format_Grayscale8, QImage::Format_RGB888,
                                  QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA64}) {
        const QImage source = argb.convertToFormat(format);
        const QImage out = applyColorEffects(source, EffectParameters());
        EXPECT_EQ(out.cacheKey(), source.cacheKey()) << int(format);
        EXPECT_EQ(out.format(), format);
    }
    EXPECT_TRUE(applyColorEffects(QImage(), colour(0.5f, 2, 0, 2, 90)).isNull());
    // Values that are no numbers act as neutral ones.
    EXPECT_EQ(applyColorEffects(argb, colour(NAN, INFINITY, NAN, -INFINITY, NAN)), argb);
}

// The fast kernels (tables, fixed point, single-precision sums, the two-resolution curve table,
// chunks of a row and their tails), each on four pixels (near black, where a gamma below 1 is
// steepest; mid; half transparent; light) laid out over rows of many widths. The expected
// colours are those of the chain worked out in double precision (saturation, brightness,
// contrast, gamma, then hue), one level apart at most.
TEST(ColorEffects, FastKernelsOnChunksAndTails)
{
    const QRgb in[4] = {qRgba(0, 0, 1, 255), qRgba(128, 64, 200, 255), qRgba(250, 20, 90, 77), qRgba(230, 240, 180, 255)};
    struct Row {
        EffectParameters p;
        QRgb out[4];
    };
    const Row rows[] = {
        {colour(0.1f, 1.3f, 1, 1.4f, 0), {0xff000000, 0xff8631ff, 0x4dff0850, 0xffffffdb}},      // one table a component
        {colour(-0.2f, 0.7f, 1, 0.45f, 0), {0xff202024, 0xffa178c4, 0x4dd94a8a, 0xffd1d5bb}},    // same, steep gamma
        {colour(0, 1, 1, 1, 40), {0xff010001, 0xffbf3394, 0x4ddb2900, 0xffc4f8c3}},              // hue alone
        {colour(0.1f, 1.5f, 1, 0.3f, -120), {0xff000000, 0xff75d4bb, 0x4d009ac8, 0xfffffeff}},   // table and hue
        {colour(0, 1.2f, 1.5f, 1, 0), {0xff000000, 0xff9825ff, 0x4dff005c, 0xfff8ff9e}},         // saturation
        {colour(0, 1, 0.5f, 0.6f, 0), {0xff010106, 0xff987bb5, 0x4dc25c81, 0xfff1f4e1}},         // and steep gamma
        {colour(0.05f, 1.2f, 1.3f, 0.8f, 30), {0xff000000, 0xffed40cc, 0x4dff0914, 0xffe4ffcc}}, // all five
        {colour(0.3f, 0.5f, 0, 0.1f, 0), {0xffe9e9e9, 0xfff1f1f1, 0x4df0f0f0, 0xfffbfbfb}},      // very steep near black
        {colour(0, 1, 0.9f, 0.02f, 75), {0xffe3cad7, 0xfffef8f8, 0x4dfcf5ef, 0xfffdfffe}},       // steepest, with hue
        {colour(-0.4f, 3, 2.5f, 25, 0), {0xff000000, 0xff0000ff, 0x4dff0000, 0xff000000}},       // steep near white
        {colour(0.2f, 4, 3, 6, 180), {0xff000000, 0xff009100, 0x4d009100, 0xffdbdbff}},          // strong, hue 180
        {colour(0, 1, -1, 1, 0), {0xff000000, 0xff2f6f00, 0x4d00803a, 0xffede3ff}},              // negative saturation
        {colour(0, -1, 0.5f, 1, 0), {0xfffffffe, 0xff93b36f, 0x4d5dd0ad, 0xff171230}},           // negative contrast
        {colour(0.5f, 60, 3, 1.7f, 0), {0xff4646ff, 0xffffffff, 0x4dff00ff, 0xffffffff}},        // large contrast
        {colour(0.1f, 2e7f, 0.5f, 1, 10), {0xff000000, 0xffff00dd, 0x4df30700, 0xffffffff}},     // beyond any slider
        {colour(0.1f, 1e35f, 0.5f, 1, 0), {0xff000000, 0xffff00ff, 0x4dff0000, 0xffffffff}},     // beyond single precision
        {colour(0, 1, 0.5f, 0, 0), {0xffffffff, 0xffffffff, 0x4dffffff, 0xffffffff}},            // gamma 0
        {colour(0, 1, 0.5f, -2, 0), {0xffffffff, 0xffffffff, 0x4dffffff, 0xffffffff}},           // negative gamma
        // Brightness a hair above 0 under a gamma below 1: far too steep for any table.
        {colour(1e-7f, 1, 1, 0.02f, 0), {0xffb9b9e4, 0xfffcf8fe, 0x4dfff2fa, 0xfffefffd}},
        {colour(3e-5f, 1, 1, 0.1f, 60), {0xff8a4e7c, 0xfffbdce5, 0x4df9ccb8, 0xfff7fffa}},
        {colour(1e-3f, 1, 0.5f, 0.3f, 0), {0xff21212d, 0xffc5b1d7, 0x4ddf9ab6, 0xfff8f9f0}},
    };
    for (int width : {1, 3, 63, 64, 65, 1001}) {
        const QImage source = make(width, 2, [&](int x, int y) { return in[(x + y) % 4]; });
        for (const Row &row : rows) {
            const QImage out = applyColorEffects(source, row.p);
            ASSERT_EQ(out.size(), source.size());
            int wrong = 0;
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < width; ++x)
                    wrong += distance(out.pixel(x, y), row.out[(x + y) % 4]) > 1;
            EXPECT_EQ(wrong, 0) << "width " << width << " brightness " << row.p.brightness << " contrast "
                                << row.p.contrast << " gamma " << row.p.gamma << " hue " << row.p.hue;
        }
    }
}

// A premultiplied source is taken back to straight colour first (alpha kept, transparent stays
// transparent); other pixel formats are converted once and give what their pixels give as ARGB32.
TEST(ColorEffects, OtherPixelFormats)
{
    const EffectParameters p = colour(0.1f, 1.3f, 0.4f, 0.8f, 40);
    const QImage straight = make(2, 1, [](int x, int) { return x == 0 ? qRgba(200, 100, 50, 128) : qRgba(9, 9, 9, 0); });
    const QImage premultiplied = straight.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage out = applyColorEffects(premultiplied, p);
    EXPECT_EQ(out.format(), QImage::Format_ARGB32);
    EXPECT_LE(distance(out.pixel(0, 0), applyToPixel(premultiplied.convertToFormat(QImage::Format_ARGB32).pixel(0, 0), p)), 1);
    EXPECT_EQ(qAlpha(out.pixel(1, 0)), 0);

    const EffectParameters q = colour(0.05f, 1.2f, 1.0f, 1.5f, 0);
    const QImage grey = make(
        16, 2, [](int x, int y) { return qRgb(x * 16 + y, x * 16 + y, x * 16 + y); }, QImage::Format_RGB32);
    for (QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_RGB888, QImage::Format_Grayscale16,
                                  QImage::Format_RGBA64, QImage::Format_Indexed8, QImage::Format_RGB32}) {
        SCOPED_TRACE(int(format));
        const QImage source = grey.convertToFormat(format);
        const QImage converted = applyColorEffects(source, q);
        EXPECT_EQ(converted.format(), format == QImage::Format_RGBA64 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int x = 0; x < 16; ++x)
            EXPECT_LE(distance(converted.pixel(x, 1), applyToPixel(source.pixel(x, 1), q)), 1) << x;
    }
}
