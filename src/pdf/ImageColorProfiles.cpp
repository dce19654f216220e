#include "ImageColorProfiles.h"

#include "raster/ColorManagement.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace zembrix {

namespace {

constexpr qint64 kMaxProfileBytes = 32 * 1024 * 1024;

QByteArray profileStreamBytes(const PdfObject &stream)
{
    if (stream.type() != PdfTypeStream)
        return {};
    const std::optional<PdfStreamData> data = stream.copyStreamData(kMaxProfileBytes);
    if (!data || data->format != PdfStreamFormat::Raw)
        return {};
    return data->bytes;
}

// An indexed image's samples are its table's colours, in the base space;
// those of a spot-colour image are tints turned into the alternate space.
PdfObject samplesColorSpace(const PdfObject &colorSpace)
{
    PdfObject space = colorSpace;
    for (int depth = 0; depth < 2 && space.arrayCount() >= 2; ++depth) {
        const QByteArray family = space.at(0).name().value_or(QByteArray());
        if (family == QByteArray("Indexed"))
            space = space.at(1);
        else if ((family == QByteArray("Separation") || family == QByteArray("DeviceN")) && space.arrayCount() >= 4)
            space = space.at(2);
        else
            break;
    }
    return space;
}

bool isIccBased(const PdfObject &colorSpace)
{
    return colorSpace.arrayCount() >= 2 && colorSpace.at(0).name() == QByteArray("ICCBased");
}

// The profile an ICC-based space array ([/ICCBased stream]) embeds; empty
// for another space or an unreadable profile.
QByteArray embeddedIccProfile(const PdfObject &colorSpace)
{
    return isIccBased(colorSpace) ? profileStreamBytes(colorSpace.at(1)) : QByteArray();
}

// The /DestOutputProfile of the first output intent in the catalogue of the
// document that holds `object`; empty when there is none.
QByteArray outputIntentProfile(const PdfObject &object)
{
    const QPDFObjectHandle *handle = object.handle();
    QPDF *document = handle ? handle->getOwningQPDF() : nullptr;
    if (!document)
        return {};
    PdfObject intents;
    try {
        if (!PdfObject(document->getRoot()).getArray("OutputIntents", &intents) || intents.arrayCount() < 1)
            return {};
    } catch (const std::exception &) {
        return {}; // a damaged catalogue
    }
    return profileStreamBytes(intents.at(0).get("DestOutputProfile"));
}

} // namespace

bool hasEmbeddedProfile(const PdfObject &colorSpace)
{
    return isIccBased(samplesColorSpace(colorSpace));
}

void manageImageColour(ColorTransformCache &cache, RasterImage &raster, const PdfObject &colorSpace,
                       const PdfObject &stream, qint64 maxBytes, bool inverted)
{
    if (raster.isNull())
        return;
    const auto converted = [&](const QByteArray &profile) {
        return !profile.isEmpty() && cache.convertToSrgb(raster, QByteArrayView(profile), maxBytes, inverted);
    };
    if (converted(embeddedIccProfile(samplesColorSpace(colorSpace))))
        return;
    if (raster.model == ColorModel::CMYK
        && (converted(outputIntentProfile(stream)) || converted(cache.fallbackCmykProfile())))
        return;
    if (inverted)
        invertSamples(raster);
}

} // namespace zembrix
