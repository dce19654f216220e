#include "ColorManagement.h"

#include <QHashFunctions>
#include <QFile>

#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <mutex>
#include <utility>

namespace {

// Profiles larger than this are not read: real ones are a few megabytes at most.
constexpr qsizetype kMaxProfileBytes = 32 * 1024 * 1024;
// Transforms kept before the cache starts again.
constexpr size_t kMaxTransforms = 32;

struct Transform {
    cmsHTRANSFORM handle = nullptr;
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
    cmsUInt32Number space = raster.model == ColorModel::Gray ? PT_GRAY
        : raster.model == ColorModel::RGB                    ? PT_RGB
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
    template <typename Make>
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
        made->handle = make();
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

bool ColorTransformCache::convertToSrgb(RasterImage &raster, QByteArrayView profile, qint64 maxBytes)
{
    if (raster.isNull() || profile.isEmpty() || profile.size() > kMaxProfileBytes)
        return false;
    const cmsUInt32Number in = inputFormat(raster);
    const cmsUInt32Number outFormat = outputFormat(raster.bitsPerComponent, raster.hasAlpha);
    const ColorModel model = raster.model;
    const bool alpha = raster.hasAlpha;
    const auto transform = d->find(profile, (std::uint64_t(in) << 32) | outFormat, [&]() -> cmsHTRANSFORM {
        cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
        if (!source)
            return nullptr;
        cmsHTRANSFORM made = nullptr;
        if (spaceMatches(cmsGetColorSpace(source), model))
            made = buildTransform(source, in, outFormat, alpha);
        cmsCloseProfile(source);
        return made;
    });
    if (!transform->handle)
        return false;
    RasterImage out =
        RasterImage::create(raster.width, raster.height, ColorModel::RGB, raster.bitsPerComponent, raster.hasAlpha, maxBytes);
    if (out.isNull())
        return false;
    for (int y = 0; y < raster.height; ++y)
        cmsDoTransform(transform->handle, raster.row(y), out.row(y), cmsUInt32Number(raster.width));
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
    const auto transform = d->find(key, (std::uint64_t(TYPE_Lab_DBL) << 32) | outFormat, [&]() -> cmsHTRANSFORM {
        cmsHPROFILE source = profile.isEmpty()
            ? cmsCreateLab4Profile(&whitePoint)
            : cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
        if (!source)
            return nullptr;
        cmsHTRANSFORM made = cmsGetColorSpace(source) == cmsSigLabData
            ? buildTransform(source, TYPE_Lab_DBL, outFormat, false)
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
