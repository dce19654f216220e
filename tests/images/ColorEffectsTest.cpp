#include "images/ColorEffects.h"

#include "images/EffectParameters.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

using testpictures::distance;
using testpictures::make;

namespace {

constexpr double kPi = 3.141592653589793;

EffectParameters colour(float brightness, float contrast, float saturation, float gamma, float hue)
{
    return {0.0f, 0, brightness, contrast, saturation, gamma, hue};
}

double clamp01(double v)
{
    return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; // NaN to 0
}

// The colour stage written out plainly in double precision: colour controls
// (saturation about the Rec. 709 luminance, brightness, contrast about 0.5),
// clamp, gamma, clamp, then the W3C hueRotate matrix, clamp, round.
QRgb reference(QRgb in, const EffectParameters &p)
{
    const double rgb[3] = {qRed(in) / 255.0, qGreen(in) / 255.0, qBlue(in) / 255.0};
    const double luma = 0.2125 * rgb[0] + 0.7154 * rgb[1] + 0.0721 * rgb[2];
    double v[3];
    for (int k = 0; k < 3; ++k) {
        double x = luma + double(p.saturation) * (rgb[k] - luma);
        x += double(p.brightness);
        x = (x - 0.5) * double(p.contrast) + 0.5;
        v[k] = clamp01(std::pow(clamp01(x), double(p.gamma)));
    }
    if (p.hue != 0.0f) {
        const double a = double(float(double(p.hue) * kPi / 180.0));
        const double c = std::cos(a), s = std::sin(a);
        const double m[9] = {0.213 + c * 0.787 - s * 0.213, 0.715 - c * 0.715 - s * 0.715,
                             0.072 - c * 0.072 + s * 0.928, 0.213 - c * 0.213 + s * 0.143,
                             0.715 + c * 0.285 + s * 0.140, 0.072 - c * 0.072 - s * 0.283,
                             0.213 - c * 0.213 - s * 0.787, 0.715 - c * 0.715 + s * 0.715,
                             0.072 + c * 0.928 + s * 0.072};
        const double h[3] = {v[0], v[1], v[2]};
        for (int k = 0; k < 3; ++k)
            v[k] = clamp01(m[3 * k] * h[0] + m[3 * k + 1] * h[1] + m[3 * k + 2] * h[2]);
    }
    return qRgba(int(std::lround(v[0] * 255)), int(std::lround(v[1] * 255)), int(std::lround(v[2] * 255)),
                 qAlpha(in));
}

QRgb applyToPixel(QRgb pixel, const EffectParameters &p)
{
    const QImage one = make(1, 1, [&](int, int) { return pixel; });
    return applyColorEffects(one, p).pixel(0, 0);
}

// Random pixels with random alpha; a quarter of them dark (components below
// 12), where a gamma below 1 is steepest.
QImage randomPixels(int count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255), dark(0, 11), choice(0, 3);
    return make(count, 1, [&](int, int) {
        auto &components = choice(random) == 0 ? dark : byte;
        const int r = components(random), g = components(random), b = components(random);
        return qRgba(r, g, b, byte(random));
    });
}

// Compares the stage with the plain reference on `pixels`; at most one level
// apart, alpha equal.
void expectNearReference(const QImage &pixels, const EffectParameters &p)
{
    const QImage out = applyColorEffects(pixels, p);
    ASSERT_EQ(out.size(), pixels.size());
    int worst = 0;
    QRgb worstIn = 0;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            if (const int d = distance(out.pixel(x, y), reference(pixels.pixel(x, y), p)); d > worst) {
                worst = d;
                worstIn = pixels.pixel(x, y);
            }
    EXPECT_LE(worst, 1) << "brightness " << p.brightness << " contrast " << p.contrast << " saturation "
                        << p.saturation << " gamma " << p.gamma << " hue " << p.hue << "; worst input #" << std::hex
                        << worstIn;
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

TEST(ColorEffects, KnownColours)
{
    struct Case {
        const char *what;
        EffectParameters p;
        QRgb in;
        QRgb expected;
        int tolerance;
    };
    const Case cases[] = {
        // Luminance 0.2125 * 200 + 0.7154 * 100 + 0.0721 * 50 = 117.645.
        {"saturation 0", colour(0, 1, 0, 1, 0), qRgb(200, 100, 50), qRgb(118, 118, 118), 0},
        // 2 * (x - L) + L for L = 0.2125 * 150 + 0.7154 * 110 + 0.0721 * 90 = 117.058.
        {"saturation 2", colour(0, 1, 2, 1, 0), qRgb(150, 110, 90), qRgb(183, 103, 63), 0},
        {"brightness 0.5, mid grey", colour(0.5f, 1, 1, 1, 0), qRgb(128, 128, 128), qRgb(255, 255, 255), 0},
        {"brightness 0.25, mid grey", colour(0.25f, 1, 1, 1, 0), qRgb(128, 128, 128), qRgb(192, 192, 192), 0},
        // (x - 127.5) * 2 + 127.5 = 2x - 127.5, halfway between two levels.
        {"contrast 2", colour(0, 2, 1, 1, 0), qRgb(100, 160, 64), qRgb(72, 192, 0), 1},
        {"contrast 0", colour(0, 0, 1, 1, 0), qRgb(0, 255, 30), qRgb(128, 128, 128), 1},
        // (128 / 255)^2 * 255 = 64.25; 0.5^2 = 0.25.
        {"gamma 2", colour(0, 1, 1, 2, 0), qRgb(128, 0, 255), qRgb(64, 0, 255), 0},
        {"gamma 0.5", colour(0, 1, 1, 0.5f, 0), qRgb(64, 16, 255), qRgb(128, 64, 255), 0},
        {"gamma 0 gives white", colour(0, 1, 1, 0, 0), qRgb(0, 70, 200), qRgb(255, 255, 255), 0},
        // The hue matrix at 180 degrees: cos -1, sin 0.
        //   R' = -0.574 R + 1.430 G + 0.144 B, G' = 0.426 R + 0.430 G + 0.144 B,
        //   B' = 0.426 R + 1.430 G - 0.856 B.
        {"hue 180, red", colour(0, 1, 1, 1, 180), qRgb(255, 0, 0), qRgb(0, 109, 109), 1},
        {"hue 180, blue", colour(0, 1, 1, 1, 180), qRgb(0, 0, 255), qRgb(37, 37, 0), 1},
        {"hue 90, grey stays", colour(0, 1, 1, 1, 90), qRgb(200, 200, 200), qRgb(200, 200, 200), 0},
        // Order: saturation, then brightness, then contrast, then gamma.
        {"saturation 0 then brightness then contrast", colour(0.1f, 2, 0, 1, 0), qRgb(200, 100, 50),
         qRgb(159, 159, 159), 1},
        {"controls then gamma", colour(0.2f, 1, 1, 2, 0), qRgb(51, 51, 51), qRgb(41, 41, 41), 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QRgb out = applyToPixel(c.in, c.p);
        EXPECT_LE(distance(out, c.expected), c.tolerance)
            << std::hex << "got #" << out << " expected #" << c.expected;
        EXPECT_LE(distance(out, reference(c.in, c.p)), 1);
    }
}

// A premultiplied source is taken back to straight colour first (alpha kept, transparent stays
// transparent); other pixel formats are converted once.
TEST(ColorEffects, OtherPixelFormats)
{
    const QImage premultiplied = make(2, 1, [](int x, int) { return x == 0 ? qRgba(200, 100, 50, 128) : qRgba(9, 9, 9, 0); },
                                      QImage::Format_ARGB32_Premultiplied);
    const EffectParameters p = colour(0.1f, 1.3f, 0.4f, 0.8f, 40);
    const QImage out = applyColorEffects(premultiplied, p);
    EXPECT_EQ(out.format(), QImage::Format_ARGB32);
    EXPECT_LE(distance(out.pixel(0, 0), reference(premultiplied.convertToFormat(QImage::Format_ARGB32).pixel(0, 0), p)), 1);
    EXPECT_EQ(qAlpha(out.pixel(1, 0)), 0);

    const EffectParameters q = colour(0.05f, 1.2f, 1.0f, 1.5f, 0);
    const QImage grey = make(16, 2, [](int x, int y) { return qRgb(x * 16 + y, x * 16 + y, x * 16 + y); }, QImage::Format_RGB32);
    for (QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_RGB888, QImage::Format_Grayscale16,
                                  QImage::Format_RGBA64, QImage::Format_Indexed8, QImage::Format_RGB32}) {
        SCOPED_TRACE(int(format));
        const QImage source = grey.convertToFormat(format);
        const QImage converted = applyColorEffects(source, q);
        EXPECT_EQ(converted.format(), format == QImage::Format_RGBA64 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int x = 0; x < 16; ++x)
            EXPECT_LE(distance(converted.pixel(x, 1), reference(source.pixel(x, 1), q)), 1) << x;
    }
}

// The fast kernels (tables, fixed point, single-precision sums, the two-resolution curve table,
// chunks of a row and their tails) against the plain double-precision chain: chosen values,
// random ones, and results just above 0 under a gamma below 1, where the curve is far too steep
// for any table (brightness puts black a hair above 0).
TEST(ColorEffects, FastKernelsMatchThePlainChainWithinOneLevel)
{
    const QImage pixels = randomPixels(20000, 7);
    const EffectParameters chosen[] = {
        colour(0.1f, 1.3f, 1, 1.4f, 0),      // one table per component
        colour(-0.2f, 0.7f, 1, 0.45f, 0),    // same, steep gamma
        colour(0, 1, 1, 1, 40),              // hue alone
        colour(0.1f, 1.5f, 1, 0.3f, -120),   // component table and hue
        colour(0, 1.2f, 1.5f, 1, 0),         // saturation
        colour(0, 1, 0.5f, 0.6f, 0),         // saturation with a steep gamma
        colour(0.05f, 1.2f, 1.3f, 0.8f, 30), // all five
        colour(0.3f, 0.5f, 0, 0.1f, 0),      // very steep near black
        colour(0, 1, 0.9f, 0.02f, 75),       // steepest, with hue
        colour(-0.4f, 3, 2.5f, 25, 0),       // steep near white
        colour(0.2f, 4, 3, 6, 180),          // strong values, hue 180
        colour(0, 1, -1, 1, 0),              // negative saturation
        colour(0, -1, 0.5f, 1, 0),           // negative contrast
        colour(0.5f, 60, 3, 1.7f, 0),        // large contrast
        colour(0.1f, 2e7f, 0.5f, 1, 10),     // far beyond any slider
        colour(0.1f, 1e35f, 0.5f, 1, 0),     // beyond single precision
        colour(0, 1, 0.5f, 0, 0),            // gamma 0
        colour(0, 1, 0.5f, -2, 0),           // negative gamma
    };
    for (const EffectParameters &p : chosen)
        expectNearReference(pixels, p);

    std::mt19937 random(11);
    std::uniform_real_distribution<float> brightness(-1, 1), contrast(0, 4), saturation(0, 3), gamma(0.1f, 5),
        hue(-180, 180), coin(0, 1);
    const QImage fewer = randomPixels(4000, 3);
    for (int run = 0; run < 60; ++run)
        expectNearReference(fewer, colour(brightness(random), contrast(random), coin(random) < 0.3f ? 1.0f : saturation(random),
                                          gamma(random), coin(random) < 0.3f ? 0.0f : hue(random)));

    const QImage nearBlack = make(4, 4, [](int x, int y) { return qRgba(x / 2, y / 2, (x + y) % 2, 255); });
    for (float brightness : {1e-7f, 1e-6f, 5e-6f, 3e-5f, 2e-4f, 1e-3f, 0.0f})
        for (float gamma : {0.02f, 0.1f, 0.3f, 0.6f})
            for (float saturation : {0.5f, 1.0f})
                for (float hue : {0.0f, 60.0f})
                    expectNearReference(nearBlack, colour(brightness, 1, saturation, gamma, hue));
    // Black under brightness 1e-6 and gamma 0.02: (1e-6)^0.02 * 255 = 193.4.
    EXPECT_EQ(applyToPixel(qRgb(0, 0, 0), colour(1e-6f, 1, 0.5f, 0.02f, 0)), qRgb(193, 193, 193));

    // Rows longer than one chunk, with a short tail, and rows with padding.
    for (int width : {1, 63, 64, 65, 200, 1001}) {
        const QImage row = randomPixels(width, unsigned(width));
        const QImage tall = make(width, 3, [&](int x, int y) { return row.pixel((x + y) % width, 0); });
        expectNearReference(tall, colour(0.05f, 1.2f, 1.3f, 0.8f, 30));
        expectNearReference(tall, colour(0, 1, 1, 1, 30));
    }
}
