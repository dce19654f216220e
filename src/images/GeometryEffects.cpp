#include "images/GeometryEffects.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>

namespace zembrix {
#endif

namespace {

constexpr double kPi = 3.141592653589793;

// Largest side and area the free rotation will produce (2 GiB of pixels);
// beyond them the result is null rather than a runaway allocation.
constexpr double kMaxRotatedSide = 1 << 20;
constexpr double kMaxRotatedArea = 1 << 29;

enum class QuarterTurn { None, Ccw90, Half, Cw90, Free };

QuarterTurn classify(float angleDegrees)
{
    if (!std::isfinite(angleDegrees))
        return QuarterTurn::None;
    double turned = std::fmod(double(angleDegrees), 360.0);
    if (turned < 0)
        turned += 360.0;
    if (turned == 0.0)
        return QuarterTurn::None;
    if (turned == 90.0)
        return QuarterTurn::Ccw90;
    if (turned == 180.0)
        return QuarterTurn::Half;
    if (turned == 270.0)
        return QuarterTurn::Cw90;
    return QuarterTurn::Free;
}

// The rotation in y-up space, x' = x cos - y sin, y' = x sin + y cos, applied to
// the rectangle (0, 0, width, height), and the box that holds the result.
struct FreeRotation {
    double cosA = 1.0;
    double sinA = 0.0;
    double minX = 0.0;
    double minY = 0.0;
    double boxWidth = 0.0;
    double boxHeight = 0.0;

    FreeRotation(int width, int height, float angleDegrees)
    {
        const double radians = double(angleDegrees) * kPi / 180.0;
        cosA = std::cos(radians);
        sinA = std::sin(radians);
        const double xs[4] = {0.0, width * cosA, -height * sinA, width * cosA - height * sinA};
        const double ys[4] = {0.0, width * sinA, height * cosA, width * sinA + height * cosA};
        minX = *std::min_element(xs, xs + 4);
        minY = *std::min_element(ys, ys + 4);
        boxWidth = *std::max_element(xs, xs + 4) - minX;
        boxHeight = *std::max_element(ys, ys + 4) - minY;
    }

    // Whole pixels that hold the box; the small allowance keeps rounding noise
    // (a box of 30.0000000001) from adding a row of nothing.
    static int wholePixels(double extent) { return std::max(1, int(std::ceil(extent - 1e-6))); }
    int width() const { return wholePixels(boxWidth); }
    int height() const { return wholePixels(boxHeight); }

    bool tooLarge() const
    {
        return boxWidth > kMaxRotatedSide || boxHeight > kMaxRotatedSide
               || double(width()) * double(height()) > kMaxRotatedArea;
    }
};

// Linear mix of two premultiplied ARGB pixels, weight w of b in 256ths
// (0..256). Two channels are mixed per 32-bit multiply, each lane staying
// below 2^16.
inline uint32_t mix(uint32_t a, uint32_t b, uint32_t w)
{
    const uint32_t iw = 256 - w;
    uint32_t rb = (a & 0x00ff00ffu) * iw + (b & 0x00ff00ffu) * w;
    uint32_t ag = ((a >> 8) & 0x00ff00ffu) * iw + ((b >> 8) & 0x00ff00ffu) * w;
    rb = ((rb + 0x00800080u) >> 8) & 0x00ff00ffu;
    ag = (ag + 0x00800080u) & 0xff00ff00u;
    return rb | ag;
}

// Bilinear mix of four premultiplied pixels: first down (weight wy of the
// bottom pair), then across (weight wx of the right one), each step rounded.
inline uint32_t bilinear(uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br, uint32_t wx, uint32_t wy)
{
    return mix(mix(tl, bl, wy), mix(tr, br, wy), wx);
}

// The same for two horizontally adjacent pixels from each of two source
// lines; with SSE2 (every x86-64) all four channels are mixed at once.
inline uint32_t bilinearAdjacent(const uint32_t *top, const uint32_t *bottom, uint32_t wx, uint32_t wy)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(128);
    // 16-bit lanes: left pixel in the low half, right pixel in the high half.
    const __m128i upper = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(top)), zero);
    const __m128i lower = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(bottom)), zero);
    // Products stay below 2^16 (255 * 256), so 16-bit lanes do.
    __m128i down = _mm_add_epi16(_mm_mullo_epi16(upper, _mm_set1_epi16(short(256 - wy))),
                                 _mm_mullo_epi16(lower, _mm_set1_epi16(short(wy))));
    down = _mm_srli_epi16(_mm_add_epi16(down, half), 8);
    __m128i across = _mm_add_epi16(_mm_mullo_epi16(down, _mm_set1_epi16(short(256 - wx))),
                                   _mm_mullo_epi16(_mm_srli_si128(down, 8), _mm_set1_epi16(short(wx))));
    across = _mm_srli_epi16(_mm_add_epi16(across, half), 8);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(across, across)));
#else
    return bilinear(top[0], top[1], bottom[0], bottom[1], wx, wy);
#endif
}

// One target row of the free rotation: where its pixel centres land in the
// source, and the columns that can touch the source at all.
struct RotatedRow {
    double u = 0.0; // source position of column 0, in coordinates where source
    double v = 0.0; // pixel centres sit on integers (x right, y down)
    int first = 0;  // columns [first, last) may touch the source
    int last = 0;
};

// Free rotation by inverse mapping: every target pixel centre is taken back
// into the source and sampled bilinearly between the four nearest source pixel
// centres, pixels outside the source counting as transparent black (which
// gives the turned picture soft, antialiased edges). The target is filled in
// tiles so that the source lines a tile reads stay in the cache.
QImage rotateFree(const QImage &input, float angleDegrees)
{
    const FreeRotation rotation(input.width(), input.height(), angleDegrees);
    if (rotation.tooLarge())
        return {};
    const QImage source = input.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (source.isNull())
        return {};
    const int outWidth = rotation.width();
    const int outHeight = rotation.height();
    QImage out(outWidth, outHeight, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return {};
    out.setDotsPerMeterX(source.dotsPerMeterX());
    out.setDotsPerMeterY(source.dotsPerMeterY());

    const int w = source.width();
    const int h = source.height();
    const double c = rotation.cosA;
    const double s = rotation.sinA;
    uchar *outBits = out.bits();
    const qsizetype outStride = out.bytesPerLine();
    auto targetRow = [&](int j) { return reinterpret_cast<uint32_t *>(outBits + j * outStride); };

    std::vector<RotatedRow> rows;
    try {
        rows.resize(size_t(outHeight));
    } catch (const std::bad_alloc &) {
        return {};
    }
    for (int j = 0; j < outHeight; ++j) {
        RotatedRow &row = rows[size_t(j)];
        // Target pixel centre (0.5, outHeight - j - 0.5) in y-up space, moved
        // back by the box origin and turned back by the angle, gives a source
        // point in y-up space; flipping y and taking off the half pixel gives
        // the sampling coordinates. One target pixel to the right moves them
        // by (c, s).
        const double ux = 0.5 + rotation.minX;
        const double uy = outHeight - j - 0.5 + rotation.minY;
        row.u = ux * c + uy * s - 0.5;
        row.v = h - (-ux * s + uy * c) - 0.5;
        // Columns whose sample lies in (-1, w) x (-1, h) touch the source.
        double lo = 0.0;
        double hi = outWidth;
        auto limit = [&](double start, double step, double extent) {
            if (std::abs(step) < 1e-12) {
                if (start <= -1.0 || start >= extent)
                    hi = lo;
                return;
            }
            double a = (-1.0 - start) / step;
            double b = (extent - start) / step;
            if (a > b)
                std::swap(a, b);
            lo = std::max(lo, a);
            hi = std::min(hi, b);
        };
        limit(row.u, c, w);
        limit(row.v, s, h);
        row.first = hi > lo ? std::clamp(int(std::floor(lo)), 0, outWidth) : outWidth;
        row.last = hi > lo ? std::clamp(int(std::ceil(hi)) + 1, row.first, outWidth) : outWidth;
        uint32_t *target = targetRow(j);
        std::memset(target, 0, size_t(row.first) * 4);
        std::memset(target + row.last, 0, size_t(outWidth - row.last) * 4);
    }

    const uchar *srcBits = source.constBits();
    const qsizetype srcStride = source.bytesPerLine();
    auto sourceRow = [&](int64_t y) { return reinterpret_cast<const uint32_t *>(srcBits + y * srcStride); };
    auto sourcePixel = [&](int64_t x, int64_t y) -> uint32_t {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return 0;
        return sourceRow(y)[x];
    };
    constexpr double kOne = 4294967296.0; // 32.32 fixed point
    const int64_t stepX = std::llround(c * kOne);
    const int64_t stepY = std::llround(s * kOne);
    constexpr int kTile = 64;
    for (int bandTop = 0; bandTop < outHeight; bandTop += kTile) {
        const int bandBottom = std::min(outHeight, bandTop + kTile);
        for (int left = 0; left < outWidth; left += kTile) {
            const int right = std::min(outWidth, left + kTile);
            for (int j = bandTop; j < bandBottom; ++j) {
                const RotatedRow &row = rows[size_t(j)];
                const int first = std::max(row.first, left);
                const int last = std::min(row.last, right);
                if (first >= last)
                    continue;
                uint32_t *target = targetRow(j);
                int64_t fx = std::llround((row.u + first * c) * kOne);
                int64_t fy = std::llround((row.v + first * s) * kOne);
                for (int i = first; i < last; ++i, fx += stepX, fy += stepY) {
                    const int64_t x0 = fx >> 32;
                    const int64_t y0 = fy >> 32;
                    const uint32_t wx = (uint32_t(fx) >> 24) & 0xff;
                    const uint32_t wy = (uint32_t(fy) >> 24) & 0xff;
                    if (uint64_t(x0) < uint64_t(w - 1) && uint64_t(y0) < uint64_t(h - 1)) {
                        const uint32_t *top = sourceRow(y0) + x0;
                        const uint32_t *bottom = sourceRow(y0 + 1) + x0;
                        target[i] = bilinearAdjacent(top, bottom, wx, wy);
                    } else if (x0 < -1 || y0 < -1 || x0 >= w || y0 >= h) {
                        target[i] = 0;
                    } else {
                        target[i] = bilinear(sourcePixel(x0, y0), sourcePixel(x0 + 1, y0), sourcePixel(x0, y0 + 1),
                                             sourcePixel(x0 + 1, y0 + 1), wx, wy);
                    }
                }
            }
        }
    }
    return out;
}

// Quarter turns move whole pixels; QImage does them with its tiled rotation
// when given an exact +-90 degree matrix. QTransform's y axis points down, so
// its -90 degrees is a counter-clockwise turn on screen.
QImage rotateQuarter(QImage image, qreal qtDegrees)
{
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
        image = image.convertToFormat(QImage::Format_Indexed8);
    return image.transformed(QTransform().rotate(qtDegrees));
}

} // namespace

QImage rotate(QImage image, float angleDegrees)
{
    if (image.isNull())
        return {};
    switch (classify(angleDegrees)) {
    case QuarterTurn::None: return image;
    case QuarterTurn::Ccw90: return rotateQuarter(std::move(image), -90.0);
    case QuarterTurn::Half: return std::move(image).mirrored(true, true);
    case QuarterTurn::Cw90: return rotateQuarter(std::move(image), 90.0);
    case QuarterTurn::Free: break;
    }
    return rotateFree(image, angleDegrees);
}

QImage mirror(QImage image, int code)
{
    // Left to right for codes whose value without bit 1 is 2, top to bottom for
    // codes whose value without bit 2 is 1.
    const bool leftToRight = (code & ~1) == 2;
    const bool topToBottom = (code & ~2) == 1;
    if (image.isNull() || (!leftToRight && !topToBottom))
        return image;
    return std::move(image).mirrored(leftToRight, topToBottom);
}

} // namespace zembrix
