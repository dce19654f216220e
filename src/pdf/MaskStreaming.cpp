#include "MaskStreaming.h"

#include "PDFFileStruct.h"
#include "PdfStreamDecoder.h"
#include "raster/GrayRowReducer.h"

namespace {

bool isGraySpace(const TColorSpace *colorSpace)
{
    if (!colorSpace || !colorSpace->getName())
        return false;
    const QString &name = *colorSpace->getName();
    return name == QLatin1String("/DeviceGray") || name == QLatin1String("/CalGray")
        || (name == QLatin1String("/ICCBased") && colorSpace->getBase().count() == 1);
}

// The 256 expanded sample values after the stream's /Decode array.
std::array<uchar, 256> decodeLevels(const PdfObject &stream)
{
    RasterImage ramp = RasterImage::create(256, 1, ColorModel::Gray, 8, false, 256);
    for (int i = 0; i < 256; ++i)
        ramp.row(0)[i] = uchar(i);
    PDFFileStruct::applyImageDecode(ramp, stream, false);
    std::array<uchar, 256> levels{};
    for (int i = 0; i < 256; ++i)
        levels[size_t(i)] = ramp.row(0)[i];
    return levels;
}

} // namespace

bool isStencilMask(const PdfObject &stream, int bitsPerComponent, bool softMask)
{
    bool imageMask = false;
    stream.getBooleanEntry("ImageMask", &imageMask);
    return imageMask || (!softMask && bitsPerComponent == 1);
}

bool isStreamedMask(double width, double height, QSize target)
{
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6))
        return false;
    const double pixels = width * height;
    return pixels > double(kStreamedMaskPixels) && pixels > double(target.width()) * target.height();
}

QImage streamedMaskPicture(const PdfObject &stream, const TColorSpace *colorSpace, int width, int height,
                           int bitsPerComponent, QSize target, bool softMask)
{
    const bool stencil = isStencilMask(stream, bitsPerComponent, softMask);
    const int bits = stencil ? 1 : bitsPerComponent;
    if (!stencil && !isGraySpace(colorSpace))
        return {};
    GrayRowReducer reducer(width, height, bits, target,
                           softMask ? GrayRowReducer::Sampling::Averaged : GrayRowReducer::Sampling::Nearest,
                           decodeLevels(stream));
    if (!reducer.isValid())
        return {};
    const bool decoded = decodePdfStreamTo(stream, stream.decodedSizeLimit(),
                                           [&reducer](QByteArrayView bytes) { reducer.add(bytes); });
    return decoded ? reducer.result() : QImage();
}
