// Speed of the effects chain on a 24-megapixel RGBA picture: the colour stage
// for each of its kernels, the geometry steps and the whole chain. Each case is
// timed several times and the best run is reported in megapixels (of the
// source picture) per second, by the wall clock and by the process's CPU time
// (the machine is shared, so the CPU time is the steadier figure).

#include "images/ColorEffects.h"
#include "images/EffectParameters.h"
#include "images/EffectsPipeline.h"
#include "images/GeometryEffects.h"

#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace zembrix;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kRuns = 5;

// Smooth gradients with some noise and varying alpha, so that table lookups
// see a realistic spread of values.
QImage makePicture()
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    uint32_t state = 0x12345678u;
    for (int y = 0; y < kHeight; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int noise = int(state & 31) - 16;
            const int r = std::clamp(x * 255 / kWidth + noise, 0, 255);
            const int g = std::clamp(y * 255 / kHeight - noise, 0, 255);
            const int b = std::clamp(((x + y) >> 4 & 255) + noise, 0, 255);
            const int a = 128 + int(state >> 25);
            row[x] = qRgba(r, g, b, a);
        }
    }
    return image;
}

double processSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// `prepare` runs outside the timed part; `work` is timed.
void report(const char *name, const std::function<void()> &prepare, const std::function<QImage()> &work)
{
    double bestWall = -1.0;
    double bestCpu = -1.0;
    QSize size;
    for (int run = 0; run < kRuns; ++run) {
        prepare();
        QElapsedTimer timer;
        const double cpuStart = processSeconds();
        timer.start();
        const QImage result = work();
        const double wall = double(timer.nsecsElapsed()) * 1e-9;
        const double cpu = processSeconds() - cpuStart;
        size = result.size();
        if (bestWall < 0 || wall < bestWall)
            bestWall = wall;
        if (bestCpu < 0 || cpu < bestCpu)
            bestCpu = cpu;
    }
    const double megapixels = double(kWidth) * kHeight / 1e6;
    std::printf("%-46s %8.1f ms %8.1f MP/s   cpu %8.1f ms %8.1f MP/s   (result %dx%d)\n", name, bestWall * 1e3,
                megapixels / bestWall, bestCpu * 1e3, megapixels / bestCpu, size.width(), size.height());
}

EffectParameters colour(float brightness, float contrast, float saturation, float gamma, float hue)
{
    EffectParameters p;
    p.brightness = brightness;
    p.contrast = contrast;
    p.saturation = saturation;
    p.gamma = gamma;
    p.hue = hue;
    return p;
}

} // namespace

int main()
{
    const QImage picture = makePicture();
    std::printf("effects on a %dx%d ARGB32 picture (%.1f MP), best of %d runs\n", kWidth, kHeight,
                kWidth * double(kHeight) / 1e6, kRuns);

    // The colour stage runs in place on an unshared working copy, made before
    // the timer starts.
    QImage work;
    auto freshCopy = [&] { work = picture.copy(); };
    auto colourCase = [&](const char *name, const EffectParameters &p) {
        report(name, freshCopy, [&] { return applyColorEffects(std::move(work), p); });
    };
    colourCase("colour: brightness+contrast+gamma (tables)", colour(0.1f, 1.3f, 1.0f, 1.4f, 0.0f));
    colourCase("colour: hue only", colour(0.0f, 1.0f, 1.0f, 1.0f, 40.0f));
    colourCase("colour: saturation+contrast", colour(0.0f, 1.2f, 1.5f, 1.0f, 0.0f));
    colourCase("colour: saturation, gamma 0.6 (fine curve)", colour(0.0f, 1.0f, 0.5f, 0.6f, 0.0f));
    colourCase("colour: all five values", colour(0.05f, 1.2f, 1.3f, 0.8f, 30.0f));

    auto noPrep = [] {};
    report("rotate 90", noPrep, [&] { return rotate(picture, 90.0f); });
    report("rotate 180", noPrep, [&] { return rotate(picture, 180.0f); });
    report("rotate 33", noPrep, [&] { return rotate(picture, 33.0f); });
    report("mirror 1 (top to bottom)", noPrep, [&] { return mirror(picture, 1); });
    report("mirror 2 (left to right)", noPrep, [&] { return mirror(picture, 2); });

    EffectParameters full = colour(0.05f, 1.2f, 1.3f, 0.8f, 30.0f);
    full.flip = 2;
    full.angle = 90.0f;
    report("full chain: rotate 90, mirror 2, all colours", noPrep, [&] { return applyAllEffects(picture, full); });
    full.angle = 33.0f;
    report("full chain: rotate 33, mirror 2, all colours", noPrep, [&] { return applyAllEffects(picture, full); });
    return 0;
}
