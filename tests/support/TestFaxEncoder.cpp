#include "TestFaxEncoder.h"

#include "pdf/filters/CcittFaxCodes.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

class BitWriter
{
public:
    void put(std::uint32_t value, int length)
    {
        for (int i = length - 1; i >= 0; --i)
            putBit((value >> i) & 1);
    }
    void put(const char *bits)
    {
        for (; *bits != '\0'; ++bits)
            putBit(*bits == '1');
    }
    // libtiff's way of ending an RTC: 1 to 8 zero bits, a whole byte when already aligned.
    void flush()
    {
        do
            putBit(false);
        while (m_bits % 8 != 0);
    }
    void align()
    {
        while (m_bits % 8 != 0)
            putBit(false);
    }
    QByteArray bytes() const { return QByteArray(reinterpret_cast<const char *>(m_out.data()), qsizetype(m_out.size())); }

private:
    void putBit(bool b)
    {
        if (m_bits % 8 == 0)
            m_out.push_back(0);
        if (b)
            m_out.back() |= std::uint8_t(0x80 >> (m_bits % 8));
        ++m_bits;
    }
    std::vector<std::uint8_t> m_out;
    long m_bits = 0;
};

const char *codeFor(const ccitt::RunCode *codes, std::size_t n, int run)
{
    for (std::size_t i = 0; i < n; ++i)
        if (codes[i].run == run)
            return codes[i].bits;
    for (const ccitt::RunCode &c : ccitt::kSharedMakeupCodes)
        if (c.run == run)
            return c.bits;
    std::abort();
}

void putRun(BitWriter &out, bool black, int run)
{
    const ccitt::RunCode *codes = black ? ccitt::kBlackCodes : ccitt::kWhiteCodes;
    const std::size_t n = black ? std::size(ccitt::kBlackCodes) : std::size(ccitt::kWhiteCodes);
    while (run >= 2560 + 64) {
        out.put(codeFor(codes, n, 2560));
        run -= 2560;
    }
    if (run >= 64) {
        out.put(codeFor(codes, n, run / 64 * 64));
        run %= 64;
    }
    out.put(codeFor(codes, n, run));
}

// Positions where the colour changes, starting from white, then `width` three times.
std::vector<int> changes(const TestBitmap &bitmap, int y)
{
    std::vector<int> c;
    bool colour = false;
    for (int x = 0; x < bitmap.width; ++x) {
        if (bitmap.at(x, y) != colour) {
            c.push_back(x);
            colour = !colour;
        }
    }
    c.insert(c.end(), 3, bitmap.width);
    return c;
}

void encodeOneDimensional(BitWriter &out, const TestBitmap &bitmap, int y)
{
    const std::vector<int> c = changes(bitmap, y);
    int pos = 0;
    bool black = false;
    for (std::size_t i = 0; pos < bitmap.width; ++i, black = !black) {
        putRun(out, black, c[i] - pos);
        pos = c[i];
    }
}

void encodeTwoDimensional(BitWriter &out, const std::vector<int> &ref, const std::vector<int> &cur, int width)
{
    int a0 = -1;
    bool black = false;
    for (;;) {
        std::size_t ai = 0;
        while (cur[ai] <= a0)
            ++ai;
        const int a1 = cur[ai];
        const int a2 = cur[ai + 1];
        std::size_t bi = 0;
        while (ref[bi] <= a0 || (bi % 2 == 1) != black)
            ++bi;
        const int b1 = ref[bi];
        const int b2 = ref[bi + 1];
        if (b2 < a1) {
            out.put("0001");
            a0 = b2;
        } else if (std::abs(a1 - b1) <= 3) {
            static const char *const vertical[] = {"0000010", "000010", "010", "1", "011", "000011", "0000011"};
            out.put(vertical[a1 - b1 + 3]);
            a0 = a1;
            black = !black;
        } else {
            out.put("001");
            putRun(out, black, a1 - std::max(a0, 0));
            putRun(out, !black, a2 - a1);
            a0 = a2;
        }
        if (a0 >= width)
            return;
    }
}

} // namespace

QByteArray faxEncode(const TestBitmap &bitmap, const FaxEncodeOptions &options)
{
    BitWriter out;
    std::vector<int> ref(3, bitmap.width);
    auto putEol = [&](bool oneDimensionalNext) {
        out.put(1, 12);
        if (options.k > 0)
            out.put(oneDimensionalNext ? 1 : 0, 1);
    };
    for (int y = 0; y < bitmap.height; ++y) {
        const bool oneD = options.k == 0 || (options.k > 0 && y % options.k == 0);
        if (options.byteAlign)
            out.align();
        if (options.eol)
            putEol(oneD);
        else if (options.k > 0)
            out.put(oneD ? 1 : 0, 1);
        std::vector<int> cur = changes(bitmap, y);
        if (oneD)
            encodeOneDimensional(out, bitmap, y);
        else
            encodeTwoDimensional(out, ref, cur, bitmap.width);
        ref = std::move(cur);
    }
    if (options.endMarker) {
        const int count = options.k < 0 ? 2 : 6;
        const bool nextOneD = options.k > 0 && bitmap.height % options.k == 0;
        if (options.k >= 0)
            out.align(); // libtiff starts the RTC on a byte boundary (fill bits before an EOL)
        for (int i = 0; i < count; ++i) {
            out.put(1, 12);
            if (options.k > 0)
                out.put(nextOneD ? 1 : 0, 1);
        }
        if (options.k >= 0)
            out.flush();
    }
    return out.bytes();
}
