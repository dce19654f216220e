#include "Jbig2TestStreams.h"

#include <algorithm>
#include <cstdlib>

namespace jbig2test {

namespace {

// `bytes` bytes of v, big-endian.
QByteArray be(std::uint32_t v, int bytes)
{
    QByteArray out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xff));
    return out;
}

QByteArray regionInformation(std::uint32_t width, std::uint32_t height, std::uint32_t x, std::uint32_t y)
{
    return be(width, 4) + be(height, 4) + be(x, 4) + be(y, 4) + '\0'; // external combination OR
}

// The MQ coder's probability estimation table (T.88 table E.1): Qe, NMPS, NLPS; SWITCH is set
// in rows 0, 6 and 14.
constexpr std::uint16_t kQe[47] = {
    0x5601, 0x3401, 0x1801, 0x0AC1, 0x0521, 0x0221, 0x5601, 0x5401, 0x4801, 0x3801, 0x3001, 0x2401, 0x1C01, 0x1601,
    0x5601, 0x5401, 0x5101, 0x4801, 0x3801, 0x3401, 0x3001, 0x2801, 0x2401, 0x2201, 0x1C01, 0x1801, 0x1601, 0x1401,
    0x1201, 0x1101, 0x0AC1, 0x09C1, 0x08A1, 0x0521, 0x0441, 0x02A1, 0x0221, 0x0141, 0x0111, 0x0085, 0x0049, 0x0025,
    0x0015, 0x0009, 0x0005, 0x0001, 0x5601
};
constexpr std::uint8_t kNextMps[47] = {
    1, 2, 3, 4, 5, 38, 7, 8, 9, 10, 11, 12, 13, 29, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30,
    31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 45, 46
};
constexpr std::uint8_t kNextLps[47] = {
    1, 6, 9, 12, 29, 33, 6, 14, 14, 14, 17, 18, 20, 21, 14, 14, 15, 16, 17, 18, 19, 19, 20, 21, 22, 23, 24, 25, 26,
    27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 46
};

struct Context {
    std::uint8_t index = 0;
    std::uint8_t mps = 0;
};

// The MQ arithmetic encoder of T.88 annex E (E.2), with the 0xFF 0xAC end marker.
class MqEncoder
{
public:
    void encode(Context &cx, int bit)
    {
        const std::uint32_t qe = kQe[cx.index];
        m_a -= qe;
        if (bit == cx.mps) {
            if ((m_a & 0x8000) != 0) {
                m_c += qe;
                return;
            }
            if (m_a < qe)
                m_a = qe;
            else
                m_c += qe;
            cx.index = kNextMps[cx.index];
        } else {
            if (m_a < qe)
                m_c += qe;
            else
                m_a = qe;
            if (cx.index == 0 || cx.index == 6 || cx.index == 14)
                cx.mps = std::uint8_t(1 - cx.mps);
            cx.index = kNextLps[cx.index];
        }
        do {
            m_a <<= 1;
            m_c <<= 1;
            if (--m_ct == 0)
                byteOut();
        } while ((m_a & 0x8000) == 0);
    }

    QByteArray finish() // FLUSH (E.2.9)
    {
        const std::uint32_t tempC = m_c + m_a;
        m_c |= 0xffff;
        if (m_c >= tempC)
            m_c -= 0x8000;
        m_c <<= m_ct;
        byteOut();
        m_c <<= m_ct;
        byteOut();
        pushByte();
        if (m_b != 0xff)
            m_out.append(char(0xff));
        return m_out + char(0xac);
    }

private:
    void pushByte()
    {
        if (m_started) // the byte before the first one is not part of the output
            m_out.append(char(m_b));
        m_started = true;
    }
    void byteOut() // BYTEOUT (E.2.8): a carry into the byte, then 7 bits after an 0xFF, else 8
    {
        if (m_b != 0xff && m_c >= 0x8000000 && ++m_b == 0xff)
            m_c &= 0x7ffffff;
        pushByte();
        const bool stuffed = m_b == 0xff;
        m_b = std::uint8_t(m_c >> (stuffed ? 20 : 19));
        m_c &= stuffed ? 0xfffff : 0x7ffff;
        m_ct = stuffed ? 7 : 8;
    }

    std::uint32_t m_a = 0x8000;
    std::uint32_t m_c = 0;
    int m_ct = 12;
    std::uint8_t m_b = 0;
    bool m_started = false;
    QByteArray m_out;
};

// Integer coding with the IAx procedure (T.88 annex A.2); `oob` codes the out-of-band value.
class IntegerEncoder
{
public:
    void encode(MqEncoder &mq, int value) { put(mq, value < 0, std::abs(value)); }
    void encodeOob(MqEncoder &mq) { put(mq, true, 0); }

private:
    void put(MqEncoder &mq, bool negative, int magnitude)
    {
        struct Range {
            int prefix;
            int prefixBits;
            int valueBits;
            int offset;
        };
        static constexpr Range ranges[] = {
            {0b0, 1, 2, 0},        {0b10, 2, 4, 4},        {0b110, 3, 6, 20},
            {0b1110, 4, 8, 84},    {0b11110, 5, 12, 340},  {0b11111, 5, 32, 4436},
        };
        const Range *r = ranges;
        while (r != std::end(ranges) - 1 && magnitude >= (r + 1)->offset)
            ++r;
        m_prev = 1;
        bit(mq, negative);
        for (int i = r->prefixBits - 1; i >= 0; --i)
            bit(mq, (r->prefix >> i) & 1);
        const std::uint32_t v = std::uint32_t(magnitude - r->offset);
        for (int i = r->valueBits - 1; i >= 0; --i)
            bit(mq, (v >> i) & 1);
    }
    void bit(MqEncoder &mq, int b)
    {
        mq.encode(m_contexts[m_prev], b);
        m_prev = m_prev < 256 ? (m_prev << 1) | b : (((m_prev << 1) | b) & 511) | 256;
    }
    Context m_contexts[512];
    int m_prev = 1;
};

} // namespace

QByteArray segment(std::uint32_t number, int type, std::uint32_t page, const QByteArray &data,
                   const std::vector<std::uint32_t> &referredTo)
{
    QByteArray out = be(number, 4) + char((type & 0x3f) | (page > 255 ? 0x40 : 0)) + char(referredTo.size() << 5);
    for (std::uint32_t r : referredTo)
        out += be(r, number <= 256 ? 1 : number <= 65536 ? 2 : 4);
    return out + be(page, page > 255 ? 4 : 1) + be(std::uint32_t(data.size()), 4) + data;
}

QByteArray pageInformation(std::uint32_t width, std::uint32_t height, std::uint8_t flags, std::uint16_t striping)
{
    // Resolution unknown (0, 0).
    return be(width, 4) + be(height, 4) + QByteArray(8, '\0') + char(flags) + be(striping, 2);
}

QByteArray endOfStripe(std::uint32_t lastRow)
{
    return be(lastRow, 4);
}

QByteArray mmrGenericRegion(const TestBitmap &bitmap, std::uint32_t x, std::uint32_t y, const QByteArray &t6)
{
    return regionInformation(bitmap.width, bitmap.height, x, y) + '\x01' + t6; // MMR
}

std::vector<TestBitmap> textSymbols()
{
    return {TestBitmap::checkerboard(6, 5, 1), TestBitmap::filled(8, 7, true)};
}

QByteArray textSymbolDictionary()
{
    // MQ coded, template 0 with the nominal AT pixels, no refinement or aggregation; both
    // symbols new and exported.
    return QByteArray::fromHex("000003fffdff02fefefe00000002000000025297f4fcbdacc3eb6812affcff7fffac");
}

QByteArray textRegion(int width, int height, const std::vector<int> &symbolWidths, std::vector<Placement> placements)
{
    // MQ coded, strips of one row, reference corner top left, OR.
    const QByteArray out = regionInformation(width, height, 0, 0) + be(0x0010, 2) + be(std::uint32_t(placements.size()), 4);
    int codeLength = 0;
    while ((std::size_t(1) << codeLength) < symbolWidths.size())
        ++codeLength;
    MqEncoder mq;
    IntegerEncoder deltaT, firstS, deltaS;
    // Symbol IDs with the IAID procedure (T.88 annex A.3).
    std::vector<Context> idContexts(std::size_t(1) << codeLength);
    auto encodeId = [&](int id) {
        for (int i = codeLength - 1, prev = 1; i >= 0; --i) {
            const int b = (id >> i) & 1;
            mq.encode(idContexts[std::size_t(prev)], b);
            prev = (prev << 1) | b;
        }
    };

    // Strips of height 1: one strip per row holding symbols, symbols left to right.
    std::sort(placements.begin(), placements.end(),
              [](const Placement &a, const Placement &b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    deltaT.encode(mq, 0); // STRIPT starts at 0
    int stripT = 0;
    int firstSInStrip = 0;
    for (std::size_t i = 0; i < placements.size();) {
        const int t = placements[i].y;
        deltaT.encode(mq, t - stripT);
        stripT = t;
        int curS = 0;
        for (bool first = true; i < placements.size() && placements[i].y == t; ++i, first = false) {
            const Placement &p = placements[i];
            if (first) {
                firstS.encode(mq, p.x - firstSInStrip);
                firstSInStrip = p.x;
            } else {
                deltaS.encode(mq, p.x - curS);
            }
            encodeId(p.symbol);
            curS = p.x + symbolWidths[std::size_t(p.symbol)] - 1;
        }
        deltaS.encodeOob(mq); // end of the strip
    }
    return out + mq.finish();
}

} // namespace jbig2test
