#include "ImageBuildSupport.h"

#include "LabColorSpace.h"
#include "raster/IndexedExpansion.h"
#include "raster/SampleImageBuilder.h"

#include <array>
#include <cmath>
#include <cstring>

namespace zembrix {

using namespace imagebuild;

namespace {

// A /Decode array maps index values before the lookup (8.9.5.2): the indices
// unpacked to bytes and mapped, clamped to the table. Null when they do not unpack.
std::optional<QByteArray> decodedIndices(const QByteArray &data, int width, int height, std::int32_t bps,
                                         const std::vector<double> &decode, int hival)
{
    const double maxIndex = std::ldexp(1.0, bps) - 1;
    RasterImage unpacked = unpackSamples(QByteArrayView(data), width, height, 1, bps, rasterLimit());
    if (unpacked.isNull())
        return std::nullopt;
    QByteArray indices(qsizetype(width) * height, Qt::Uninitialized);
    for (int y = 0; y < height; ++y) {
        const uchar *in = unpacked.row(y);
        uchar *out = reinterpret_cast<uchar *>(indices.data()) + qsizetype(y) * width;
        for (int x = 0; x < width; ++x) {
            // unpackSamples scaled the n-bit value to 0..255.
            const double s = bps == 8 ? in[x] : std::round(in[x] * maxIndex / 255.0);
            const double v = std::round(decode[0] + s * (decode[1] - decode[0]) / maxIndex);
            out[x] = uchar(std::clamp(v, 0.0, double(std::min(hival, 255))));
        }
    }
    return indices;
}

// Indices through a table whose entries are first converted: tints of a spot
// colour base, once per entry; Lab entries made RGB. None when the base is of another kind.
std::optional<RasterImage> convertedTableRaster(const ImageDictionary &image, const QByteArray &lookup,
                                                QByteArrayView indices, int width, int height, int bitsPerIndex,
                                                const PictureOptions &options, DecodeCause *cause)
{
    const PdfObject baseSpace = image.colorSpaceEntry.at(1);
    if (SpotColorSpace::isSpotSpace(baseSpace)) {
        const std::optional<SpotColorSpace> spot = SpotColorSpace::fromObject(baseSpace, cause);
        if (!spot)
            return RasterImage();
        RasterImage table =
            spot->convertLookup(QByteArrayView(lookup), std::clamp(image.colorSpace->count(), 0, 255) + 1, cause,
                                tintBudgets(options.tintBudget));
        if (!table.isNull() && spot->alternateIsLab())
            table = labRaster(table, spot->alternate(), options.colors);
        if (table.isNull())
            return RasterImage();
        return expandIndexedImage(QByteArrayView(table.samples), table.model, indices, width, height, bitsPerIndex,
                                  rasterLimit());
    }
    if (const std::optional<LabColorSpace> lab = LabColorSpace::of(baseSpace)) {
        // Indices past the table take its last entry.
        RasterImage table = RasterImage::create(int(std::min<qsizetype>(lookup.size() / 3, 256)), 1, ColorModel::RGB, 8,
                                                false, qint64(256) * 3);
        if (table.isNull())
            return RasterImage();
        memcpy(table.samples.data(), lookup.constData(), size_t(table.samples.size()));
        table = lab->toRgb(table, options.colors, rasterLimit());
        if (table.isNull())
            return RasterImage();
        return expandIndexedImage(QByteArrayView(table.samples), ColorModel::RGB, indices, width, height, bitsPerIndex,
                                  rasterLimit());
    }
    return std::nullopt;
}

} // namespace

RasterImage indexedRaster(const ImageDictionary &image, const QByteArray &data, int width, int height, std::int32_t bps,
                          bool jpeg2000, const PictureOptions &options, DecodeCause *cause)
{
    if (!image.colorSpace || !image.colorSpace->getStream())
        return {};
    const TColorSpace &colorSpace = *image.colorSpace;
    const QByteArray &lookup = *colorSpace.getStream();
    QByteArray indices = data;
    std::int32_t bitsPerIndex = bps;
    // JPEG 2000 indices are the codestream's own (its /Decode is not applied,
    // as for its colours).
    const std::vector<double> decode = jpeg2000 ? std::vector<double>() : image.decode;
    const double maxIndex = std::ldexp(1.0, bps) - 1;
    if (decode.size() >= 2 && !(decode[0] == 0 && decode[1] == maxIndex) && bps >= 1 && bps <= 8) {
        const std::optional<QByteArray> mapped =
            decodedIndices(data, width, height, bps, decode, std::max(0, colorSpace.count()));
        if (!mapped)
            return {};
        indices = *mapped;
        bitsPerIndex = 8;
    }
    if (std::optional<RasterImage> converted =
            convertedTableRaster(image, lookup, QByteArrayView(indices), width, height, bitsPerIndex, options, cause))
        return std::move(*converted);
    bool cmyk = false;
    const int entry = lookupEntrySize(colorSpace.getBase(), &cmyk);
    if (cmyk)
        return makeCmykIndexedImage(QByteArrayView(lookup), QByteArrayView(indices), width, height, bitsPerIndex,
                                    rasterLimit());
    if (entry == 1)
        return expandIndexedImage(QByteArrayView(lookup), ColorModel::Gray, QByteArrayView(indices), width, height,
                                  bitsPerIndex, rasterLimit());
    return makeRgbIndexedImage(QByteArrayView(lookup), QByteArrayView(indices), width, height, bitsPerIndex,
                               rasterLimit());
}

QImage streamedIndexedPicture(const ImageDictionary &image)
{
    std::int32_t w = 0, h = 0;
    const TColorSpace *colorSpace = image.colorSpace.get();
    if (!colorSpace || !isName(colorSpace->getName(), "/Indexed") || !colorSpace->getStream()
        || image.bitsPerComponent != 8 || image.imageMask || !image.decode.empty() || isSpotBase(colorSpace->getBase())
        || !streamableSize(image, &w, &h) || LabColorSpace::of(image.colorSpaceEntry.at(1)))
        return {};
    // As indexedRaster() expands them: entries as stored, indices past the
    // table take its last entry.
    bool cmyk = false;
    const int entry = lookupEntrySize(colorSpace->getBase(), &cmyk);
    const QByteArray &lookup = *colorSpace->getStream();
    const qint64 entries = lookup.size() / entry;
    if (cmyk || entries < 1 || qint64(w) * h * entry > rasterLimit())
        return {};
    QImage picture(w, h, entry == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (picture.isNull())
        return {};
    std::array<std::array<uchar, 3>, 256> palette{};
    for (int v = 0; v < 256; ++v)
        memcpy(palette[size_t(v)].data(), lookup.constData() + std::min<qint64>(v, entries - 1) * entry, size_t(entry));
    const qint64 pixels = qint64(w) * h;
    uchar *const bits = picture.bits();
    const qint64 stride = picture.bytesPerLine();
    qint64 filled = 0;
    const PdfObject &stream = image.stream;
    const bool decoded = decodePdfStreamTo(stream, stream.decodedSizeLimit(), [&](QByteArrayView bytes) {
        const uchar *in = reinterpret_cast<const uchar *>(bytes.data());
        for (qint64 i = 0; i < bytes.size() && filled < pixels; ++i, ++filled)
            memcpy(bits + filled / w * stride + filled % w * entry, palette[in[i]].data(), size_t(entry));
    });
    return decoded && filled == pixels ? picture : QImage();
}

bool indexedSamplesFit(const ImageDictionary &image, qint64 count)
{
    const TColorSpace *colorSpace = image.colorSpace.get();
    const std::int32_t bps = image.bitsPerComponent;
    if (!colorSpace || !isName(colorSpace->getName(), "/Indexed") || !colorSpace->getStream() || image.imageMask)
        return false;
    if (!image.hasSaneSize() || bps < 1 || bps > 8)
        return false;
    const qint64 w = qint64(image.width), h = qint64(image.height);
    // As indexedRaster() reads them: a /Decode array maps the indices to bytes first.
    const std::vector<double> &decode = image.decode;
    const double maxIndex = std::ldexp(1.0, bps) - 1;
    qint64 bits = bps;
    if (decode.size() >= 2 && !(decode[0] == 0 && decode[1] == maxIndex)) {
        if (count < (w * bps + 7) / 8 * h)
            return false;
        bits = 8;
    } else if (bits != 1 && bits != 2 && bits != 4 && bits != 8) {
        return false;
    }
    // Spot-colour entries are only known good once their tints evaluate.
    const TBaseColor &base = colorSpace->getBase();
    if (isSpotBase(base))
        return false;
    bool cmyk = false;
    const int entry = lookupEntrySize(base, &cmyk);
    const qint64 indices = bits == 8 ? count : count * (8 / bits);
    return colorSpace->getStream()->size() >= entry && indices >= w * h && w * h * entry <= rasterLimit();
}

} // namespace zembrix
