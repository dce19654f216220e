// The raw-sample builders on hostile sizes and data. Input: a selector byte, then
//   0: makeImageFromSamples: width, height (int32), bits per component (uint8), colour mode
//      (uint8 % 3), count shift (int16: count = data size + shift), the samples;
//   1: expandIndexedImage: width, height (int32), bits per index (uint8), entry model
//      (uint8 % 3), lookup length (uint16), the lookup, the indices;
//   2: unpackSamples: width, height (int32), components (uint8), bits per component (uint8),
//      the samples;
// and a decode array of up to 8 values from the selector's high bits applied to the result.

#include "FuzzInput.h"

#include "raster/IndexedExpansion.h"
#include "raster/SampleImageBuilder.h"

#include <vector>

using namespace zembrix;

namespace {

constexpr qint64 kMaxBytes = 64LL << 20;

ColorModel modelOf(std::uint8_t v)
{
    switch (v % 3) {
    case 0: return ColorModel::Gray;
    case 1: return ColorModel::RGB;
    default: return ColorModel::CMYK;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t selector = in.u8();
    const int width = in.i32();
    const int height = in.i32();
    RasterImage raster;
    switch (selector % 3) {
    case 0: {
        const int bpc = in.u8();
        const auto mode = SampleColorMode(in.u8() % 3);
        const qint64 shift = in.i16();
        const QByteArrayView samples = in.rest();
        raster = makeImageFromSamples(samples, samples.size() + shift, bpc, mode, width, height, kMaxBytes);
        break;
    }
    case 1: {
        const int bits = in.u8();
        const ColorModel model = modelOf(in.u8());
        const QByteArrayView lookup = in.take(in.u16());
        raster = expandIndexedImage(lookup, model, in.rest(), width, height, bits, kMaxBytes);
        break;
    }
    default: {
        const int components = in.u8();
        const int bpc = in.u8();
        raster = unpackSamples(in.rest(), width, height, components, bpc, kMaxBytes);
        break;
    }
    }
    if (raster.isNull())
        return 0;
    FUZZ_CHECK(raster.width == width && raster.height == height);
    FUZZ_CHECK(raster.samples.size() <= kMaxBytes);

    // Some decode arrays, inverted or narrowed ranges, for the component mapping.
    std::vector<double> decode;
    for (int i = 0; i < (selector >> 5); ++i)
        decode.push_back((i % 2 == 0) == ((selector >> 2) & 1) ? 1.0 : 0.25 * (selector & 3));
    applyDecodeArray(raster, decode);
    const QImage image = rasterToQImage(raster);
    FUZZ_CHECK(image.width() == width && image.height() == height);
    return 0;
}
