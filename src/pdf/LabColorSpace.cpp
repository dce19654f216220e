#include "LabColorSpace.h"

#include "raster/ColorManagement.h"
#include "raster/LabConversion.h"

#include <cmath>
#include <cstring>

namespace zembrix {

namespace {

constexpr qint64 kMaxProfileBytes = 32 * 1024 * 1024;

bool isIccBased(const PdfObject &space)
{
    return space.type() == PdfTypeArray && space.arrayCount() >= 2 && space.at(0).name() == QByteArray("ICCBased");
}

QByteArray profileBytes(const PdfObject &iccBasedSpace)
{
    const PdfObject stream = iccBasedSpace.at(1);
    if (stream.type() != PdfTypeStream)
        return {};
    const std::optional<PdfStreamData> data = stream.copyStreamData(kMaxProfileBytes);
    return data && data->format == PdfStreamFormat::Raw ? data->bytes : QByteArray();
}

// The header's data colour space field (ICC.1, 7.2.6), at bytes 16 to 19.
IccDataSpace dataSpaceOf(const QByteArray &profile)
{
    return iccProfileDataSpace(profile.constData(), size_t(profile.size()));
}

template<size_t N>
void readNumbers(const PdfObject &dict, const char *key, size_t skip, std::array<double, N> *values)
{
    PdfObject array;
    if (!dict.getArray(key, &array) || array.arrayCount() != int(N + skip))
        return;
    std::array<double, N> read{};
    for (size_t i = 0; i < N; ++i)
        if (!array.getNumberAt(int(i + skip), &read[i]) || !std::isfinite(read[i]))
            return;
    *values = read;
}

} // namespace

IccDataSpace iccDataSpace(const PdfObject &iccBasedSpace)
{
    return isIccBased(iccBasedSpace) ? dataSpaceOf(profileBytes(iccBasedSpace)) : IccDataSpace::Unknown;
}

std::optional<LabColorSpace> LabColorSpace::of(const PdfObject &colorSpace)
{
    if (colorSpace.type() != PdfTypeArray)
        return std::nullopt;
    LabColorSpace lab;
    const PdfObject parameters = colorSpace.at(1);
    if (colorSpace.at(0).name() == QByteArray("Lab")) {
        readNumbers(parameters, "Range", 0, &lab.range);
        readNumbers(parameters, "WhitePoint", 0, &lab.white);
        return lab;
    }
    if (!isIccBased(colorSpace))
        return std::nullopt;
    std::int32_t n = 0;
    if (parameters.getIntegerEntry("N", &n) && n != 3)
        return std::nullopt;
    lab.profile = profileBytes(colorSpace);
    if (dataSpaceOf(lab.profile) != IccDataSpace::Lab)
        return std::nullopt;
    lab.range = {-128, 127, -128, 127};
    readNumbers(parameters, "Range", 2, &lab.range);
    return lab;
}

std::vector<double> LabColorSpace::encodedDecode(const std::vector<double> &decode) const
{
    std::vector<double> unit(decode.begin(), decode.begin() + qsizetype(std::min<size_t>(decode.size(), 6)));
    for (size_t i = 0; i < unit.size(); ++i) {
        const size_t c = i / 2;
        const double low = c == 0 ? 0 : range[2 * c - 2], high = c == 0 ? 100 : range[2 * c - 1];
        unit[i] = high != low ? (unit[i] - low) / (high - low) : 0;
    }
    return unit;
}

RasterImage LabColorSpace::toRgb(const RasterImage &samples, ColorTransformCache *colors, qint64 maxBytes) const
{
    if (colors) {
        RasterImage managed = colors->labToSrgb(samples, range, white, maxBytes, QByteArrayView(profile));
        if (!managed.isNull())
            return managed;
    }
    return labToRgb(samples, range, white);
}

} // namespace zembrix
