#include "SampleImageBuilder.h"

#include <QtEndian>

#include <array>
#include <cstring>

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

} // namespace

RasterImage makeImageFromSamples(QByteArrayView bytes, qint64 count, int bitsPerComponent,
                                 SampleColorMode mode, int width, int height, qint64 maxBytes)
{
    if (width <= 0 || height <= 0 || count <= 0 || count > bytes.size() || bytes.data() == nullptr)
        return {};
    qint64 pixels = 0, dataBits = 0;
    if (qMulOverflow(qint64(width), qint64(height), &pixels) || qMulOverflow(count, qint64(8), &dataBits))
        return {};

    qint64 bitsPerPixel = dataBits / pixels;
    if (bitsPerPixel >= 8)
        bitsPerPixel -= bitsPerPixel % 8;
    if (bitsPerPixel <= 0)
        return {};

    const qint64 bitsPerSample = bitsPerPixel == 1 ? 1 : bitsPerComponent;
    if (!isSampleDepth(bitsPerSample))
        return {};
    ColorModel model = ColorModel::Gray;
    if (mode != SampleColorMode::Gray && bitsPerSample != 1)
        model = mode == SampleColorMode::CMYK ? ColorModel::CMYK : ColorModel::RGB;
    const bool alpha = bitsPerPixel == 32 && mode != SampleColorMode::CMYK;
    const qint64 samplesPerPixel = bitsPerPixel / bitsPerSample;
    if (samplesPerPixel - (alpha ? 1 : 0) != componentsOf(model))
        return {};
    const qint64 pixelBits = samplesPerPixel * bitsPerSample;
    if (bitsPerPixel >= 8 && pixelBits != bitsPerPixel)
        return {};

    // A row of count / height bytes must hold the width's packed samples.
    const qint64 rowBytes = count / height;
    const qint64 rowSamples = qint64(width) * samplesPerPixel;
    if (rowSamples * bitsPerSample > rowBytes * 8)
        return {};

    RasterImage image = RasterImage::create(width, height, model, bitsPerSample == 16 ? 16 : 8, alpha, maxBytes);
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
