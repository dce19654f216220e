#pragma once

#include <QImage>

struct PixelDifference {
    int maximum = 0;   // largest channel difference
    double mean = 0.0; // mean channel difference over all channels compared
};
// Channel differences of two images of the same size, compared as ARGB32 (non-premultiplied) or,
// with `premultiplied`, as ARGB32 premultiplied (where the colour of a fully transparent pixel
// no longer counts).
PixelDifference compareImages(const QImage &a, const QImage &b, bool premultiplied = false);
