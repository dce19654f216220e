#include "images/ColorEffects.h"

#include "images/EffectParameters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

namespace zembrix {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLumaR = 0.2125;
constexpr double kLumaG = 0.7154;
constexpr double kLumaB = 0.0721;

// Curve values that feed the hue matrix are kept with 12 fraction bits.
constexpr int kCurveBits = 12;
constexpr int kCurveOne = 1 << kCurveBits;

double clamp01(double v)
{
    return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; // also maps NaN to 0
}

double finiteOr(float value, double neutral)
{
    return std::isfinite(value) ? double(value) : neutral;
}

// The filter values in double precision, with the closed formulas of the chain.
struct ColorValues {
    double brightness;
    double contrast;
    double saturation;
    double gamma;
    bool hasHue;
    std::array<double, 9> hue; // row-major, acting on (R, G, B)

    explicit ColorValues(const EffectParameters &p)
        : brightness(finiteOr(p.brightness, 0.0))
        , contrast(finiteOr(p.contrast, 1.0))
        , saturation(finiteOr(p.saturation, 1.0))
        , gamma(finiteOr(p.gamma, 1.0))
        , hasHue(std::isfinite(p.hue) && p.hue != 0.0f)
    {
        const float radians = hasHue ? float(double(p.hue) * kPi / 180.0) : 0.0f;
        const double c = std::cos(double(radians));
        const double s = std::sin(double(radians));
        hue = {0.213 + c * 0.787 - s * 0.213, 0.715 - c * 0.715 - s * 0.715, 0.072 - c * 0.072 + s * 0.928,
               0.213 - c * 0.213 + s * 0.143, 0.715 + c * 0.285 + s * 0.140, 0.072 - c * 0.072 - s * 0.283,
               0.213 - c * 0.213 - s * 0.787, 0.715 - c * 0.715 + s * 0.715, 0.072 + c * 0.928 + s * 0.072};
    }

    // Constant part of the controls: t = contrast * (x + brightness - 0.5) + 0.5.
    double offset() const { return contrast * (brightness - 0.5) + 0.5; }

    // Clamp of the controls' result, then the gamma step.
    double curve(double t) const { return clamp01(std::pow(clamp01(t), gamma)); }

    // The controls and gamma on one component when saturation is 1.
    double perChannel(double x) const { return curve(contrast * x + offset()); }
};

int level(double v)
{
    return int(std::lround(v * 255.0));
}

uint16_t curveFixed(double v)
{
    return uint16_t(std::lround(v * kCurveOne));
}

inline uint32_t packPixel(uint32_t alphaOf, int r, int g, int b)
{
    return (alphaOf & 0xff000000u) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// Pixels are worked on in chunks of this many: per-pixel table look-ups run as
// plain scalar loops over the chunk, the arithmetic around them as loops of
// fixed length over planar arrays, which the compiler turns into vector code.
constexpr int kChunk = 64;

// Calls `work(pixels)` on every run of kChunk pixels of the row; the last,
// shorter run is padded through a local buffer.
template<typename Work>
void forEachChunk(uint32_t *row, int count, Work &&work)
{
    int start = 0;
    for (; start + kChunk <= count; start += kChunk)
        work(row + start);
    if (start < count) {
        uint32_t tail[kChunk] = {};
        const int rest = count - start;
        std::copy(row + start, row + count, tail);
        work(tail);
        std::copy(tail, tail + rest, row + start);
    }
}

// Layout of the curve table used when saturation is not 1. The controls'
// result t is looked up in 2^-17 steps below 2^-7 (where a gamma below 1 is
// steep) and in 2^-12 steps above:
//   entry 0                        t <= 0
//   entries 1 .. 1025              t = (k - 1) / 2^17        for 0 < t < 2^-7
//   entries 1026 .. 5090           t = (k - 994) / 2^12      for t >= 2^-7
constexpr int kFineSteps = 1 << 17;
constexpr int kFineCount = 1 << 10;
constexpr int kCoarseSteps = 1 << 12;
constexpr int kCoarseRatio = kFineSteps / kCoarseSteps;
constexpr int kCoarseBase = kFineCount + 2 - kFineCount / kCoarseRatio;
constexpr int kCurveEntries = kCoarseBase + kCoarseSteps + 1;
// Marks an entry whose interval is too wide for one value: the curve is then
// computed directly for each pixel that falls into it.
constexpr uint16_t kComputeDirectly = 0xffff;

// Colour stage compiled for one set of values. Which kernel runs depends on the
// values:
//  - saturation 1, no hue: the whole stage is one function of each component,
//    a 256-entry table of levels;
//  - saturation 1 with hue: a 256-entry table of 12-bit curve values, then
//    the hue matrix;
//  - saturation not 1: the controls are linear in (R, G, B) and are summed in
//    single precision; the clamp and gamma come from the curve table above,
//    except for entries over whose width the curve moves too far, which are
//    computed directly. Then the hue matrix if any.
class ColorKernel
{
public:
    explicit ColorKernel(const EffectParameters &parameters)
        : m_values(parameters)
    {
        double hueGain = 1.0;
        if (m_values.hasHue) {
            // The hue matrix in float, scaled to take 12-bit curve values to levels.
            for (int k = 0; k < 9; ++k)
                m_hue[k] = float(m_values.hue[k] * 255.0 / kCurveOne);
            for (int row = 0; row < 3; ++row) {
                const double *h = &m_values.hue[3 * row];
                hueGain = std::max(hueGain, std::abs(h[0]) + std::abs(h[1]) + std::abs(h[2]));
            }
        }
        if (m_values.saturation == 1.0) {
            m_mode = m_values.hasHue ? Mode::ChannelHue : Mode::Channel;
            m_channelTable.resize(256);
            for (int v = 0; v < 256; ++v) {
                const double y = m_values.perChannel(v / 255.0);
                m_channelTable[v] = m_values.hasHue ? curveFixed(y) : uint16_t(level(y));
            }
        } else {
            m_mode = Mode::Luma;
            setUpLuma(hueGain);
        }
    }

    void processRow(uint32_t *row, int count) const
    {
        switch (m_mode) {
        case Mode::Channel: return channelRow(row, count);
        case Mode::ChannelHue: return forEachChunk(row, count, [this](uint32_t *px) { channelHueChunk(px); });
        case Mode::Luma:
            if (m_values.hasHue)
                return forEachChunk(row, count, [this](uint32_t *px) { lumaChunk<true>(px); });
            return forEachChunk(row, count, [this](uint32_t *px) { lumaChunk<false>(px); });
        }
    }

private:
    enum class Mode { Channel, ChannelHue, Luma };

    void setUpLuma(double hueGain)
    {
        const ColorValues &v = m_values;
        // Controls as t = diagonal * C + lumaR * R + lumaG * G + lumaB * B +
        // offset for 8-bit components.
        const double lumaFactor = v.contrast * (1.0 - v.saturation) / 255.0;
        m_controls = {v.contrast * v.saturation / 255.0, lumaFactor * kLumaR, lumaFactor * kLumaG, lumaFactor * kLumaB,
                      v.offset()};
        for (int k = 0; k < 5; ++k)
            m_controlsInSteps[k] = float(m_controls[k] * kFineSteps);

        // Single precision sums terms of at most `bound`, so t is off by less
        // than bound * 2^-21. Beyond 2^20 (far outside any useful range) the
        // sums are taken in double precision instead.
        const double bound = std::abs(v.contrast * v.saturation) + std::abs(v.contrast * (1.0 - v.saturation))
                             + std::abs(v.offset()) + 1.0;
        m_singlePrecision = bound < double(1 << 20);
        const double sumError = m_singlePrecision ? std::ldexp(bound, -21) : 1e-12;

        // One table entry stands for t within half a step (plus the summing
        // error) of its own value; where the curve moves by `tolerance` or more
        // over that interval, the entry is computed directly. The tolerance
        // leaves room for the hue matrix, which can enlarge a deviation.
        const double tolerance = 0.8 / hueGain / 255.0;
        m_curveTable.assign(kCurveEntries, 0);
        m_curveTable[0] = v.hasHue ? curveFixed(v.curve(0.0)) : uint16_t(level(v.curve(0.0)));
        for (int k = 1; k < kCurveEntries; ++k) {
            const bool fine = k <= kFineCount + 1;
            const double step = fine ? 1.0 / kFineSteps : 1.0 / kCoarseSteps;
            const double t = fine ? (k - 1) * step : (k - kCoarseBase) * step;
            const double y = v.curve(t);
            const double reach = step / 2 + sumError;
            const double spread = std::max(std::abs(y - v.curve(std::max(0.0, t - reach))),
                                           std::abs(v.curve(std::min(1.0, t + reach)) - y));
            if (spread >= tolerance)
                m_curveTable[k] = kComputeDirectly;
            else
                m_curveTable[k] = v.hasHue ? curveFixed(y) : uint16_t(level(y));
        }
    }

    void channelRow(uint32_t *row, int count) const
    {
        const uint16_t *t = m_channelTable.data();
        for (int i = 0; i < count; ++i) {
            const uint32_t p = row[i];
            row[i] = packPixel(p, t[(p >> 16) & 0xff], t[(p >> 8) & 0xff], t[p & 0xff]);
        }
    }

    // The hue matrix on 12-bit curve values, rounded to levels and packed with
    // the alpha of `px`, over one chunk.
    void hueChunk(uint32_t *px, const int32_t *r, const int32_t *g, const int32_t *b) const
    {
        const float *m = m_hue.data();
        for (int i = 0; i < kChunk; ++i) {
            const float fr = float(r[i]), fg = float(g[i]), fb = float(b[i]);
            const float outR = std::clamp(m[0] * fr + m[1] * fg + m[2] * fb + 0.5f, 0.0f, 255.5f);
            const float outG = std::clamp(m[3] * fr + m[4] * fg + m[5] * fb + 0.5f, 0.0f, 255.5f);
            const float outB = std::clamp(m[6] * fr + m[7] * fg + m[8] * fb + 0.5f, 0.0f, 255.5f);
            px[i] = packPixel(px[i], int(outR), int(outG), int(outB));
        }
    }

    void channelHueChunk(uint32_t *px) const
    {
        const uint16_t *t = m_channelTable.data();
        int32_t r[kChunk], g[kChunk], b[kChunk];
        for (int i = 0; i < kChunk; ++i) {
            const uint32_t p = px[i];
            r[i] = t[(p >> 16) & 0xff];
            g[i] = t[(p >> 8) & 0xff];
            b[i] = t[p & 0xff];
        }
        hueChunk(px, r, g, b);
    }

    // The controls' result t for component `shift` of `p`, in double precision.
    double controlsAt(uint32_t p, int shift) const
    {
        const std::array<double, 5> &c = m_controls;
        return c[0] * double((p >> shift) & 0xff) + c[1] * double((p >> 16) & 0xff) + c[2] * double((p >> 8) & 0xff)
               + c[3] * double(p & 0xff) + c[4];
    }

    // Curve table entry for t given in fine steps (t * 2^17); the same
    // arithmetic for float and double. `top` is kFineSteps and `fineLimit`
    // kFineCount: passed in as values, because with constants GCC 12 no longer
    // turns the clamp into vector code.
    template<typename Real>
    static int32_t curveEntry(Real s, Real top, Real fineLimit)
    {
        const Real clamped = std::clamp(s, Real(0), top);
        const int32_t fine = int32_t(clamped + Real(0.5)) + 1;
        const int32_t coarse = int32_t(clamped * (Real(1) / kCoarseRatio) + Real(0.5)) + kCoarseBase;
        // Selected with masks rather than branches, to keep the loop vector code.
        const int32_t useFine = clamped < fineLimit ? -1 : 0;
        const int32_t positive = s > Real(0) ? -1 : 0;
        return ((fine & useFine) | (coarse & ~useFine)) & positive;
    }

    // The curve table entries of a chunk, in a loop of fixed length over
    // single-precision values, which the compiler turns into vector code.
    void curveEntries(const uint32_t *__restrict px, int32_t *__restrict kr, int32_t *__restrict kg,
                      int32_t *__restrict kb) const
    {
        if (!m_singlePrecision) {
            for (int i = 0; i < kChunk; ++i) {
                kr[i] = curveEntry<double>(controlsAt(px[i], 16) * kFineSteps, kFineSteps, kFineCount);
                kg[i] = curveEntry<double>(controlsAt(px[i], 8) * kFineSteps, kFineSteps, kFineCount);
                kb[i] = curveEntry<double>(controlsAt(px[i], 0) * kFineSteps, kFineSteps, kFineCount);
            }
            return;
        }
        const float diagonal = m_controlsInSteps[0], lumaR = m_controlsInSteps[1], lumaG = m_controlsInSteps[2],
                    lumaB = m_controlsInSteps[3], offset = m_controlsInSteps[4];
        const float top = m_fineTop, fineLimit = m_fineLimit;
        for (int i = 0; i < kChunk; ++i) {
            const int32_t p = int32_t(px[i]);
            const float r = float((p >> 16) & 0xff), g = float((p >> 8) & 0xff), b = float(p & 0xff);
            const float luma = lumaR * r + lumaG * g + lumaB * b + offset;
            kr[i] = curveEntry<float>(diagonal * r + luma, top, fineLimit);
            kg[i] = curveEntry<float>(diagonal * g + luma, top, fineLimit);
            kb[i] = curveEntry<float>(diagonal * b + luma, top, fineLimit);
        }
    }

    // The curve computed directly for component `shift` of `p`.
    int32_t directCurveValue(uint32_t p, int shift) const
    {
        const double y = m_values.curve(controlsAt(p, shift));
        return m_values.hasHue ? curveFixed(y) : level(y);
    }

    template<bool Hue>
    void lumaChunk(uint32_t *px) const
    {
        int32_t r[kChunk], g[kChunk], b[kChunk];
        curveEntries(px, r, g, b);
        const uint16_t *table = m_curveTable.data();
        bool anyDirect = false;
        for (int i = 0; i < kChunk; ++i) {
            r[i] = table[r[i]];
            g[i] = table[g[i]];
            b[i] = table[b[i]];
            anyDirect |= (r[i] == kComputeDirectly) | (g[i] == kComputeDirectly) | (b[i] == kComputeDirectly);
        }
        if (anyDirect) {
            for (int i = 0; i < kChunk; ++i) {
                if (r[i] == kComputeDirectly)
                    r[i] = directCurveValue(px[i], 16);
                if (g[i] == kComputeDirectly)
                    g[i] = directCurveValue(px[i], 8);
                if (b[i] == kComputeDirectly)
                    b[i] = directCurveValue(px[i], 0);
            }
        }
        if (Hue) {
            hueChunk(px, r, g, b);
        } else {
            for (int i = 0; i < kChunk; ++i)
                px[i] = packPixel(px[i], r[i], g[i], b[i]);
        }
    }

    ColorValues m_values;
    Mode m_mode = Mode::Channel;
    // Levels, or 12-bit curve values when the hue follows.
    std::vector<uint16_t> m_channelTable;
    std::vector<uint16_t> m_curveTable;
    // Coefficients of the controls (diagonal, lumaR, lumaG, lumaB, offset),
    // and the same scaled to fine table steps.
    std::array<double, 5> m_controls{};
    std::array<float, 5> m_controlsInSteps{};
    bool m_singlePrecision = false;
    float m_fineTop = kFineSteps;
    float m_fineLimit = kFineCount;
    std::array<float, 9> m_hue{};
};

} // namespace

QImage applyColorEffects(QImage image, const EffectParameters &parameters)
{
    if (image.isNull() || parameters.isColorNeutral())
        return image;
    const QImage::Format working = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (image.format() != working)
        image = image.convertToFormat(working);
    if (image.isNull())
        return {};

    std::optional<ColorKernel> kernel;
    try {
        kernel.emplace(parameters);
    } catch (const std::bad_alloc &) {
        return {};
    }
    uchar *bits = image.bits();
    if (!bits)
        return {};
    const qsizetype stride = image.bytesPerLine();
    for (int y = 0; y < image.height(); ++y)
        kernel->processRow(reinterpret_cast<uint32_t *>(bits + y * stride), image.width());
    return image;
}

} // namespace zembrix
