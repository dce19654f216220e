#include "SampleImageBuilder.h"

#include <QtEndian>

#include <array>
#include <cstring>
#include <optional>

namespace zembrix {

namespace {

bool isSampleDepth(qint64 bits)
{
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
}

// The samples of every byte value for packed samples of 1, 2 or 4 bits,
// high-order bits first, scaled to 0..255 (value * 255 / (2^bits - 1)).
using ByteExpansion = std::array<std::array<uchar, 8>, 256>;

ByteExpansion byteExpansion(int bits)
{
    const int mask = (1 << bits) - 1;
    const int scale = 255 / mask;
    ByteExpansion table{};
    for (int byte = 0; byte < 256; ++byte)
        for (int k = 0; k < 8 / bits; ++k)
            table[size_t(byte)][size_t(k)] = uchar(((byte >> (8 - bits * (k + 1))) & mask) * scale);
    return table;
}

// One row of `count` packed samples.
void unpackSmallSamples(const uchar *in, qint64 count, int bits, const ByteExpansion &table, uchar *out)
{
    const int perByte = 8 / bits;
    const qint64 whole = count / perByte;
    for (qint64 i = 0; i < whole; ++i, out += perByte)
        std::memcpy(out, table[in[i]].data(), size_t(perByte));
    if (const int tail = int(count % perByte))
        std::memcpy(out, table[in[whole]].data(), size_t(tail));
}

// The layout of `count` bytes as makeImageFromSamples() infers it.
struct SampleLayout {
    qint64 bitsPerSample = 0;
    qint64 samplesPerPixel = 0;
    qint64 rowBytes = 0;
    ColorModel model = ColorModel::Gray;
    bool alpha = false;
};

std::optional<SampleLayout> sampleLayout(qint64 count, int bitsPerComponent, SampleColorMode mode, int width,
                                         int height)
{
    if (width <= 0 || height <= 0 || count <= 0)
        return std::nullopt;
    qint64 pixels = 0, dataBits = 0;
    if (qMulOverflow(qint64(width), qint64(height), &pixels) || qMulOverflow(count, qint64(8), &dataBits))
        return {};

    qint64 bitsPerPixel = dataBits / pixels;
    if (bitsPerPixel >= 8)
        bitsPerPixel -= bitsPerPixel % 8;
    if (bitsPerPixel <= 0)
        return std::nullopt;

    SampleLayout layout;
    layout.bitsPerSample = bitsPerPixel == 1 ? 1 : bitsPerComponent;
    if (!isSampleDepth(layout.bitsPerSample))
        return std::nullopt;
    if (mode != SampleColorMode::Gray && layout.bitsPerSample != 1)
        layout.model = mode == SampleColorMode::CMYK ? ColorModel::CMYK : ColorModel::RGB;
    layout.alpha = bitsPerPixel == 32 && mode != SampleColorMode::CMYK;
    layout.samplesPerPixel = bitsPerPixel / layout.bitsPerSample;
    if (layout.samplesPerPixel - (layout.alpha ? 1 : 0) != componentsOf(layout.model))
        return std::nullopt;
    const qint64 pixelBits = layout.samplesPerPixel * layout.bitsPerSample;
    if (bitsPerPixel >= 8 && pixelBits != bitsPerPixel)
        return std::nullopt;

    // A row of count / height bytes must hold the width's packed samples.
    layout.rowBytes = count / height;
    if (qint64(width) * layout.samplesPerPixel * layout.bitsPerSample > layout.rowBytes * 8)
        return std::nullopt;
    return layout;
}

bool rasterFits(int width, int height, const SampleLayout &layout, qint64 maxBytes)
{
    const qint64 pixelBytes =
        (componentsOf(layout.model) + (layout.alpha ? 1 : 0)) * (layout.bitsPerSample == 16 ? 2 : 1);
    return qint64(width) * height <= maxBytes / pixelBytes;
}

} // namespace

bool sampleLayoutAccepted(qint64 count, int bitsPerComponent, SampleColorMode mode, int width, int height,
                          qint64 maxBytes)
{
    const std::optional<SampleLayout> layout = sampleLayout(count, bitsPerComponent, mode, width, height);
    return layout && rasterFits(width, height, *layout, maxBytes);
}

RasterImage makeImageFromSamples(QByteArrayView bytes, qint64 count, int bitsPerComponent, SampleColorMode mode,
                                 int width, int height, qint64 maxBytes)
{
    if (count > bytes.size() || bytes.data() == nullptr)
        return {};
    const std::optional<SampleLayout> layout = sampleLayout(count, bitsPerComponent, mode, width, height);
    if (!layout)
        return {};
    const qint64 bitsPerSample = layout->bitsPerSample;
    const qint64 rowBytes = layout->rowBytes;
    const qint64 rowSamples = qint64(width) * layout->samplesPerPixel;
    RasterImage image =
        RasterImage::create(width, height, layout->model, bitsPerSample == 16 ? 16 : 8, layout->alpha, maxBytes);
    if (image.isNull())
        return {};

    const uchar *src = reinterpret_cast<const uchar *>(bytes.data());
    const ByteExpansion table = bitsPerSample < 8 ? byteExpansion(int(bitsPerSample)) : ByteExpansion{};
    for (int y = 0; y < height; ++y) {
        const uchar *in = src + y * rowBytes;
        if (bitsPerSample == 8) {
            std::memcpy(image.row(y), in, size_t(rowSamples));
        } else if (bitsPerSample == 16) {
            quint16 *out = reinterpret_cast<quint16 *>(image.row(y));
            for (qint64 i = 0; i < rowSamples; ++i)
                out[i] = qFromBigEndian<quint16>(in + 2 * i);
        } else {
            unpackSmallSamples(in, rowSamples, int(bitsPerSample), table, image.row(y));
        }
    }
    return image;
}

} // namespace zembrix
