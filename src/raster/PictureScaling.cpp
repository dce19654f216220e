#include "PictureScaling.h"

#include <bit>
#include <vector>

namespace zembrix {

namespace {

// Area average of a one-bit picture into gray, for a size no larger than it.
QImage reducedMono(const QImage &mono, QSize size)
{
    const QImage bits = mono.format() == QImage::Format_Mono ? mono : mono.convertToFormat(QImage::Format_Mono);
    const int w = bits.width(), h = bits.height();
    const int ow = size.width(), oh = size.height();
    QImage out(size, QImage::Format_Grayscale8);
    if (out.isNull())
        return {};
    const QRgb zero = bits.colorCount() > 0 ? bits.color(0) : qRgb(0, 0, 0);
    const QRgb one = bits.colorCount() > 1 ? bits.color(1) : qRgb(255, 255, 255);
    const int zeroGray = qGray(zero), oneGray = qGray(one);

    std::vector<int> columnStart(static_cast<size_t>(ow) + 1);
    for (int x = 0; x <= ow; ++x)
        columnStart[size_t(x)] = int(qint64(x) * w / ow);
    std::vector<quint32> ones(static_cast<size_t>(ow));
    for (int oy = 0; oy < oh; ++oy) {
        const int y0 = int(qint64(oy) * h / oh), y1 = std::max(y0 + 1, int(qint64(oy + 1) * h / oh));
        std::fill(ones.begin(), ones.end(), 0u);
        for (int y = y0; y < y1; ++y) {
            const uchar *row = bits.constScanLine(y);
            for (int ox = 0; ox < ow; ++ox) {
                const int x0 = columnStart[size_t(ox)], x1 = std::max(x0 + 1, columnStart[size_t(ox) + 1]);
                quint32 count = 0;
                int x = x0;
                // Bits in front of a whole byte, whole bytes, then the rest (high bit first).
                for (; x < x1 && (x & 7); ++x)
                    count += (row[x >> 3] >> (7 - (x & 7))) & 1;
                for (; x + 8 <= x1; x += 8)
                    count += quint32(std::popcount(unsigned(row[x >> 3])));
                for (; x < x1; ++x)
                    count += (row[x >> 3] >> (7 - (x & 7))) & 1;
                ones[size_t(ox)] += count;
            }
        }
        uchar *outRow = out.scanLine(oy);
        for (int ox = 0; ox < ow; ++ox) {
            const int x0 = columnStart[size_t(ox)], x1 = std::max(x0 + 1, columnStart[size_t(ox) + 1]);
            const quint32 area = quint32(x1 - x0) * quint32(y1 - y0);
            const quint32 n = ones[size_t(ox)];
            outRow[ox] = uchar((quint64(oneGray) * n + quint64(zeroGray) * (area - n) + area / 2) / area);
        }
    }
    return out;
}

} // namespace

QImage scaledPicture(const QImage &picture, QSize size)
{
    if (picture.isNull() || size.isEmpty())
        return {};
    const bool oneBit = picture.format() == QImage::Format_Mono || picture.format() == QImage::Format_MonoLSB;
    if (oneBit && size.width() <= picture.width() && size.height() <= picture.height())
        return reducedMono(picture, size);
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace zembrix
