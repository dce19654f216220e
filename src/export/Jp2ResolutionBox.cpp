#include "Jp2ResolutionBox.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <limits>

namespace zembrix {

namespace {

constexpr int kBoxHeaderSize = 8;
constexpr int kRescPayloadSize = 10;
constexpr int kRescBoxSize = kBoxHeaderSize + kRescPayloadSize;
constexpr int kResSuperboxSize = kBoxHeaderSize + kRescBoxSize;

void appendBoxHeader(QByteArray &out, quint32 length, const char type[4])
{
    char be[4];
    qToBigEndian<quint32>(length, be);
    out.append(be, 4);
    out.append(type, 4);
}

void appendU16(QByteArray &out, quint16 value)
{
    char be[2];
    qToBigEndian<quint16>(value, be);
    out.append(be, 2);
}

// A top-level box: where it starts, how long it is, where its length field is.
struct BoxSpan {
    qsizetype start = 0;
    quint64 length = 0;
    bool extendedLength = false;
};

} // namespace

Jp2Resolution jp2ResolutionForDpi(float dpi)
{
    // Points per metre = dpi / 0.0254 = dpi x 5000 / 127.
    const double scaled = double(dpi) * 5000.0;
    Jp2Resolution r;
    r.denominator = 127;
    for (int exponent = -4; exponent <= 20; ++exponent) {
        const double numerator = std::round(scaled / std::pow(10.0, exponent));
        if (numerator <= 65535.0) {
            r.numerator = static_cast<std::uint16_t>(numerator < 1.0 ? 1.0 : numerator);
            r.exponent = static_cast<std::int8_t>(exponent);
            return r;
        }
    }
    r.numerator = 65535;
    r.exponent = 20;
    return r;
}

QByteArray jp2ResolutionSuperbox(const Jp2Resolution &resolution)
{
    QByteArray box;
    box.reserve(kResSuperboxSize);
    appendBoxHeader(box, kResSuperboxSize, "res ");
    appendBoxHeader(box, kRescBoxSize, "resc");
    appendU16(box, resolution.numerator);   // VR_N
    appendU16(box, resolution.denominator); // VR_D
    appendU16(box, resolution.numerator);   // HR_N
    appendU16(box, resolution.denominator); // HR_D
    box.append(char(resolution.exponent));  // VR_E
    box.append(char(resolution.exponent));  // HR_E
    return box;
}

QByteArray insertJp2ResolutionBox(const QByteArray &jp2, const Jp2Resolution &resolution)
{
    const qsizetype size = jp2.size();
    const auto *bytes = reinterpret_cast<const uchar *>(jp2.constData());

    qsizetype pos = 0;
    while (pos + kBoxHeaderSize <= size) {
        BoxSpan box;
        box.start = pos;
        box.length = qFromBigEndian<quint32>(bytes + pos);
        if (box.length == 1) {
            if (pos + 16 > size)
                return {};
            box.length = qFromBigEndian<quint64>(bytes + pos + 8);
            box.extendedLength = true;
            if (box.length < 16)
                return {};
        } else if (box.length == 0) {
            box.length = quint64(size - pos); // the box runs to the end of the file
        } else if (box.length < kBoxHeaderSize) {
            return {};
        }
        if (box.length > quint64(size - pos))
            return {};

        if (memcmp(bytes + pos + 4, "jp2h", 4) == 0) {
            QByteArray out = jp2;
            if (box.extendedLength) {
                qToBigEndian<quint64>(box.length + kResSuperboxSize, reinterpret_cast<uchar *>(out.data()) + pos + 8);
            } else {
                if (box.length + kResSuperboxSize > std::numeric_limits<quint32>::max())
                    return {};
                qToBigEndian<quint32>(quint32(box.length + kResSuperboxSize),
                                      reinterpret_cast<uchar *>(out.data()) + pos);
            }
            out.insert(pos + qsizetype(box.length), jp2ResolutionSuperbox(resolution));
            return out;
        }
        pos += qsizetype(box.length);
    }
    return {};
}

// One removal per pass; a file with more 'res ' boxes than this is refused.
constexpr int kMaxResolutionBoxes = 4;

// Takes the first 'res ' box out of the top-level 'jp2h' box. False when
// there is none; `valid` false when the boxes are not well formed.
static bool removeJp2ResolutionBox(QByteArray &jp2, bool *valid)
{
    *valid = false;
    const qsizetype size = jp2.size();
    const auto *bytes = reinterpret_cast<const uchar *>(jp2.constData());
    qsizetype pos = 0;
    while (pos + kBoxHeaderSize <= size) {
        const quint32 shortLength = qFromBigEndian<quint32>(bytes + pos);
        quint64 length = shortLength;
        qsizetype header = kBoxHeaderSize;
        if (length == 1) {
            if (pos + 16 > size)
                return false;
            length = qFromBigEndian<quint64>(bytes + pos + 8);
            header = 16;
        } else if (length == 0) {
            length = quint64(size - pos);
        }
        if (length < quint64(header) || length > quint64(size - pos))
            return false;
        if (memcmp(bytes + pos + 4, "jp2h", 4) != 0) {
            pos += qsizetype(length);
            continue;
        }
        const qsizetype end = pos + qsizetype(length);
        qsizetype child = pos + header;
        while (child + kBoxHeaderSize <= end) {
            const quint32 childLength = qFromBigEndian<quint32>(bytes + child);
            if (childLength < kBoxHeaderSize || childLength > quint64(end - child))
                return false; // extended or open lengths have no place in 'jp2h'
            if (memcmp(bytes + child + 4, "res ", 4) == 0) {
                auto *lengthField = reinterpret_cast<uchar *>(jp2.data()) + pos;
                if (header == 16)
                    qToBigEndian<quint64>(length - childLength, lengthField + 8);
                else if (shortLength != 0)
                    qToBigEndian<quint32>(quint32(length - childLength), lengthField);
                jp2.remove(child, childLength);
                *valid = true;
                return true;
            }
            child += childLength;
        }
        *valid = child == end;
        return false;
    }
    return false;
}

QByteArray setJp2ResolutionBox(const QByteArray &jp2, const Jp2Resolution &resolution)
{
    QByteArray out = jp2;
    for (int removed = 0;; ++removed) {
        bool valid = false;
        if (!removeJp2ResolutionBox(out, &valid))
            return valid ? insertJp2ResolutionBox(out, resolution) : QByteArray();
        if (removed == kMaxResolutionBoxes)
            return {};
    }
}

} // namespace zembrix
