#include "LabConversion.h"

#include <algorithm>
#include <cmath>

namespace zembrix {

namespace {

double labInverse(double t)
{
    constexpr double delta = 6.0 / 29.0;
    return t > delta ? t * t * t : 3 * delta * delta * (t - 4.0 / 29.0);
}

double srgbEncode(double linear)
{
    linear = std::clamp(linear, 0.0, 1.0);
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix multiply(const Matrix &a, const Matrix &b)
{
    Matrix r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r[i][j] += a[i][k] * b[k][j];
    return r;
}

// XYZ under the given white to linear sRGB (D65), with Bradford adaptation.
Matrix xyzToLinearSrgb(const std::array<double, 3> &white)
{
    const Matrix bradford{{{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
    const Matrix bradfordInv{
        {{0.9869929, -0.1470543, 0.1599627}, {0.4323053, 0.5183603, 0.0492912}, {-0.0085287, 0.0400428, 0.9684867}}};
    const std::array<double, 3> d65{0.95047, 1.0, 1.08883};
    std::array<double, 3> src{}, dst{};
    for (int i = 0; i < 3; ++i) {
        src[i] = bradford[i][0] * white[0] + bradford[i][1] * white[1] + bradford[i][2] * white[2];
        dst[i] = bradford[i][0] * d65[0] + bradford[i][1] * d65[1] + bradford[i][2] * d65[2];
    }
    Matrix scale{};
    for (int i = 0; i < 3; ++i)
        scale[i][i] = src[i] != 0 ? dst[i] / src[i] : 1;
    const Matrix adapt = multiply(bradfordInv, multiply(scale, bradford));
    const Matrix toSrgb{
        {{3.2404542, -1.5371385, -0.4985314}, {-0.9692660, 1.8760108, 0.0415560}, {0.0556434, -0.2040259, 1.0572252}}};
    return multiply(toSrgb, adapt);
}

} // namespace

RasterImage labToRgb(const RasterImage &lab, const std::array<double, 4> &range,
                     const std::array<double, 3> &whitePoint)
{
    if (lab.isNull() || lab.bitsPerComponent != 8 || lab.colorComponents() != 3 || lab.hasAlpha)
        return {};
    std::array<double, 3> white = whitePoint;
    if (!(white[1] > 0))
        white = {0.9642, 1.0, 0.8249}; // D50
    const Matrix m = xyzToLinearSrgb(white);
    RasterImage out =
        RasterImage::create(lab.width, lab.height, ColorModel::RGB, 8, false, qint64(lab.samples.size()) + 1);
    if (out.isNull())
        return {};
    for (int y = 0; y < lab.height; ++y) {
        const uchar *in = lab.row(y);
        uchar *o = out.row(y);
        for (int x = 0; x < lab.width; ++x, in += 3, o += 3) {
            const double L = in[0] * 100.0 / 255.0;
            const double a = range[0] + in[1] * (range[1] - range[0]) / 255.0;
            const double b = range[2] + in[2] * (range[3] - range[2]) / 255.0;
            const double fy = (L + 16) / 116;
            const double X = white[0] * labInverse(fy + a / 500);
            const double Y = white[1] * labInverse(fy);
            const double Z = white[2] * labInverse(fy - b / 200);
            for (int c = 0; c < 3; ++c) {
                const double linear = m[c][0] * X + m[c][1] * Y + m[c][2] * Z;
                o[c] = uchar(std::lround(srgbEncode(linear) * 255));
            }
        }
    }
    return out;
}

} // namespace zembrix
