#pragma once

namespace zembrix {

// The three thumbnail sizes. A level (0 small, 1 middle, 2 large; any other
// value counts as large) gives a zoom value, and a zoom value an edge length
// in pixels: 0.25, 0.5 and 1.2 are 90, 180 and 432 pixels
// (two large thumbnails side by side in a window 1280 pixels wide).
namespace ThumbnailZoom {

// The value the size buttons and menu items set.
float buttonZoomValue(int level);
// The edge of a thumbnail for a zoom value, between 48 and 512 pixels.
int thumbnailEdge(float zoomValue);
inline int edgeForLevel(int level)
{
    return thumbnailEdge(buttonZoomValue(level));
}

} // namespace ThumbnailZoom

} // namespace zembrix
