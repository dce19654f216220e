#include "ExportTestImages.h"

#include <QFile>
#include <QtEndian>

#include <cstdlib>

namespace exporttest {

QImage gradientImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int a = x < width / 4 && y < height / 4 ? 0 : y >= height - height / 8 ? 128 : 255;
            image.setPixel(x, y, qRgba(width > 1 ? x * 255 / (width - 1) : 0, height > 1 ? y * 255 / (height - 1) : 0, 96, a));
        }
    return image;
}

QImage opaqueGradientImage(int width, int height)
{
    QImage image = gradientImage(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, image.pixel(x, y) | 0xFF000000u);
    return image.convertToFormat(QImage::Format_RGB32);
}

std::optional<TiffResolution> readTiffResolution(const QByteArray &tiff)
{
    const bool little = tiff.startsWith("II*");
    if (tiff.size() < 8 || (!little && !tiff.startsWith(QByteArray("MM\0*", 4))))
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(tiff.constData());
    const auto u16 = [&](qsizetype at) -> quint32 { return little ? qFromLittleEndian<quint16>(bytes + at) : qFromBigEndian<quint16>(bytes + at); };
    const auto u32 = [&](qsizetype at) -> quint32 { return little ? qFromLittleEndian<quint32>(bytes + at) : qFromBigEndian<quint32>(bytes + at); };
    const qsizetype ifd = u32(4);
    if (ifd + 2 > tiff.size() || ifd + 2 + qsizetype(u16(ifd)) * 12 > tiff.size())
        return std::nullopt;
    TiffResolution result;
    int found = 0;
    for (quint32 i = 0; i < u16(ifd); ++i) {
        const qsizetype entry = ifd + 2 + qsizetype(i) * 12;
        const quint32 tag = u16(entry), type = u16(entry + 2);
        if ((tag == 0x011A || tag == 0x011B) && type == 5) { // X/YResolution, RATIONAL
            const qsizetype at = u32(entry + 8);
            if (at + 8 > tiff.size() || u32(at + 4) == 0)
                return std::nullopt;
            (tag == 0x011A ? result.x : result.y) = double(u32(at)) / double(u32(at + 4));
            found |= tag == 0x011A ? 1 : 2;
        } else if (tag == 0x0128 && type == 3) { // ResolutionUnit, SHORT
            result.unit = int(u16(entry + 8));
        }
    }
    return found == 3 ? std::optional(result) : std::nullopt;
}

std::optional<std::vector<IcnsElement>> parseIcns(const QByteArray &file)
{
    const auto *bytes = reinterpret_cast<const uchar *>(file.constData());
    if (file.size() < 8 || !file.startsWith("icns") || qFromBigEndian<quint32>(bytes + 4) != quint32(file.size()))
        return std::nullopt;
    std::vector<IcnsElement> elements;
    for (qsizetype pos = 8; pos < file.size();) {
        const quint32 length = pos + 8 <= file.size() ? qFromBigEndian<quint32>(bytes + pos + 4) : 0;
        if (length < 8 || pos + qsizetype(length) > file.size())
            return std::nullopt;
        elements.push_back({file.mid(pos, 4), file.mid(pos + 8, length - 8)});
        pos += length;
    }
    return elements;
}

const IcnsElement *findElement(const std::vector<IcnsElement> &elements, const char *type)
{
    for (const IcnsElement &element : elements)
        if (element.type == type)
            return &element;
    return nullptr;
}

QByteArray unpackIcnsChannel(const QByteArray &packed, qsizetype &offset, qsizetype count)
{
    // A control byte below 0x80 is followed by control + 1 literal bytes; from 0x80 on, by one
    // byte repeated control - 0x80 + 3 times.
    QByteArray out;
    while (out.size() < count) {
        if (offset >= packed.size())
            return {};
        const quint8 control = quint8(packed[offset++]);
        const qsizetype n = control < 0x80 ? control + 1 : 1;
        if (offset + n > packed.size())
            return {};
        out += control < 0x80 ? packed.mid(offset, n) : QByteArray(control - 0x80 + 3, packed[offset]);
        offset += n;
    }
    return out.size() == count ? out : QByteArray();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace exporttest
