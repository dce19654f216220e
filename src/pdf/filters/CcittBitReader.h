#pragma once

#include <QtGlobal>

#include <bit>
#include <cstdint>

namespace zembrix {

// Reads a byte string as a bit string, most significant bit first, the bit order of
// CCITT fax data in PDF. Positions are bit offsets; bits past the end read as 0, and
// overrun() tells that a code was taken from beyond the end.
class CcittBitReader
{
public:
    CcittBitReader(const std::uint8_t *data, qint64 size)
        : m_data(data)
        , m_size(size)
        , m_bitCount(size * 8)
    {
    }

    qint64 position() const { return m_pos; }
    void seek(qint64 pos) { m_pos = pos; }
    qint64 bitCount() const { return m_bitCount; }
    bool overrun() const { return m_pos > m_bitCount; }

    // The next n bits (1 <= n <= 24) without consuming them.
    std::uint32_t peek(int n) const { return peekAt(m_pos, n); }
    void skip(int n) { m_pos += n; }

    std::uint32_t peekAt(qint64 pos, int n) const
    {
        if (pos >= m_bitCount)
            return 0;
        const qint64 byte = pos >> 3;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | (byte + i < m_size ? m_data[byte + i] : 0u);
        return (v << (pos & 7)) >> (32 - n);
    }

    // Counts the 0 bits from `from` up to the next 1 bit. `foundOne` is false when the data
    // ends first (then the count runs to the end of the data).
    qint64 countZeros(qint64 from, bool &foundOne) const
    {
        foundOne = false;
        if (from >= m_bitCount)
            return 0;
        qint64 p = from;
        for (; (p & 7) != 0; ++p) {
            if (m_data[p >> 3] & (0x80u >> (p & 7))) {
                foundOne = true;
                return p - from;
            }
        }
        qint64 byte = p >> 3;
        while (byte < m_size && m_data[byte] == 0)
            ++byte;
        if (byte >= m_size)
            return m_bitCount - from;
        foundOne = true;
        return byte * 8 + std::countl_zero(m_data[byte]) - from;
    }

private:
    const std::uint8_t *m_data;
    qint64 m_size;
    qint64 m_bitCount;
    qint64 m_pos = 0;
};

} // namespace zembrix
