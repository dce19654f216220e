#include "ImageBuildSupport.h"

#include "ImageColorProfiles.h"
#include "LabColorSpace.h"
#include "images/PDFImageStruct.h"
#include "ColourComponents.h"
#include "raster/ColorManagement.h"
#include "raster/PictureScaling.h"

#include <qpdf/QPDFObjectHandle.hh>

namespace zembrix {

namespace imagebuild {

bool isName(const std::optional<QString> &name, const char *text)
{
    return name && *name == QLatin1String(text);
}

bool isSampleDepth(std::int32_t bpc)
{
    return bpc == 1 || bpc == 2 || bpc == 4 || bpc == 8 || bpc == 16;
}

bool isSpotBase(const TBaseColor &base)
{
    return isName(base.getName(), "/DeviceN") || isName(base.getName(), "/Separation");
}

int streamBuilderComponents(const PdfObject &colorSpace, int bpc, ColorModel *model, bool *lab)
{
    *lab = false;
    std::optional<QByteArray> family = colorSpace.name();
    PdfObject parameter;
    if (!family && colorSpace.type() == PdfTypeArray) {
        family = colorSpace.at(0).name();
        parameter = colorSpace.at(1);
    }
    if (!family)
        return 0;
    if (*family == "DeviceGray" || *family == "CalGray" || *family == "G") {
        *model = ColorModel::Gray;
        return 1;
    }
    if (*family == "DeviceRGB" || *family == "CalRGB" || *family == "RGB") {
        *model = ColorModel::RGB;
        return 3;
    }
    if (*family == "DeviceCMYK" || *family == "CMYK") {
        *model = ColorModel::CMYK;
        return 4;
    }
    if (*family == "Lab") {
        *model = ColorModel::RGB;
        *lab = true;
        return 3;
    }
    if (*family == "ICCBased") {
        std::int32_t n = 0;
        parameter.getIntegerEntry("N", &n);
        switch (n) {
        case 1: *model = ColorModel::Gray; return 1;
        case 3:
            *model = ColorModel::RGB;
            *lab = iccDataSpace(colorSpace) == IccDataSpace::Lab;
            return 3;
        case 4: *model = ColorModel::CMYK; return 4;
        default: return 0;
        }
    }
    if (bpc == 1 && colorSpace.name()) {
        *model = ColorModel::Gray; // an image mask or another one-bit name
        return 1;
    }
    return 0;
}

int deviceComponents(const TColorSpace &colorSpace)
{
    const std::optional<QString> &name = colorSpace.getName();
    if (!name || *name == QLatin1String("/DeviceCMYK"))
        return 4;
    if (*name == QLatin1String("/DeviceGray") || *name == QLatin1String("/CalGray"))
        return 1;
    if (*name == QLatin1String("/DeviceRGB") || *name == QLatin1String("/CalRGB"))
        return 3;
    if (*name == QLatin1String("/ICCBased")) {
        const int n = colorSpace.getBase().count();
        return n == 1 || n == 3 || n == 4 ? n : 0;
    }
    return 0;
}

int spaceComponents(const PdfObject &colorSpace)
{
    return colorSpace.handle() ? colourSpaceComponents(*colorSpace.handle()) : 0;
}

ColorModel modelWithComponents(int components)
{
    return components == 1 ? ColorModel::Gray : (components == 3 ? ColorModel::RGB : ColorModel::CMYK);
}

int lookupEntrySize(const TBaseColor &base, bool *cmyk)
{
    const std::optional<QString> &name = base.getName();
    *cmyk = false;
    if (!name || *name == QLatin1String("/DeviceCMYK")) {
        *cmyk = true;
        return 4;
    }
    if (*name == QLatin1String("/DeviceGray") || *name == QLatin1String("/CalGray"))
        return 1;
    if (*name == QLatin1String("/ICCBased")) {
        if (base.count() == 1)
            return 1;
        if (base.count() == 4) {
            *cmyk = true;
            return 4;
        }
    }
    return 3;
}

bool packedFit(qint64 count, qint64 w, qint64 h, int components, int bpc, int rasterComponents)
{
    return isSampleDepth(bpc) && count / h >= (w * components * bpc + 7) / 8
           && w * h * rasterComponents * (bpc == 16 ? 2 : 1) <= rasterLimit();
}

bool streamableSize(const ImageDictionary &image, std::int32_t *w, std::int32_t *h)
{
    if (!image.hasSaneSize() || !image.integerWidth || !image.integerHeight)
        return false;
    *w = *image.integerWidth;
    *h = *image.integerHeight;
    if (*w != int(image.width) || *h != int(image.height))
        return false;
    for (const PdfFilterStep &step : image.filterSteps)
        if (step.name == "DCTDecode" || step.name == "JPXDecode")
            return false;
    return true;
}

RasterImage labRaster(const RasterImage &samples, const PdfObject &colorSpace, ColorTransformCache *colors)
{
    const std::optional<LabColorSpace> lab = LabColorSpace::of(colorSpace);
    return lab ? lab->toRgb(samples, colors, rasterLimit()) : RasterImage();
}

SpotColorSpace::TintBudgets tintBudgets(WorkBudget *file)
{
    return {file, file ? file->outer() : nullptr};
}

RasterImage spotRaster(QByteArrayView samples, int width, int height, int bpc, const ImageDictionary &image,
                       const PictureOptions &options, int components, DecodeCause *cause)
{
    const std::optional<SpotColorSpace> space = SpotColorSpace::fromObject(image.colorSpaceEntry, cause);
    if (!space || (components != 0 && components != space->colourants()))
        return {};
    RasterImage raster = space->convertSamples(samples, width, height, bpc, image.decode, rasterLimit(), cause,
                                               tintBudgets(options.tintBudget));
    if (!raster.isNull() && space->alternateIsLab())
        raster = labRaster(raster, space->alternate(), options.colors);
    return raster;
}

QSize builtSize(int width, int height, int reduceToEdge)
{
    if (reduceToEdge < 0)
        reduceToEdge = PDFImageStruct::kReducedEdge;
    const QSize full(width, height);
    if (reduceToEdge <= 0 || std::max(width, height) <= reduceToEdge)
        return full;
    return full.scaled(reduceToEdge, reduceToEdge, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage drawnAtSize(const QImage &decoded, QSize size)
{
    if (decoded.isNull() || decoded.size() == size)
        return decoded;
    return scaledPicture(decoded, size);
}

QImage pictureOf(RasterImage raster, const ImageDictionary &image, ColorTransformCache *colors, bool inverted)
{
    if (colors)
        manageImageColour(*colors, raster, image.colorSpaceEntry, image.stream, rasterLimit(), inverted);
    else if (inverted)
        invertSamples(raster);
    return rasterToQImage(std::move(raster));
}

} // namespace imagebuild

} // namespace zembrix
