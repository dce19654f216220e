#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

#include <algorithm>
#include <vector>

namespace zembrix {

// Decoded samples of an image before they become a QImage. QImage has no
// CMYK format, so the codec wrappers and the sample builders deliver this
// type and rasterToQImage() turns it into pixels as the last step.

enum class ColorModel { Gray, RGB, CMYK };

// Colour components of a model: 1, 3 or 4.
constexpr int componentsOf(ColorModel model)
{
    return model == ColorModel::Gray ? 1 : (model == ColorModel::RGB ? 3 : 4);
}

struct RasterImage {
    int width = 0, height = 0;
    ColorModel model = ColorModel::Gray;
    int bitsPerComponent = 8;  // 8 or 16; 16-bit samples are native-endian quint16
    bool hasAlpha = false;     // alpha is the last sample of a pixel, not premultiplied
    qsizetype bytesPerRow = 0; // rows are packed: width * samplesPerPixel * bytes per sample
    QByteArray samples;        // rows top to bottom, pixels interleaved

    int colorComponents() const; // 1, 3 or 4
    int samplesPerPixel() const; // colorComponents() + hasAlpha
    bool isNull() const;

    uchar *row(int y) { return reinterpret_cast<uchar *>(samples.data()) + y * bytesPerRow; }
    const uchar *row(int y) const { return reinterpret_cast<const uchar *>(samples.constData()) + y * bytesPerRow; }

    // A zero-filled image. Null when a size is not positive, bpc is not 8 or 16,
    // the byte count overflows, or it exceeds maxBytes.
    // `zeroFilled` false leaves the samples unset, for a caller that writes every one.
    static RasterImage create(int w, int h, ColorModel model, int bpc, bool alpha, qint64 maxBytes,
                              bool zeroFilled = true);
};

// Gray8 -> Grayscale8, Gray16 -> Grayscale16, RGB8 -> RGB888, RGBA8 -> RGBA8888,
// RGB16 -> RGBX64, RGBA16 -> RGBA64, gray+alpha -> RGBA8888 (RGBA64 at 16 bits).
// CMYK goes through cmykToRgbNaive() into RGB888 (RGBX64 at 16 bits, RGBA
// formats with alpha). Null for a null raster.
QImage rasterToQImage(const RasterImage &raster);
// The same, taking over the samples without a copy where QImage can read them
// as they are; the raster is left null.
QImage rasterToQImage(RasterImage &&raster);

// The uncalibrated CMYK to RGB conversion: r = max - min(max, c + k), and so
// for g (m) and b (y), where max is 255 or 65535. Colour-managed conversion
// replaces this where a profile is known.
inline void cmykToRgbNaive(quint32 c, quint32 m, quint32 y, quint32 k, quint32 max, quint32 &r, quint32 &g, quint32 &b)
{
    r = max - std::min(max, c + k);
    g = max - std::min(max, m + k);
    b = max - std::min(max, y + k);
}

// The /Decode mapping of ISO 32000-1 8.9.5.2 on the colour components of a
// raster (alpha is left alone): for component i with Dmin = decode[2i],
// Dmax = decode[2i+1], a sample s of n bits becomes the component value
//   v = Dmin + s * (Dmax - Dmin) / (2^n - 1),
// which is clamped to 0..1 and stored again as a sample of n bits. The range
// 0..1 is that of the device, Cal and ICC-based spaces; the decode of an
// Indexed image (ranges up to 2^n - 1) is not this operation. Components for
// which the array has no pair stay as they are; identity pairs [0 1] are
// skipped.
//
// Samples of 1, 2 and 4 bits come out of unpackSamples() scaled to 0..255.
// Since 255 is a multiple of 2^n - 1 for these n, s8 / 255 equals s / (2^n - 1)
// exactly, so applying the decode array to the unpacked 8-bit raster gives the
// same values as applying it to the original n-bit samples: [1 0] on 1-bit
// data maps 0 to 255 and 1 (unpacked 255) to 0. No separate variant for the
// original depth is needed.
void applyDecodeArray(RasterImage &raster, const std::vector<double> &decode);
// Every colour sample taken as 1 - value (alpha kept): the decode array
// [1 0 1 0 ...].
void invertSamples(RasterImage &raster);
// Whether `decode` is that array for all of the raster's colour components.
bool invertsEverySample(const RasterImage &raster, const std::vector<double> &decode);

// Lays PDF sample data (rows padded to whole bytes, samples high-order bits
// first, 16-bit samples big-endian) into a raster: components 1 gray, 3 RGB,
// 4 CMYK; bpc 1, 2, 4 and 8 give 8-bit samples, 1, 2 and 4-bit values scaled
// to 0..255 (v * 255 / (2^bpc - 1)); bpc 16 gives 16-bit samples. Null when
// the data is shorter than height rows, or on any size problem.
RasterImage unpackSamples(QByteArrayView packed, int w, int h, int components, int bpc, qint64 maxBytes);

} // namespace zembrix
