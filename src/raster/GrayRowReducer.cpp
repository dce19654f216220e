#include "GrayRowReducer.h"

#include <algorithm>
#include <cstring>

namespace zembrix {

GrayRowReducer::GrayRowReducer(int width, int height, int bitsPerComponent, QSize target, Sampling sampling,
                               const std::array<uchar, 256> &levels)
    : m_width(width)
    , m_height(height)
    , m_bits(bitsPerComponent)
    , m_sampling(sampling)
    , m_levels(levels)
{
    const bool depthOk = m_bits == 1 || m_bits == 2 || m_bits == 4 || m_bits == 8;
    if (width <= 0 || height <= 0 || target.isEmpty() || !depthOk)
        return;
    m_rowBytes = (qint64(width) * m_bits + 7) / 8;
    m_result = QImage(target, QImage::Format_Grayscale8);
    if (m_result.isNull())
        return;
    const int ow = target.width();
    m_row.resize(size_t(m_rowBytes));
    m_expanded.resize(size_t(width));
    m_columnStart.resize(size_t(ow));
    m_columnEnd.resize(size_t(ow));
    m_columnSums.resize(size_t(ow));
    for (int ox = 0; ox < ow; ++ox) {
        if (m_sampling == Sampling::Nearest) {
            m_columnStart[size_t(ox)] = int((2 * qint64(ox) + 1) * width / (2 * qint64(ow)));
            m_columnEnd[size_t(ox)] = m_columnStart[size_t(ox)] + 1;
        } else {
            m_columnStart[size_t(ox)] = int(qint64(ox) * width / ow);
            m_columnEnd[size_t(ox)] = std::max(m_columnStart[size_t(ox)] + 1, int(qint64(ox + 1) * width / ow));
        }
    }
}

qint64 GrayRowReducer::rowStart(int targetRow) const
{
    const qint64 oh = m_result.height();
    if (m_sampling == Sampling::Nearest)
        return (2 * qint64(targetRow) + 1) * m_height / (2 * oh);
    return qint64(targetRow) * m_height / oh;
}

qint64 GrayRowReducer::rowEnd(int targetRow) const
{
    if (m_sampling == Sampling::Nearest)
        return rowStart(targetRow) + 1;
    return std::max(rowStart(targetRow) + 1, qint64(targetRow + 1) * m_height / m_result.height());
}

void GrayRowReducer::add(QByteArrayView bytes)
{
    if (!isValid())
        return;
    const uchar *in = reinterpret_cast<const uchar *>(bytes.data());
    qint64 left = bytes.size();
    while (left > 0 && m_sourceRow < m_height) {
        const qint64 n = std::min(left, m_rowBytes - m_rowFill);
        std::memcpy(m_row.data() + m_rowFill, in, size_t(n));
        m_rowFill += n;
        in += n;
        left -= n;
        if (m_rowFill == m_rowBytes) {
            takeRow(m_row.data());
            m_rowFill = 0;
        }
    }
}

void GrayRowReducer::takeRow(const uchar *row)
{
    const int y = m_sourceRow++;
    const int oh = m_result.height(), ow = m_result.width();
    // The rows of the result this source row belongs to, from the first open one on.
    int last = m_firstOpen;
    while (last < oh && rowStart(last) <= y)
        ++last;
    bool used = false;
    for (int oy = m_firstOpen; oy < last; ++oy)
        used = used || y < rowEnd(oy);
    if (used) {
        const int mask = (1 << m_bits) - 1, scale = 255 / mask;
        for (int x = 0; x < m_width; ++x) {
            const int bit = x * m_bits;
            const int value = m_bits == 8 ? row[x] : (row[bit >> 3] >> (8 - m_bits - (bit & 7))) & mask;
            m_expanded[size_t(x)] = m_levels[size_t(value * scale)];
        }
        for (int ox = 0; ox < ow; ++ox) {
            quint64 sum = 0;
            for (int x = m_columnStart[size_t(ox)]; x < m_columnEnd[size_t(ox)]; ++x)
                sum += m_expanded[size_t(x)];
            m_columnSums[size_t(ox)] = sum;
        }
    }
    while (int(m_open.size()) < last - m_firstOpen)
        m_open.emplace_back(size_t(ow), 0);
    for (int oy = m_firstOpen; oy < last; ++oy) {
        if (y >= rowEnd(oy))
            continue;
        std::vector<quint64> &sums = m_open[size_t(oy - m_firstOpen)];
        for (int ox = 0; ox < ow; ++ox)
            sums[size_t(ox)] += m_columnSums[size_t(ox)];
    }
    // Target rows whose last source row this was are finished.
    while (m_firstOpen < oh && rowEnd(m_firstOpen) <= y + 1 && !m_open.empty()) {
        const quint64 rows = quint64(rowEnd(m_firstOpen) - rowStart(m_firstOpen));
        uchar *out = m_result.scanLine(m_firstOpen);
        const std::vector<quint64> &sums = m_open.front();
        for (int ox = 0; ox < ow; ++ox) {
            const quint64 area = rows * quint64(m_columnEnd[size_t(ox)] - m_columnStart[size_t(ox)]);
            out[ox] = uchar((sums[size_t(ox)] + area / 2) / area);
        }
        m_open.pop_front();
        ++m_firstOpen;
    }
}

QImage GrayRowReducer::result() const
{
    if (!isValid() || m_firstOpen < m_result.height())
        return {};
    return m_result;
}

} // namespace zembrix
