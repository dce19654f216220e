#include "ThumbnailZoom.h"

#include <QtGlobal>

#include <cmath>

namespace zembrix {

namespace ThumbnailZoom {

float buttonZoomValue(int level)
{
    switch (level) {
    case 0: return 0.25f;
    case 1: return 0.5f;
    default: return 1.2f;
    }
}

int thumbnailEdge(float zoomValue)
{
    if (!std::isfinite(zoomValue))
        return 96;
    return qBound(48, int(std::lround(zoomValue * 360.0f)), 512);
}

} // namespace ThumbnailZoom

} // namespace zembrix
