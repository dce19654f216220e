#pragma once

#include "PdfFunction.h"
#include "PdfObject.h"
#include "raster/DecodeProblem.h"
#include "raster/RasterImage.h"
#include "raster/WorkBudget.h"

#include <QByteArrayView>

#include <optional>
#include <vector>

namespace zembrix {

// The budgets a tint conversion spends from: its file's and the run's.
// Without any, a conversion gets SpotColorSpace::kFileBudget units of its own.
struct TintBudgets {
    WorkBudget *file = nullptr;
    WorkBudget *run = nullptr;
};

// A /Separation or /DeviceN colour space: its colourants, its alternate space
// (gray, RGB, CMYK, Lab, or ICC-based, whose profile's data colour space, or
// else its /N, decides which of these it is) and the tint transform that maps
// colourant tints into it. Samples and lookup entries are converted into
// rasters of the alternate space; a Lab alternate (LabColorSpace.h) gives
// 8-bit L*a*b* samples that still need their conversion to RGB.
class SpotColorSpace
{
public:
    static constexpr int kMaxColourants = 32;
    // Work units (a calculator operator is one) that all tint transforms of
    // one file may spend together, every build of its images included; past
    // them, or past the run's budget, an image is refused.
    static constexpr qint64 kFileBudget = qint64(1) << 30;
    using TintBudgets = zembrix::TintBudgets;

    // Whether the object names a Separation or DeviceN space.
    static bool isSpotSpace(const PdfObject &colorSpace);
    // None when the space is no such space, has more than kMaxColourants
    // colourants, an alternate that is not a device, ICC-based or Lab space,
    // or a tint transform that does not parse with matching input and
    // output counts; `cause` then gets too many colourants or a failed tint
    // program.
    static std::optional<SpotColorSpace> fromObject(const PdfObject &colorSpace, DecodeCause *cause = nullptr);

    int colourants() const { return m_colourants; }
    // Components of the raster a conversion gives (3 for a Lab alternate).
    int alternateComponents() const { return componentsOf(m_model); }
    bool alternateIsLab() const { return m_lab; }
    // The alternate space's own object (for a Lab space's range and white point).
    const PdfObject &alternate() const { return m_alternate; }

    // Packed image samples (rows padded to whole bytes, 1, 2, 4, 8 or 16 bits)
    // mapped through `decode` (pairs per colourant, [0 1] when missing) and
    // the tint transform into an 8-bit raster of the alternate model. Null on
    // short data, a size past maxBytes, or a failing evaluation (which `cause`
    // gets as a failed tint program).
    RasterImage convertSamples(QByteArrayView packed, int width, int height, int bpc, const std::vector<double> &decode,
                               qint64 maxBytes, DecodeCause *cause = nullptr, const TintBudgets &budgets = {}) const;
    // The entries of an Indexed lookup over this space (one byte per
    // colourant) as a raster of `entries` x 1 pixels; null when the lookup is
    // shorter than one entry or an evaluation fails. Past the lookup's end
    // the last entry repeats.
    RasterImage convertLookup(QByteArrayView lookup, int entries, DecodeCause *cause = nullptr,
                              const TintBudgets &budgets = {}) const;

private:
    bool tintToAlternate(const double *tints, uchar *out, qint64 *budget) const;

    int m_colourants = 0;
    ColorModel m_model = ColorModel::Gray;
    bool m_lab = false;
    std::vector<double> m_labRange{-100, 100, -100, 100};
    PdfObject m_alternate;
    PdfFunction m_tint;
};

} // namespace zembrix
