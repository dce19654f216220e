#include "ImageDictionary.h"

#include "ColorSpaceResolution.h"
#include "FilterChain.h"
#include "OstrelNode.h"

#include <climits>
#include <cmath>

namespace zembrix {

std::int32_t wholeNumberOf(const PdfObject &value)
{
    std::int32_t integer = 0;
    if (value.getInteger(&integer))
        return integer;
    double number = 0;
    if (value.type() != PdfTypeReal || !value.getNumber(&number) || std::isnan(number))
        return 0;
    return std::int32_t(std::clamp(std::trunc(number), double(INT_MIN), double(INT_MAX)));
}

std::vector<double> decodeArrayOf(const PdfObject &stream)
{
    std::vector<double> decode;
    PdfObject array;
    if (!stream.getArray("Decode", &array))
        return decode;
    const int n = std::min(array.arrayCount(), 64);
    for (int i = 0; i < n; ++i) {
        double v = 0;
        if (!array.getNumberAt(i, &v) || !std::isfinite(v))
            return {};
        decode.push_back(v);
    }
    return decode;
}

namespace {

std::optional<std::int32_t> integerEntry(const PdfObject &stream, const char *key)
{
    std::int32_t value = 0;
    return stream.getIntegerEntry(key, &value) ? std::optional(value) : std::nullopt;
}

} // namespace

ImageDictionary ImageDictionary::read(const PdfObject &stream, ColorSpaceRecord record)
{
    ImageDictionary image;
    image.stream = stream;
    // Entry by entry, in key order: of /Mask and /SMask streams, /SMask wins.
    stream.forEachEntry([&](const QByteArray &key, const PdfObject &value) {
        if (!value.isValid())
            return;
        const std::int32_t type = value.type();
        if (key == "ColorSpace") {
            if (record == ColorSpaceRecord::Resolve)
                image.colorSpace = resolveColorSpace(value);
        } else if (key == "Filter") {
            image.filters = filterNamesOf(value);
        } else if (type == PdfTypeArray || type == PdfTypeDictionary) {
            return;
        } else if (key == "SMask" || key == "Mask") {
            if (type == PdfTypeStream) {
                image.mask = value;
                image.softMask = key == "SMask";
            }
        } else if (key == "BitsPerComponent") {
            image.bitsPerComponent = wholeNumberOf(value);
        } else if (key == "Width") {
            image.width = wholeNumberOf(value);
        } else if (key == "Height") {
            image.height = wholeNumberOf(value);
        } else if (key == "Subtype") {
            const std::optional<QByteArray> subtype = value.name();
            image.isImage = image.isImage || subtype == "Image";
            image.isContent = image.isContent || subtype == "Form";
        } else if (key == "PatternType") {
            image.isContent = image.isContent || valueText(value) == QLatin1String("1");
        }
    });
    image.colorSpaceEntry = stream.get("ColorSpace");
    image.integerWidth = integerEntry(stream, "Width");
    image.integerHeight = integerEntry(stream, "Height");
    image.integerBitsPerComponent = integerEntry(stream, "BitsPerComponent");
    stream.getBooleanEntry("ImageMask", &image.imageMask);
    image.filterSteps = pdfStreamFilters(stream);
    image.colorTransform = integerEntry(stream.get("DecodeParms"), "ColorTransform");
    image.decode = decodeArrayOf(stream);
    image.length = integerEntry(stream, "Length");
    return image;
}

} // namespace zembrix
