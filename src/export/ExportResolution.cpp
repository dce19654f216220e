#include "ExportResolution.h"

#include <cmath>

namespace zembrix {

float exportDpi(float dpi)
{
    if (!std::isfinite(dpi) || dpi <= 0.0f)
        return kDefaultExportDpi;
    if (dpi < kMinimumExportDpi)
        return kMinimumExportDpi;
    return dpi > kMaximumExportDpi ? kMaximumExportDpi : dpi;
}

int dotsPerMeterForDpi(float dpi)
{
    return static_cast<int>(std::lround(static_cast<double>(exportDpi(dpi)) / 0.0254));
}

} // namespace zembrix
