#include "IcnsElements.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

namespace zembrix {

namespace {

constexpr qsizetype kMinRun = 3;
constexpr qsizetype kMaxRun = 130;
constexpr qsizetype kMaxLiteral = 128;

} // namespace

QByteArray packIcnsChannel(const uchar *samples, qsizetype count, qsizetype stride)
{
    QByteArray out;
    out.reserve(count + count / kMaxLiteral + 1);
    const auto at = [&](qsizetype i) { return samples[i * stride]; };

    qsizetype i = 0;
    qsizetype literalStart = 0;
    const auto flushLiterals = [&](qsizetype end) {
        while (literalStart < end) {
            const qsizetype n = qMin(end - literalStart, kMaxLiteral);
            out.append(char(n - 1));
            for (qsizetype k = 0; k < n; ++k)
                out.append(char(at(literalStart + k)));
            literalStart += n;
        }
    };

    while (i < count) {
        qsizetype run = 1;
        while (i + run < count && run < kMaxRun && at(i + run) == at(i))
            ++run;
        if (run >= kMinRun) {
            flushLiterals(i);
            out.append(char(0x80 + run - kMinRun));
            out.append(char(at(i)));
            i += run;
            literalStart = i;
        } else {
            i += run;
        }
    }
    flushLiterals(count);
    return out;
}

QByteArray packedRgbFromArgb(const QByteArray &argb, qsizetype pixelCount)
{
    if (pixelCount <= 0 || argb.size() / 4 < pixelCount)
        return {};
    const auto *pixels = reinterpret_cast<const uchar *>(argb.constData());
    QByteArray out;
    for (int channel = 1; channel <= 3; ++channel)
        out += packIcnsChannel(pixels + channel, pixelCount, 4);
    return out;
}

QByteArray pngFromArgb(const QByteArray &argb, int width, int height)
{
    if (width <= 0 || height <= 0 || argb.size() / 4 / width < height)
        return {};
    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    const auto *src = reinterpret_cast<const uchar *>(argb.constData());
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x, src += 4)
            row[x] = qRgba(src[1], src[2], src[3], src[0]);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return {};
    return bytes;
}

} // namespace zembrix
