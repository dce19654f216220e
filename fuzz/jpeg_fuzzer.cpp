// The JPEG decoder and header reader on hostile data. Input: one byte choosing /ColorTransform
// (value % 3 - 1: absent, 0 or 1), then the JPEG data.

#include "FuzzInput.h"

#include "raster/JpegDecoder.h"

using namespace zembrix;

namespace {
constexpr qint64 kMaxBytes = 64LL << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    JpegDecodeOptions options;
    options.colorTransform = in.u8() % 3 - 1;
    options.maxBytes = kMaxBytes;
    const QByteArrayView jpeg = in.rest();

    (void)jpegPropertiesText(jpeg);
    const RasterImage raster = decodeJpeg(jpeg, options);
    if (!raster.isNull()) {
        FUZZ_CHECK(raster.samples.size() <= kMaxBytes);
        const QImage image = rasterToQImage(raster);
        FUZZ_CHECK(image.width() == raster.width && image.height() == raster.height);
    }
    return 0;
}
