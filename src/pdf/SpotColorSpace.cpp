#include "SpotColorSpace.h"

#include "LabColorSpace.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

namespace zembrix {

namespace {

// The model of an alternate space; false for a space that cannot be one.
bool alternateModel(const PdfObject &space, ColorModel *model, bool *lab)
{
    *lab = false;
    std::optional<QByteArray> family = space.name();
    if (!family && space.type() == PdfTypeArray)
        family = space.at(0).name();
    if (!family)
        return false;
    if (*family == "DeviceGray" || *family == "CalGray" || *family == "G") {
        *model = ColorModel::Gray;
        return true;
    }
    if (*family == "DeviceRGB" || *family == "CalRGB" || *family == "RGB") {
        *model = ColorModel::RGB;
        return true;
    }
    if (*family == "DeviceCMYK" || *family == "CMYK") {
        *model = ColorModel::CMYK;
        return true;
    }
    if (LabColorSpace::of(space)) {
        *model = ColorModel::RGB;
        *lab = true;
        return true;
    }
    if (*family == "ICCBased" && space.type() == PdfTypeArray) {
        // The tint transform feeds the profile: its data colour space decides
        // the outputs' meaning; /N when the profile does not say, or says
        // otherwise (Lab profiles are taken above).
        std::int32_t n = 0;
        space.at(1).getIntegerEntry("N", &n);
        const IccDataSpace data = iccDataSpace(space);
        if (data == IccDataSpace::Gray && (n == 0 || n == 1))
            n = 1;
        else if (data == IccDataSpace::RGB && (n == 0 || n == 3))
            n = 3;
        else if (data == IccDataSpace::CMYK && (n == 0 || n == 4))
            n = 4;
        if (n == 1 || n == 3 || n == 4) {
            *model = n == 1 ? ColorModel::Gray : (n == 3 ? ColorModel::RGB : ColorModel::CMYK);
            return true;
        }
    }
    return false;
}

// A pixel's samples, unscaled, and their bits packed into one key when they fit.
struct PixelReader {
    const uchar *row = nullptr;
    int bpc = 8;
    int count = 1;

    quint64 read(int x, quint32 *samples) const
    {
        quint64 key = 0;
        qint64 bit = qint64(x) * count * bpc;
        for (int c = 0; c < count; ++c, bit += bpc) {
            quint32 v = 0;
            if (bpc == 8) {
                v = row[bit >> 3];
            } else if (bpc == 16) {
                v = quint32(row[bit >> 3]) << 8 | row[(bit >> 3) + 1];
            } else {
                v = (row[bit >> 3] >> (8 - bpc - (bit & 7))) & ((1u << bpc) - 1);
            }
            samples[c] = v;
            key = (key << bpc) | v;
        }
        return key;
    }
};

} // namespace

bool SpotColorSpace::isSpotSpace(const PdfObject &colorSpace)
{
    const std::optional<QByteArray> family = colorSpace.type() == PdfTypeArray ? colorSpace.at(0).name() : std::nullopt;
    return family && (*family == "Separation" || *family == "DeviceN");
}

std::optional<SpotColorSpace> SpotColorSpace::fromObject(const PdfObject &colorSpace, DecodeCause *cause)
{
    if (!isSpotSpace(colorSpace) || colorSpace.arrayCount() < 4)
        return std::nullopt;
    SpotColorSpace space;
    const bool deviceN = colorSpace.at(0).name() == QByteArray("DeviceN");
    if (deviceN) {
        const PdfObject names = colorSpace.at(1);
        if (names.type() != PdfTypeArray)
            return std::nullopt;
        space.m_colourants = names.arrayCount();
    } else {
        if (!colorSpace.at(1).name())
            return std::nullopt;
        space.m_colourants = 1;
    }
    if (space.m_colourants > kMaxColourants)
        noteDecodeCause(cause, DecodeCause::TooManyColourants);
    if (space.m_colourants < 1 || space.m_colourants > kMaxColourants)
        return std::nullopt;
    space.m_alternate = colorSpace.at(2);
    if (!alternateModel(space.m_alternate, &space.m_model, &space.m_lab))
        return std::nullopt;
    if (space.m_lab) {
        const std::array<double, 4> range = LabColorSpace::of(space.m_alternate)->range;
        space.m_labRange.assign(range.begin(), range.end());
    }
    const int outputs = componentsOf(space.m_model);
    std::optional<PdfFunction> tint = PdfFunction::parse(colorSpace.at(3), space.m_colourants, outputs);
    if (!tint || tint->inputCount() != space.m_colourants || tint->outputCount() != outputs) {
        noteDecodeCause(cause, DecodeCause::TintProgramFailed);
        return std::nullopt;
    }
    space.m_tint = std::move(*tint);
    return space;
}

namespace {

// Units of the shared budgets held by one conversion: drawn a chunk at a
// time, so that the threads converting at once meet on the budgets' counters
// once per chunk and not once per pixel; what is left goes back at the end.
class TintAllowance
{
public:
    explicit TintAllowance(const SpotColorSpace::TintBudgets &budgets)
        : m_budgets(budgets)
        , m_shared(budgets.file || budgets.run)
        , m_left(m_shared ? 0 : SpotColorSpace::kFileBudget)
    {
    }
    ~TintAllowance()
    {
        for (WorkBudget *budget : {m_budgets.file, m_budgets.run})
            if (budget)
                budget->giveBack(m_left);
    }
    TintAllowance(const TintAllowance &) = delete;
    TintAllowance &operator=(const TintAllowance &) = delete;

    // The units for the next evaluation; false once the budgets are spent.
    qint64 *units()
    {
        if (m_shared && m_left < kChunk) {
            if (m_budgets.file && !m_budgets.file->take(kChunk))
                return m_left > 0 ? &m_left : nullptr;
            if (m_budgets.run && !m_budgets.run->take(kChunk)) {
                if (m_budgets.file)
                    m_budgets.file->giveBack(kChunk);
                return m_left > 0 ? &m_left : nullptr;
            }
            m_left += kChunk;
        }
        return &m_left;
    }

private:
    static constexpr qint64 kChunk = qint64(1) << 20;
    SpotColorSpace::TintBudgets m_budgets;
    bool m_shared;
    qint64 m_left;
};

} // namespace

bool SpotColorSpace::tintToAlternate(const double *tints, uchar *out, qint64 *budget) const
{
    double values[PdfFunction::kMaxOutputs];
    if (!m_tint.evaluate(tints, values, budget))
        return false;
    const int n = componentsOf(m_model);
    for (int i = 0; i < n; ++i) {
        double v = values[i];
        if (m_lab) // to the 8-bit encoding the Lab conversion reads
            v = i == 0 ? v / 100.0
                       : (v - m_labRange[size_t(2 * i - 2)])
                             / (m_labRange[size_t(2 * i - 1)] - m_labRange[size_t(2 * i - 2)]);
        out[i] = uchar(std::lround(std::clamp(std::isfinite(v) ? v : 0.0, 0.0, 1.0) * 255.0));
    }
    return true;
}

RasterImage SpotColorSpace::convertSamples(QByteArrayView packed, int width, int height, int bpc,
                                           const std::vector<double> &decode, qint64 maxBytes, DecodeCause *cause,
                                           const TintBudgets &budgets) const
{
    if (width <= 0 || height <= 0 || (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16))
        return {};
    const qint64 rowBytes = (qint64(width) * m_colourants * bpc + 7) / 8;
    if (rowBytes > packed.size() / height)
        return {};
    RasterImage raster = RasterImage::create(width, height, m_model, 8, false, maxBytes);
    if (raster.isNull())
        return {};
    const double maxSample = std::ldexp(1.0, bpc) - 1;
    std::array<double, 2 * kMaxColourants> d{};
    for (int c = 0; c < m_colourants; ++c) {
        const bool given = decode.size() >= size_t(2 * c + 2);
        d[size_t(2 * c)] = given ? decode[size_t(2 * c)] : 0.0;
        d[size_t(2 * c + 1)] = given ? decode[size_t(2 * c + 1)] : 1.0;
    }
    const int n = componentsOf(m_model);
    TintAllowance allowance(budgets);
    auto convert = [&](const quint32 *samples, uchar *out) {
        double tints[kMaxColourants];
        for (int c = 0; c < m_colourants; ++c)
            tints[c] = d[size_t(2 * c)] + samples[c] * (d[size_t(2 * c + 1)] - d[size_t(2 * c)]) / maxSample;
        qint64 *units = allowance.units();
        if (units && tintToAlternate(tints, out, units))
            return true;
        noteDecodeCause(cause, DecodeCause::TintProgramFailed);
        return false;
    };
    // Few distinct colours are evaluated once each: a table of every value of
    // one small sample, else a cache of the colours met while it has room.
    const bool table = m_colourants == 1 && bpc <= 8;
    const bool keyed = m_colourants * bpc <= 64;
    std::vector<std::array<uchar, 4>> lookup;
    if (table) {
        lookup.resize(size_t(1) << bpc);
        for (quint32 s = 0; s < lookup.size(); ++s)
            if (!convert(&s, lookup[s].data()))
                return {};
    }
    std::unordered_map<quint64, std::array<uchar, 4>> cache;
    constexpr size_t kCacheEntries = 1 << 16;
    quint32 samples[kMaxColourants];
    for (int y = 0; y < height; ++y) {
        const PixelReader reader{reinterpret_cast<const uchar *>(packed.data()) + rowBytes * y, bpc, m_colourants};
        uchar *out = raster.row(y);
        for (int x = 0; x < width; ++x, out += n) {
            const quint64 key = reader.read(x, samples);
            if (table) {
                std::copy_n(lookup[key].data(), n, out);
                continue;
            }
            if (keyed) {
                const auto found = cache.find(key);
                if (found != cache.end()) {
                    std::copy_n(found->second.data(), n, out);
                    continue;
                }
            }
            std::array<uchar, 4> colour{};
            if (!convert(samples, colour.data()))
                return {};
            std::copy_n(colour.data(), n, out);
            if (keyed && cache.size() < kCacheEntries)
                cache.emplace(key, colour);
        }
    }
    return raster;
}

RasterImage SpotColorSpace::convertLookup(QByteArrayView lookup, int entries, DecodeCause *cause,
                                          const TintBudgets &budgets) const
{
    const qint64 stored = lookup.size() / m_colourants;
    if (stored < 1 || entries < 1 || entries > 256)
        return {};
    RasterImage raster = RasterImage::create(entries, 1, m_model, 8, false, qint64(256) * 4);
    if (raster.isNull())
        return {};
    const int n = componentsOf(m_model);
    TintAllowance allowance(budgets);
    for (int i = 0; i < entries; ++i) {
        const auto *entry =
            reinterpret_cast<const uchar *>(lookup.data()) + std::min<qint64>(i, stored - 1) * m_colourants;
        double tints[kMaxColourants];
        for (int c = 0; c < m_colourants; ++c)
            tints[c] = entry[c] / 255.0;
        qint64 *units = allowance.units();
        if (!units || !tintToAlternate(tints, raster.row(0) + qsizetype(i) * n, units)) {
            noteDecodeCause(cause, DecodeCause::TintProgramFailed);
            return {};
        }
    }
    return raster;
}

} // namespace zembrix
