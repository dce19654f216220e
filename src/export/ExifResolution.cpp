#include "ExifResolution.h"

#include <QtEndian>

#include <cmath>
#include <numeric>

namespace zembrix {

namespace {

constexpr quint16 kTagXResolution = 0x011A;
constexpr quint16 kTagYResolution = 0x011B;
constexpr quint16 kTagResolutionUnit = 0x0128;
constexpr quint16 kTypeShort = 3;
constexpr quint16 kTypeRational = 5;
constexpr quint16 kUnitInch = 2;

constexpr quint32 kIfdOffset = 8;
constexpr quint32 kEntryCount = 3;
// Header, entry count, entries, next-IFD offset, then the two rationals.
constexpr quint32 kXRationalOffset = kIfdOffset + 2 + kEntryCount * 12 + 4;
constexpr quint32 kYRationalOffset = kXRationalOffset + 8;

void appendU16(QByteArray &out, quint16 value)
{
    char be[2];
    qToBigEndian<quint16>(value, be);
    out.append(be, 2);
}

void appendU32(QByteArray &out, quint32 value)
{
    char be[4];
    qToBigEndian<quint32>(value, be);
    out.append(be, 4);
}

void appendEntry(QByteArray &out, quint16 tag, quint16 type, quint32 count, quint32 valueOrOffset)
{
    appendU16(out, tag);
    appendU16(out, type);
    appendU32(out, count);
    appendU32(out, valueOrOffset);
}

} // namespace

ExifRational exifRationalForDpi(float dpi)
{
    const double value = dpi;
    if (!(value > 0.0) || value > 4294967.0)
        return {72, 1};
    if (value == std::floor(value))
        return {std::uint32_t(value), 1};
    std::uint32_t numerator = std::uint32_t(std::lround(value * 1000.0));
    std::uint32_t denominator = 1000;
    const std::uint32_t divisor = std::gcd(numerator, denominator);
    if (divisor > 1) {
        numerator /= divisor;
        denominator /= divisor;
    }
    return {numerator, denominator};
}

QByteArray exifResolutionBlock(float dpi)
{
    const ExifRational resolution = exifRationalForDpi(dpi);
    QByteArray out;
    out.append("MM\0*", 4);
    appendU32(out, kIfdOffset);
    appendU16(out, quint16(kEntryCount));
    appendEntry(out, kTagXResolution, kTypeRational, 1, kXRationalOffset);
    appendEntry(out, kTagYResolution, kTypeRational, 1, kYRationalOffset);
    // A SHORT value sits in the first two bytes of the value field.
    appendEntry(out, kTagResolutionUnit, kTypeShort, 1, quint32(kUnitInch) << 16);
    appendU32(out, 0); // no next IFD
    appendU32(out, resolution.numerator);
    appendU32(out, resolution.denominator);
    appendU32(out, resolution.numerator);
    appendU32(out, resolution.denominator);
    return out;
}

} // namespace zembrix
