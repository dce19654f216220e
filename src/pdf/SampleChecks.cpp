#include "ImageBuildSupport.h"

#include "LabColorSpace.h"
#include "raster/SampleImageBuilder.h"

namespace zembrix {

using namespace imagebuild;

namespace {

// Short samples are counted as paddedSamples() pads them.
qint64 paddedCount(const ImageDictionary &image, qint64 w, qint64 h, qint64 count, DecodeReport *report)
{
    const int components = image.imageMask ? 1 : spaceComponents(image.colorSpaceEntry);
    const int bpc = image.imageMask ? 1 : image.bitsPerComponent;
    if (components <= 0 || !isSampleDepth(bpc))
        return count;
    const qint64 rowBytes = (w * components * bpc + 7) / 8;
    if (count >= rowBytes * h || count < rowBytes || rowBytes * h > rasterLimit())
        return count;
    if (report) {
        report->rows = int(h);
        report->paddedRows = int(h - count / rowBytes);
    }
    return rowBytes * h;
}

// The raw path of the build, from the colour space record.
bool rawSamplesFit(const ImageDictionary &image, qint64 w, qint64 h, qint64 count)
{
    const TColorSpace *colorSpace = image.colorSpace.get();
    const std::int32_t bps = image.bitsPerComponent;
    if (!colorSpace || bps < 1)
        return sampleLayoutAccepted(count, 8, SampleColorMode::RGB, int(w), int(h), rasterLimit());
    if (bps < 8) {
        const int components = deviceComponents(*colorSpace);
        if (components > 0 && packedFit(count, w, h, components, bps, components))
            return true;
    }
    const std::optional<QString> &name = colorSpace->getName();
    const auto layout = [&](SampleColorMode mode) {
        return sampleLayoutAccepted(count, bps, mode, int(w), int(h), rasterLimit());
    };
    if (!name || *name == QLatin1String("/DeviceCMYK"))
        return layout(SampleColorMode::CMYK);
    if (*name == QLatin1String("/DeviceGray") || *name == QLatin1String("/CalGray"))
        return layout(SampleColorMode::Gray);
    if (*name == QLatin1String("/DeviceRGB") || *name == QLatin1String("/CalRGB"))
        return layout(SampleColorMode::RGB);
    if (*name == QLatin1String("/ICCBased"))
        return layout(SampleColorMode::CMYK) || layout(SampleColorMode::RGB) || layout(SampleColorMode::Gray);
    if (*name != QLatin1String("/Indexed"))
        return false;
    if (!isSpotBase(colorSpace->getBase()))
        return indexedSamplesFit(image, count);
    // Over a spot colour space: the table's tints are evaluated when built.
    const std::optional<SpotColorSpace> spot = SpotColorSpace::fromObject(image.colorSpaceEntry.at(1));
    return spot && colorSpace->getStream() && bps >= 1 && bps <= 8
           && packedFit(count, w, h, 1, bps, spot->alternateComponents());
}

} // namespace

bool samplesWouldBuild(const ImageDictionary &image, qint64 count, DecodeReport *report)
{
    if (!image.hasSaneSize() || count <= 0)
        return false;
    const qint64 w = qint64(image.width), h = qint64(image.height);
    count = paddedCount(image, w, h, count, report);
    if (image.imageMask)
        return packedFit(count, w, h, 1, 1, 1);
    const PdfObject &space = image.colorSpaceEntry;
    if (SpotColorSpace::isSpotSpace(space)) {
        const std::optional<SpotColorSpace> spot = SpotColorSpace::fromObject(space);
        return spot && packedFit(count, w, h, spot->colourants(), image.bitsPerComponent, spot->alternateComponents());
    }
    if (image.colorSpace && image.bitsPerComponent == 1 && deviceComponents(*image.colorSpace) == 1
        && packedFit(count, w, h, 1, 1, 1))
        return true;
    // The dictionary builder, from the dictionary's own integer entries.
    if (image.isImage && image.integerWidth > 0 && image.integerHeight > 0 && image.integerBitsPerComponent) {
        ColorModel model = ColorModel::Gray;
        bool lab = false;
        const int components = streamBuilderComponents(space, *image.integerBitsPerComponent, &model, &lab);
        if (components > 0
            && packedFit(count, *image.integerWidth, *image.integerHeight, components, *image.integerBitsPerComponent,
                         components))
            return !lab || LabColorSpace::of(space).has_value();
    }
    return rawSamplesFit(image, w, h, count);
}

} // namespace zembrix
