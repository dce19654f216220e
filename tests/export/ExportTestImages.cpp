#include "ExportTestImages.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstdlib>

namespace exporttest {

QImage gradientImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = width > 1 ? x * 255 / (width - 1) : 0;
            const int g = height > 1 ? y * 255 / (height - 1) : 0;
            int a = 255;
            if (x < width / 4 && y < height / 4)
                a = 0;
            else if (y >= height - height / 8)
                a = 128;
            image.setPixel(x, y, qRgba(r, g, 96, a));
        }
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

PixelDifference compareImages(const QImage &a, const QImage &b, bool premultiplied)
{
    PixelDifference result;
    if (a.size() != b.size()) {
        result.maximum = 256;
        result.mean = 256.0;
        return result;
    }
    const QImage::Format format = premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
    const QImage ia = a.convertToFormat(format);
    const QImage ib = b.convertToFormat(format);
    double total = 0.0;
    qint64 count = 0;
    for (int y = 0; y < ia.height(); ++y) {
        for (int x = 0; x < ia.width(); ++x) {
            const QRgb pa = ia.pixel(x, y);
            const QRgb pb = ib.pixel(x, y);
            int diffs[4] = {std::abs(qRed(pa) - qRed(pb)), std::abs(qGreen(pa) - qGreen(pb)),
                            std::abs(qBlue(pa) - qBlue(pb)), std::abs(qAlpha(pa) - qAlpha(pb))};
            for (int c = 0; c < 4; ++c) {
                result.maximum = std::max(result.maximum, diffs[c]);
                total += diffs[c];
                ++count;
            }
        }
    }
    result.mean = count ? total / double(count) : 0.0;
    return result;
}

std::optional<TiffResolution> readTiffResolution(const QByteArray &tiff)
{
    if (tiff.size() < 8)
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(tiff.constData());
    const bool little = tiff.startsWith("II*");
    if (!little && !tiff.startsWith(QByteArray("MM\0*", 4)))
        return std::nullopt;
    const auto u16 = [&](qsizetype at) -> quint32 {
        return little ? qFromLittleEndian<quint16>(bytes + at) : qFromBigEndian<quint16>(bytes + at);
    };
    const auto u32 = [&](qsizetype at) -> quint32 {
        return little ? qFromLittleEndian<quint32>(bytes + at) : qFromBigEndian<quint32>(bytes + at);
    };
    const qsizetype ifd = u32(4);
    if (ifd + 2 > tiff.size())
        return std::nullopt;
    const quint32 entries = u16(ifd);
    if (ifd + 2 + qsizetype(entries) * 12 > tiff.size())
        return std::nullopt;

    TiffResolution result;
    bool haveX = false;
    bool haveY = false;
    for (quint32 i = 0; i < entries; ++i) {
        const qsizetype entry = ifd + 2 + qsizetype(i) * 12;
        const quint32 tag = u16(entry);
        const quint32 type = u16(entry + 2);
        if ((tag == 0x011A || tag == 0x011B) && type == 5) {
            const qsizetype at = u32(entry + 8);
            if (at + 8 > tiff.size() || u32(at + 4) == 0)
                return std::nullopt;
            const double value = double(u32(at)) / double(u32(at + 4));
            (tag == 0x011A ? result.x : result.y) = value;
            (tag == 0x011A ? haveX : haveY) = true;
        } else if (tag == 0x0128 && type == 3) {
            result.unit = int(u16(entry + 8));
        }
    }
    if (!haveX || !haveY)
        return std::nullopt;
    return result;
}

std::optional<std::vector<IcnsElement>> parseIcns(const QByteArray &file)
{
    if (file.size() < 8 || !file.startsWith("icns"))
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(file.constData());
    if (qFromBigEndian<quint32>(bytes + 4) != quint32(file.size()))
        return std::nullopt;
    std::vector<IcnsElement> elements;
    qsizetype pos = 8;
    while (pos < file.size()) {
        if (pos + 8 > file.size())
            return std::nullopt;
        const quint32 length = qFromBigEndian<quint32>(bytes + pos + 4);
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
    QByteArray out;
    while (out.size() < count) {
        if (offset >= packed.size())
            return {};
        const quint8 control = quint8(packed[offset++]);
        if (control < 0x80) {
            const int n = control + 1;
            if (offset + n > packed.size())
                return {};
            out.append(packed.mid(offset, n));
            offset += n;
        } else {
            if (offset >= packed.size())
                return {};
            out.append(QByteArray(control - 0x80 + 3, packed[offset++]));
        }
    }
    if (out.size() != count)
        return {};
    return out;
}

QImage imageFromPackedRgb(const QByteArray &packedRgb, const QByteArray &mask, int edge)
{
    const qsizetype count = qsizetype(edge) * edge;
    qsizetype offset = 0;
    const QByteArray r = unpackIcnsChannel(packedRgb, offset, count);
    const QByteArray g = unpackIcnsChannel(packedRgb, offset, count);
    const QByteArray b = unpackIcnsChannel(packedRgb, offset, count);
    if (r.isEmpty() || g.isEmpty() || b.isEmpty() || offset != packedRgb.size() || mask.size() != count)
        return {};
    QImage image(edge, edge, QImage::Format_ARGB32);
    for (qsizetype i = 0; i < count; ++i)
        image.setPixel(int(i % edge), int(i / edge),
                       qRgba(quint8(r[i]), quint8(g[i]), quint8(b[i]), quint8(mask[i])));
    return image;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace exporttest
