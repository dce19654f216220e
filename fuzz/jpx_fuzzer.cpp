// The JPEG 2000 decoder and header reader on hostile data. Input: a J2K codestream or JP2 file.

#include "FuzzInput.h"

#include "raster/Jpeg2000Decoder.h"

using namespace zembrix;

namespace {
constexpr qint64 kMaxBytes = 64LL << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView jpx(data, qsizetype(size));
    (void)jpeg2000PropertiesText(jpx);
    const RasterImage raster = decodeJpeg2000(jpx, kMaxBytes);
    if (!raster.isNull()) {
        FUZZ_CHECK(raster.samples.size() <= kMaxBytes);
        const QImage image = rasterToQImage(raster);
        FUZZ_CHECK(image.width() == raster.width && image.height() == raster.height);
    }
    return 0;
}
