#include "IndexedExpansion.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zembrix {

namespace {

using Palette = std::array<std::array<uchar, 4>, 256>;

// The entry of every possible index value, already clamped to the table:
// indices past the last entry take the last entry.
Palette clampedPalette(QByteArrayView lookup, int entrySize, qint64 entries)
{
    Palette palette{};
    const uchar *table = reinterpret_cast<const uchar *>(lookup.data());
    for (qint64 v = 0; v < 256; ++v) {
        const qint64 k = v < entries ? v : entries - 1;
        std::memcpy(palette[size_t(v)].data(), table + k * entrySize, size_t(entrySize));
    }
    return palette;
}

// Writes the entries of the indices into the zero-filled image, row by row.
// The caller has checked that the data holds width * height index positions.
template<int EntrySize>
void expandRows(const Palette &palette, QByteArrayView indices, int width, int height, int bitsPerIndex,
                RasterImage &image)
{
    const uchar *in = reinterpret_cast<const uchar *>(indices.data());
    uchar *out = reinterpret_cast<uchar *>(image.samples.data());

    if (bitsPerIndex == 8) {
        const qint64 pixels = qint64(width) * height;
        for (qint64 i = 0; i < pixels; ++i, out += EntrySize)
            std::memcpy(out, palette[in[i]].data(), EntrySize);
        return;
    }

    const int perByte = 8 / bitsPerIndex;
    const int mask = (1 << bitsPerIndex) - 1;
    const qint64 rowBytes = (qint64(width) * bitsPerIndex + 7) / 8;
    const qint64 dataBytes = indices.size();
    for (int y = 0; y < height; ++y) {
        const qint64 rowStart = y * rowBytes;
        // A short last row: the pixels past the data stay zero.
        const qint64 rowEnd = std::min(rowStart + rowBytes, dataBytes);
        uchar *pixel = out + y * image.bytesPerRow;
        int x = 0;
        for (qint64 b = rowStart; b < rowEnd && x < width; ++b) {
            const uchar byte = in[b];
            for (int k = 0; k < perByte && x < width; ++k, ++x, pixel += EntrySize) {
                const int index = (byte >> (8 - bitsPerIndex * (k + 1))) & mask;
                std::memcpy(pixel, palette[size_t(index)].data(), EntrySize);
            }
        }
        if (rowEnd < rowStart + rowBytes)
            break;
    }
}

} // namespace

RasterImage expandIndexedImage(QByteArrayView lookup, ColorModel entryModel, QByteArrayView indices, int width,
                               int height, int bitsPerIndex, qint64 maxBytes)
{
    if (width <= 0 || height <= 0)
        return {};
    if (bitsPerIndex != 1 && bitsPerIndex != 2 && bitsPerIndex != 4 && bitsPerIndex != 8)
        return {};
    const int entrySize = componentsOf(entryModel);
    if (entrySize == 0)
        return {};
    const qint64 entries = lookup.size() / entrySize;
    if (entries < 1)
        return {};

    // Index positions in the data, padding positions of packed rows included.
    const int perByte = 8 / bitsPerIndex;
    qint64 pixels = 0, available = 0;
    if (qMulOverflow(qint64(width), qint64(height), &pixels)
        || qMulOverflow(qint64(indices.size()), qint64(perByte), &available))
        return {};
    if (available < pixels)
        return {};

    RasterImage image = RasterImage::create(width, height, entryModel, 8, false, maxBytes);
    if (image.isNull())
        return {};

    const auto palette = clampedPalette(lookup, entrySize, entries);
    switch (entrySize) {
    case 1: expandRows<1>(palette, indices, width, height, bitsPerIndex, image); break;
    case 3: expandRows<3>(palette, indices, width, height, bitsPerIndex, image); break;
    default: expandRows<4>(palette, indices, width, height, bitsPerIndex, image); break;
    }
    return image;
}

RasterImage makeRgbIndexedImage(QByteArrayView lookup, QByteArrayView indices, int width, int height, int bitsPerIndex,
                                qint64 maxBytes)
{
    return expandIndexedImage(lookup, ColorModel::RGB, indices, width, height, bitsPerIndex, maxBytes);
}

RasterImage makeCmykIndexedImage(QByteArrayView lookup, QByteArrayView indices, int width, int height, int bitsPerIndex,
                                 qint64 maxBytes)
{
    return expandIndexedImage(lookup, ColorModel::CMYK, indices, width, height, bitsPerIndex, maxBytes);
}

} // namespace zembrix
