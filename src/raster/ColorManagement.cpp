#include "ColorManagement.h"

#include <QHashFunctions>
#include <QFile>
#include <QThread>

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace zembrix {

namespace {

// Profiles larger than this are not read: real ones are a few megabytes at most.
constexpr qsizetype kMaxProfileBytes = 32 * 1024 * 1024;
// Transforms kept before the cache starts again.
constexpr size_t kMaxTransforms = 32;

// Nodes per axis of the table of an 8-bit CMYK transform: lcms2's own
// choice for four input channels, so the table holds what its optimised
// transform interpolates from.
constexpr int kGrid = 17;

// An 8-bit CMYK to 8-bit RGB transform as a table of 16-bit RGB results
// sampled from the full transform at kGrid^4 nodes, interpolated as lcms2
// interpolates its own: tetrahedral within the M, Y, K cube of the two C
// slices around the pixel, then linear between them. One table lookup
// instead of lcms2's pipeline evaluation per pixel, several times faster.
class CmykTable
{
public:
    static std::unique_ptr<CmykTable> sample(cmsHPROFILE source)
    {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHTRANSFORM wide = cmsCreateTransform(source, TYPE_CMYK_16, srgb, TYPE_RGB_16, INTENT_PERCEPTUAL,
                                                cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE);
        cmsCloseProfile(srgb);
        if (!wide)
            return nullptr;
        auto table = std::make_unique<CmykTable>();
        constexpr int nodes = kGrid * kGrid * kGrid * kGrid;
        std::vector<quint16> in(size_t(nodes) * 4);
        for (int i = 0; i < nodes; ++i) {
            int rest = i;
            for (int c = 3; c >= 0; --c) { // C slowest: index ((c * G + m) * G + y) * G + k
                in[size_t(i) * 4 + size_t(c)] = quint16((rest % kGrid) * 65535 / (kGrid - 1));
                rest /= kGrid;
            }
        }
        table->m_nodes.resize(size_t(nodes) * 3);
        cmsDoTransform(wide, in.data(), table->m_nodes.data(), cmsUInt32Number(nodes));
        cmsDeleteTransform(wide);
        for (int v = 0; v < 256; ++v) {
            // v / 255 of the way along kGrid - 1 intervals, in 1/4096 steps.
            const qint32 position = v * (kGrid - 1) * 4096 / 255;
            table->m_index[size_t(v)] = std::min<qint32>(position >> 12, kGrid - 2);
            table->m_fraction[size_t(v)] = position - (table->m_index[size_t(v)] << 12);
        }
        return table;
    }

    // `flip` 0xFF takes every sample as 255 - value.
    void apply(const uchar *in, uchar *out, int pixels, uchar flip) const
    {
        constexpr qint32 dc = kGrid * kGrid * kGrid, dm = kGrid * kGrid, dy = kGrid, dk = 1;
        const quint16 *nodes = m_nodes.data();
        // Runs of one colour (paper, flat fills) are converted once.
        quint32 previous = 0;
        uchar previousOut[3] = {0, 0, 0};
        bool havePrevious = false;
        for (int p = 0; p < pixels; ++p, in += 4, out += 3) {
            quint32 key;
            std::memcpy(&key, in, 4);
            if (havePrevious && key == previous) {
                std::memcpy(out, previousOut, 3);
                continue;
            }
            const uchar c = in[0] ^ flip, m = in[1] ^ flip, y = in[2] ^ flip, k = in[3] ^ flip;
            const qint32 node = m_index[c] * dc + m_index[m] * dm + m_index[y] * dy + m_index[k];
            const qint32 fc = m_fraction[c];
            // The tetrahedron of the M, Y, K cube holding the point: its
            // corners are reached by stepping along the axes in the order of
            // their fractions, largest first.
            qint32 f[3] = {m_fraction[m], m_fraction[y], m_fraction[k]};
            qint32 step[3] = {dm, dy, dk};
            if (f[0] < f[1]) {
                std::swap(f[0], f[1]);
                std::swap(step[0], step[1]);
            }
            if (f[1] < f[2]) {
                std::swap(f[1], f[2]);
                std::swap(step[1], step[2]);
            }
            if (f[0] < f[1]) {
                std::swap(f[0], f[1]);
                std::swap(step[0], step[1]);
            }
            const qint32 corner1 = step[0] * 3, corner2 = corner1 + step[1] * 3, corner3 = corner2 + step[2] * 3;
            // Fractions are in 1/4096 steps, so every product below fits 32 bits.
            for (int o = 0; o < 3; ++o) {
                qint32 slice[2];
                for (int s = 0; s < 2; ++s) {
                    const quint16 *n = nodes + size_t(node + (s ? dc : 0)) * 3 + o;
                    const qint32 v0 = n[0], v1 = n[corner1], v2 = n[corner2], v3 = n[corner3];
                    slice[s] = v0 + (((v1 - v0) * f[0] + (v2 - v1) * f[1] + (v3 - v2) * f[2] + 2048) >> 12);
                }
                const qint32 v16 = slice[0] + (((slice[1] - slice[0]) * fc + 2048) >> 12);
                out[o] = uchar((std::clamp<qint32>(v16, 0, 65535) * 255 + 32767) / 65535);
            }
            previous = key;
            std::memcpy(previousOut, out, 3);
            havePrevious = true;
        }
    }

private:
    std::vector<quint16> m_nodes; // kGrid^4 nodes of R, G, B
    std::array<qint32, 256> m_index{};
    std::array<qint32, 256> m_fraction{};
};

struct Transform {
    cmsHTRANSFORM handle = nullptr;
    std::unique_ptr<CmykTable> cmyk; // for 8-bit CMYK without alpha
    ~Transform()
    {
        if (handle)
            cmsDeleteTransform(handle);
    }
};

cmsUInt32Number inputFormat(const RasterImage &raster)
{
    const int bytes = raster.bitsPerComponent == 16 ? 2 : 1;
    const int channels = raster.colorComponents();
    cmsUInt32Number space = raster.model == ColorModel::Gray  ? PT_GRAY
                            : raster.model == ColorModel::RGB ? PT_RGB
                                                              : PT_CMYK;
    return COLORSPACE_SH(space) | CHANNELS_SH(channels) | BYTES_SH(bytes) | EXTRA_SH(raster.hasAlpha ? 1 : 0);
}

cmsUInt32Number outputFormat(int bpc, bool alpha)
{
    return COLORSPACE_SH(PT_RGB) | CHANNELS_SH(3) | BYTES_SH(bpc == 16 ? 2 : 1) | EXTRA_SH(alpha ? 1 : 0);
}

bool spaceMatches(cmsColorSpaceSignature space, ColorModel model)
{
    switch (model) {
    case ColorModel::Gray: return space == cmsSigGrayData;
    case ColorModel::RGB: return space == cmsSigRgbData;
    case ColorModel::CMYK: return space == cmsSigCmykData;
    }
    return false;
}

cmsHTRANSFORM buildTransform(cmsHPROFILE source, cmsUInt32Number in, cmsUInt32Number out, bool alpha)
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number flags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;
    if (alpha)
        flags |= cmsFLAGS_COPY_ALPHA;
    cmsHTRANSFORM transform = cmsCreateTransform(source, in, srgb, out, INTENT_PERCEPTUAL, flags);
    cmsCloseProfile(srgb);
    return transform;
}

} // namespace

// What a cache entry is made of.
struct Made {
    cmsHTRANSFORM handle = nullptr;
    std::unique_ptr<CmykTable> cmyk;
};

struct ColorTransformCache::Private {
    mutable std::mutex mutex;
    // Keyed by the profile's size and a fast hash of its bytes, and the pixel
    // formats: a colliding profile could only give another profile's colours.
    std::map<std::tuple<qsizetype, size_t, std::uint64_t>, std::shared_ptr<Transform>> transforms;
    std::uint64_t hits = 0;
    std::uint64_t builds = 0;
    QStringList fallbackPaths;
    std::once_flag fallbackRead;
    QByteArray fallback;

    // The cached transform for the key, or one made by `make` (null handles
    // are cached too, so a bad profile is tried once).
    template<typename Make>
    std::shared_ptr<Transform> find(QByteArrayView profile, std::uint64_t format, Make make)
    {
        const auto key = std::make_tuple(profile.size(), qHash(profile, 0), format);
        {
            std::lock_guard<std::mutex> lock(mutex);
            const auto it = transforms.find(key);
            if (it != transforms.end()) {
                ++hits;
                return it->second;
            }
        }
        auto made = std::make_shared<Transform>();
        Made parts = make();
        made->handle = parts.handle;
        made->cmyk = std::move(parts.cmyk);
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = transforms.find(key);
        if (it != transforms.end()) { // another thread built it meanwhile
            ++hits;
            return it->second;
        }
        ++builds;
        if (transforms.size() >= kMaxTransforms)
            transforms.clear();
        transforms.emplace(key, made);
        return made;
    }
};

ColorTransformCache::ColorTransformCache(QStringList fallbackPaths)
    : d(std::make_unique<Private>())
{
    d->fallbackPaths = std::move(fallbackPaths);
}

ColorTransformCache::~ColorTransformCache() = default;

bool ColorTransformCache::convertToSrgb(RasterImage &raster, QByteArrayView profile, qint64 maxBytes, bool inverted)
{
    if (raster.isNull() || profile.isEmpty() || profile.size() > kMaxProfileBytes)
        return false;
    const cmsUInt32Number in = inputFormat(raster);
    const cmsUInt32Number outFormat = outputFormat(raster.bitsPerComponent, raster.hasAlpha);
    const ColorModel model = raster.model;
    const bool alpha = raster.hasAlpha;
    const auto transform = d->find(profile, (std::uint64_t(in) << 32) | outFormat, [&]() -> Made {
        cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
        if (!source)
            return Made{};
        Made made;
        if (spaceMatches(cmsGetColorSpace(source), model)) {
            made.handle = buildTransform(source, in, outFormat, alpha);
            if (made.handle && model == ColorModel::CMYK && in == TYPE_CMYK_8)
                made.cmyk = CmykTable::sample(source);
        }
        cmsCloseProfile(source);
        return made;
    });
    if (!transform->handle)
        return false;
    RasterImage out = RasterImage::create(raster.width, raster.height, ColorModel::RGB, raster.bitsPerComponent,
                                          raster.hasAlpha, maxBytes, false); // every row is written below
    if (out.isNull())
        return false;
    if (inverted && !transform->cmyk)
        invertSamples(raster);
    const uchar flip = inverted ? 0xFF : 0;
    const auto convertRows = [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            if (transform->cmyk)
                transform->cmyk->apply(raster.row(y), out.row(y), raster.width, flip);
            else
                cmsDoTransform(transform->handle, raster.row(y), out.row(y), cmsUInt32Number(raster.width));
        }
    };
    // A large picture is converted on every core (the transform keeps no
    // state between calls: it is made without lcms2's cache).
    const int parts =
        qint64(raster.width) * raster.height >= (qint64(1) << 20) ? std::clamp(QThread::idealThreadCount(), 1, 16) : 1;
    std::vector<std::thread> helpers;
    for (int part = 1; part < parts; ++part) {
        const int from = int(qint64(raster.height) * part / parts),
                  to = int(qint64(raster.height) * (part + 1) / parts);
        try {
            helpers.emplace_back(convertRows, from, to);
        } catch (const std::system_error &) {
            convertRows(from, to); // no thread to be had: this one does it
        }
    }
    convertRows(0, int(qint64(raster.height) / parts));
    for (std::thread &helper : helpers)
        helper.join();
    raster = std::move(out);
    return true;
}

RasterImage ColorTransformCache::labToSrgb(const RasterImage &lab, const std::array<double, 4> &range,
                                           const std::array<double, 3> &white, qint64 maxBytes, QByteArrayView profile)
{
    if (lab.isNull() || lab.bitsPerComponent != 8 || lab.colorComponents() != 3 || !(white[1] > 0)
        || profile.size() > kMaxProfileBytes)
        return {};
    RasterImage out = RasterImage::create(lab.width, lab.height, ColorModel::RGB, 8, lab.hasAlpha, maxBytes);
    if (out.isNull())
        return {};
    const double sum = white[0] + white[1] + white[2];
    if (!(sum > 0) || !std::isfinite(sum))
        return {};
    const cmsCIExyY whitePoint{white[0] / sum, white[1] / sum, 1.0};
    // The key of the engine's own Lab profile is its white point: it has no bytes.
    const QByteArray whiteKey = QByteArray("Lab:") + QByteArray::number(whitePoint.x, 'g', 17) + ','
                                + QByteArray::number(whitePoint.y, 'g', 17);
    const cmsUInt32Number outFormat = outputFormat(8, false);
    const QByteArrayView key = profile.isEmpty() ? QByteArrayView(whiteKey) : profile;
    const auto transform = d->find(key, (std::uint64_t(TYPE_Lab_DBL) << 32) | outFormat, [&]() -> Made {
        cmsHPROFILE source = profile.isEmpty() ? cmsCreateLab4Profile(&whitePoint)
                                               : cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
        if (!source)
            return Made{};
        Made made;
        made.handle = cmsGetColorSpace(source) == cmsSigLabData ? buildTransform(source, TYPE_Lab_DBL, outFormat, false)
                                                                : nullptr;
        cmsCloseProfile(source);
        return made;
    });
    if (!transform->handle)
        return {};
    const int step = lab.samplesPerPixel();
    std::vector<cmsCIELab> values(size_t(lab.width));
    std::vector<uchar> rgb(size_t(lab.width) * 3);
    for (int y = 0; y < lab.height; ++y) {
        const uchar *in = lab.row(y);
        for (int x = 0; x < lab.width; ++x, in += step) {
            values[size_t(x)].L = in[0] * 100.0 / 255.0;
            values[size_t(x)].a = range[0] + in[1] * (range[1] - range[0]) / 255.0;
            values[size_t(x)].b = range[2] + in[2] * (range[3] - range[2]) / 255.0;
        }
        cmsDoTransform(transform->handle, values.data(), rgb.data(), cmsUInt32Number(lab.width));
        uchar *o = out.row(y);
        const uchar *alphaIn = lab.row(y) + 3;
        for (int x = 0; x < lab.width; ++x) {
            std::memcpy(o, &rgb[size_t(x) * 3], 3);
            o += 3;
            if (lab.hasAlpha) {
                *o++ = *alphaIn;
                alphaIn += step;
            }
        }
    }
    return out;
}

std::uint64_t ColorTransformCache::hits() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->hits;
}

std::uint64_t ColorTransformCache::builds() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->builds;
}

void ColorTransformCache::clear()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->transforms.clear();
    d->hits = d->builds = 0;
}

QStringList fallbackCmykProfilePaths()
{
    return {
        QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc"),
        QStringLiteral("/usr/share/color/icc/ghostscript/ps_cmyk.icc"),
        QStringLiteral("/usr/share/color/icc/default_cmyk.icc"),
    };
}

QByteArray ColorTransformCache::fallbackCmykProfile()
{
    std::call_once(d->fallbackRead, [this] {
        for (const QString &path : d->fallbackPaths) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxProfileBytes)
                continue;
            const QByteArray bytes = file.readAll();
            cmsHPROFILE handle = cmsOpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size()));
            if (!handle)
                continue;
            const bool cmyk = cmsGetColorSpace(handle) == cmsSigCmykData;
            cmsCloseProfile(handle);
            if (cmyk) {
                d->fallback = bytes;
                return;
            }
        }
    });
    return d->fallback;
}

} // namespace zembrix
