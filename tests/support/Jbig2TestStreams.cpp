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

// The MQ coder's probability estimation table (T.88 table E.1): Qe, NMPS, NLPS, SWITCH.
struct QeRow {
    std::uint16_t qe;
    std::uint8_t nmps;
    std::uint8_t nlps;
    bool switchMps;
};
constexpr QeRow kQe[47] = {
    {0x5601, 1, 1, true},   {0x3401, 2, 6, false},  {0x1801, 3, 9, false},  {0x0AC1, 4, 12, false},
    {0x0521, 5, 29, false}, {0x0221, 38, 33, false}, {0x5601, 7, 6, true},  {0x5401, 8, 14, false},
    {0x4801, 9, 14, false}, {0x3801, 10, 14, false}, {0x3001, 11, 17, false}, {0x2401, 12, 18, false},
    {0x1C01, 13, 20, false}, {0x1601, 29, 21, false}, {0x5601, 15, 14, true}, {0x5401, 16, 14, false},
    {0x5101, 17, 15, false}, {0x4801, 18, 16, false}, {0x3801, 19, 17, false}, {0x3401, 20, 18, false},
    {0x3001, 21, 19, false}, {0x2801, 22, 19, false}, {0x2401, 23, 20, false}, {0x2201, 24, 21, false},
    {0x1C01, 25, 22, false}, {0x1801, 26, 23, false}, {0x1601, 27, 24, false}, {0x1401, 28, 25, false},
    {0x1201, 29, 26, false}, {0x1101, 30, 27, false}, {0x0AC1, 31, 28, false}, {0x09C1, 32, 29, false},
    {0x08A1, 33, 30, false}, {0x0521, 34, 31, false}, {0x0441, 35, 32, false}, {0x02A1, 36, 33, false},
    {0x0221, 37, 34, false}, {0x0141, 38, 35, false}, {0x0111, 39, 36, false}, {0x0085, 40, 37, false},
    {0x0049, 41, 38, false}, {0x0025, 42, 39, false}, {0x0015, 43, 40, false}, {0x0009, 44, 41, false},
    {0x0005, 45, 42, false}, {0x0001, 45, 43, false}, {0x5601, 46, 46, false},
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
        const std::uint32_t qe = kQe[cx.index].qe;
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
            cx.index = kQe[cx.index].nmps;
        } else {
            if (m_a < qe)
                m_c += qe;
            else
                m_a = qe;
            if (kQe[cx.index].switchMps)
                cx.mps = std::uint8_t(1 - cx.mps);
            cx.index = kQe[cx.index].nlps;
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
