#include "RasterImage.h"

#include <QtEndian>

#include <utility>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace zembrix {

namespace {

// Converts one row of gray, RGB or CMYK pixels (with alpha when Alpha) into
// RGB, or RGBA when OutAlpha (opaque when the raster has no alpha). The model
// is a template parameter so that the per-pixel loop has no branches.
template<typename T, ColorModel Model, bool Alpha, bool OutAlpha>
void convertRow(const T *in, T *out, int width)
{
    constexpr quint32 max = sizeof(T) == 1 ? 255u : 65535u;
    constexpr int colour = Model == ColorModel::Gray ? 1 : Model == ColorModel::RGB ? 3 : 4;
    constexpr int inStep = colour + (Alpha ? 1 : 0);
    constexpr int outStep = OutAlpha ? 4 : 3;
    for (int x = 0; x < width; ++x, in += inStep, out += outStep) {
        if constexpr (Model == ColorModel::Gray) {
            out[0] = out[1] = out[2] = in[0];
        } else if constexpr (Model == ColorModel::RGB) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        } else {
            quint32 r, g, b;
            cmykToRgbNaive(in[0], in[1], in[2], in[3], max, r, g, b);
            out[0] = T(r);
            out[1] = T(g);
            out[2] = T(b);
        }
        if constexpr (OutAlpha)
            out[3] = Alpha ? in[colour] : T(max);
    }
}

template<typename T, ColorModel Model, bool Alpha, bool OutAlpha>
void convertRowsAs(const RasterImage &raster, QImage &image)
{
    for (int y = 0; y < raster.height; ++y)
        convertRow<T, Model, Alpha, OutAlpha>(reinterpret_cast<const T *>(raster.row(y)),
                                              reinterpret_cast<T *>(image.scanLine(y)), raster.width);
}

// 16-bit QImage formats all have four channels; 8-bit ones three without alpha.
template<typename T, ColorModel Model>
void convertRowsOf(const RasterImage &raster, QImage &image)
{
    constexpr bool wide = sizeof(T) == 2;
    if (raster.hasAlpha)
        convertRowsAs<T, Model, true, true>(raster, image);
    else
        convertRowsAs<T, Model, false, wide>(raster, image);
}

template<typename T>
void convertRows(const RasterImage &raster, QImage &image)
{
    switch (raster.model) {
    case ColorModel::Gray: convertRowsOf<T, ColorModel::Gray>(raster, image); break;
    case ColorModel::RGB: convertRowsOf<T, ColorModel::RGB>(raster, image); break;
    case ColorModel::CMYK: convertRowsOf<T, ColorModel::CMYK>(raster, image); break;
    }
}

// For the layouts QImage shares byte for byte. bytesPerRow may be larger
// than the pixels in a raster made by hand.
void copyRows(const RasterImage &raster, QImage &image)
{
    const size_t pixelBytes = size_t(raster.width) * size_t(raster.samplesPerPixel() * raster.bitsPerComponent / 8);
    for (int y = 0; y < raster.height; ++y)
        std::memcpy(image.scanLine(y), raster.row(y), pixelBytes);
}

// Sample values of one component after the decode mapping, indexed by the
// stored sample (2^bpc entries).
template<typename T>
std::vector<T> decodeTable(double dmin, double dmax, int bpc)
{
    const quint32 max = (1u << bpc) - 1;
    std::vector<T> table(size_t(max) + 1);
    for (quint32 s = 0; s <= max; ++s) {
        double v = std::clamp(dmin + s * (dmax - dmin) / max, 0.0, 1.0);
        table[s] = T(std::lround(v * max));
    }
    return table;
}

template<typename T>
void mapComponent(RasterImage &raster, int component, const std::vector<T> &table)
{
    const int spp = raster.samplesPerPixel();
    for (int y = 0; y < raster.height; ++y) {
        T *p = reinterpret_cast<T *>(raster.row(y)) + component;
        for (int x = 0; x < raster.width; ++x, p += spp)
            *p = table[*p];
    }
}

// Every byte of packed n-bit samples (n = 1, 2, 4) expanded into 8 / n
// samples scaled to 0..255.
std::vector<std::array<uchar, 8>> expansionTable(int bpc)
{
    const int perByte = 8 / bpc;
    const int mask = (1 << bpc) - 1;
    const int scale = 255 / mask;
    std::vector<std::array<uchar, 8>> table(256);
    for (int byte = 0; byte < 256; ++byte)
        for (int i = 0; i < perByte; ++i)
            table[byte][i] = uchar(((byte >> (8 - bpc * (i + 1))) & mask) * scale);
    return table;
}

} // namespace

int RasterImage::colorComponents() const
{
    return componentsOf(model);
}

int RasterImage::samplesPerPixel() const
{
    return colorComponents() + (hasAlpha ? 1 : 0);
}

bool RasterImage::isNull() const
{
    // Also true for a hand-made raster whose fields disagree, so that no
    // operation here reads past its samples.
    if (width <= 0 || height <= 0 || (bitsPerComponent != 8 && bitsPerComponent != 16))
        return true;
    qint64 rowBytes = 0, total = 0;
    return qMulOverflow(qint64(width), qint64(samplesPerPixel() * bitsPerComponent / 8), &rowBytes)
           || bytesPerRow < rowBytes || qMulOverflow(qint64(bytesPerRow), qint64(height), &total)
           || samples.size() < total;
}

RasterImage RasterImage::create(int w, int h, ColorModel model, int bpc, bool alpha, qint64 maxBytes, bool zeroFilled)
{
    if (w <= 0 || h <= 0 || (bpc != 8 && bpc != 16))
        return {};
    qint64 rowBytes = 0, total = 0;
    const qint64 pixelBytes = (componentsOf(model) + (alpha ? 1 : 0)) * (bpc / 8);
    if (qMulOverflow(qint64(w), pixelBytes, &rowBytes) || qMulOverflow(rowBytes, qint64(h), &total))
        return {};
    if (total > maxBytes || total > std::numeric_limits<qsizetype>::max() / 2)
        return {};
    RasterImage image;
    try {
        image.samples = QByteArray(qsizetype(total), Qt::Uninitialized);
    } catch (const std::bad_alloc &) {
        return {};
    }
    if (image.samples.size() != total)
        return {};
    if (zeroFilled)
        std::memset(image.samples.data(), 0, size_t(total));
    image.width = w;
    image.height = h;
    image.model = model;
    image.bitsPerComponent = bpc;
    image.hasAlpha = alpha;
    image.bytesPerRow = qsizetype(rowBytes);
    return image;
}

namespace {

QImage::Format qimageFormatOf(const RasterImage &raster)
{
    const bool wide = raster.bitsPerComponent == 16;
    if (raster.model == ColorModel::Gray && !raster.hasAlpha)
        return wide ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    if (raster.hasAlpha)
        return wide ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    return wide ? QImage::Format_RGBX64 : QImage::Format_RGB888;
}

// Whether QImage reads the raster's bytes as they are.
bool sameLayout(const RasterImage &raster)
{
    const bool gray = raster.model == ColorModel::Gray, rgb = raster.model == ColorModel::RGB;
    return (gray && !raster.hasAlpha) || (rgb && raster.hasAlpha) || (rgb && raster.bitsPerComponent == 8);
}

void releaseSamples(void *samples)
{
    delete static_cast<QByteArray *>(samples);
}

} // namespace

QImage rasterToQImage(RasterImage &&raster)
{
    // Rows of whole 32-bit words, as QImage lays out its own, are taken over
    // without a copy: the picture owns the samples from here on.
    if (raster.isNull() || !sameLayout(raster) || raster.bytesPerRow % 4 != 0
        || raster.samples.size() < qsizetype(raster.bytesPerRow) * raster.height)
        return rasterToQImage(std::as_const(raster));
    const QImage::Format format = qimageFormatOf(raster);
    const int width = raster.width, height = raster.height;
    const qsizetype bytesPerRow = raster.bytesPerRow;
    auto *samples = new QByteArray(std::move(raster.samples));
    raster = {};
    uchar *bits = reinterpret_cast<uchar *>(samples->data()); // the one owner: no copy
    QImage image(bits, width, height, bytesPerRow, format, releaseSamples, samples);
    if (image.isNull())
        delete samples;
    return image;
}

QImage rasterToQImage(const RasterImage &raster)
{
    if (raster.isNull())
        return {};
    const bool wide = raster.bitsPerComponent == 16;
    QImage image(raster.width, raster.height, qimageFormatOf(raster));
    if (image.isNull())
        return {};

    if (sameLayout(raster))
        copyRows(raster, image);
    else if (wide)
        convertRows<quint16>(raster, image);
    else
        convertRows<uchar>(raster, image);
    return image;
}

void applyDecodeArray(RasterImage &raster, const std::vector<double> &decode)
{
    if (raster.isNull())
        return;
    const int bpc = raster.bitsPerComponent;
    for (int c = 0; c < raster.colorComponents(); ++c) {
        if (decode.size() < size_t(2 * c + 2))
            break;
        const double dmin = decode[size_t(2 * c)], dmax = decode[size_t(2 * c + 1)];
        if ((dmin == 0.0 && dmax == 1.0) || !std::isfinite(dmin) || !std::isfinite(dmax))
            continue;
        if (bpc == 8)
            mapComponent(raster, c, decodeTable<uchar>(dmin, dmax, 8));
        else
            mapComponent(raster, c, decodeTable<quint16>(dmin, dmax, 16));
    }
}

void invertSamples(RasterImage &raster)
{
    std::vector<double> decode;
    for (int c = 0; c < raster.colorComponents(); ++c)
        decode.insert(decode.end(), {1.0, 0.0});
    applyDecodeArray(raster, decode);
}

bool invertsEverySample(const RasterImage &raster, const std::vector<double> &decode)
{
    if (raster.isNull() || decode.size() != size_t(2 * raster.colorComponents()))
        return false;
    for (size_t i = 0; i < decode.size(); i += 2)
        if (decode[i] != 1.0 || decode[i + 1] != 0.0)
            return false;
    return true;
}

RasterImage unpackSamples(QByteArrayView packed, int w, int h, int components, int bpc, qint64 maxBytes)
{
    ColorModel model;
    switch (components) {
    case 1: model = ColorModel::Gray; break;
    case 3: model = ColorModel::RGB; break;
    case 4: model = ColorModel::CMYK; break;
    default: return {};
    }
    if (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16)
        return {};
    if (w <= 0 || h <= 0)
        return {};

    qint64 rowSamples = 0, rowBits = 0, needed = 0;
    if (qMulOverflow(qint64(w), qint64(components), &rowSamples) || qMulOverflow(rowSamples, qint64(bpc), &rowBits))
        return {};
    const qint64 rowBytes = (rowBits + 7) / 8;
    if (qMulOverflow(rowBytes, qint64(h), &needed) || packed.size() < needed)
        return {};

    RasterImage raster = RasterImage::create(w, h, model, bpc == 16 ? 16 : 8, false, maxBytes);
    if (raster.isNull())
        return {};

    const uchar *src = reinterpret_cast<const uchar *>(packed.data());
    if (bpc == 8) {
        for (int y = 0; y < h; ++y)
            std::memcpy(raster.row(y), src + y * rowBytes, size_t(rowBytes));
    } else if (bpc == 16) {
        for (int y = 0; y < h; ++y) {
            const uchar *in = src + y * rowBytes;
            quint16 *out = reinterpret_cast<quint16 *>(raster.row(y));
            for (qint64 i = 0; i < rowSamples; ++i)
                out[i] = qFromBigEndian<quint16>(in + 2 * i);
        }
    } else {
        const auto table = expansionTable(bpc);
        const int perByte = 8 / bpc;
        const qint64 wholeBytes = rowSamples / perByte;
        const int tail = int(rowSamples % perByte);
        for (int y = 0; y < h; ++y) {
            const uchar *in = src + y * rowBytes;
            uchar *out = raster.row(y);
            for (qint64 i = 0; i < wholeBytes; ++i, out += perByte)
                std::memcpy(out, table[in[i]].data(), size_t(perByte));
            if (tail)
                std::memcpy(out, table[in[wholeBytes]].data(), size_t(tail));
        }
    }
    return raster;
}

} // namespace zembrix
