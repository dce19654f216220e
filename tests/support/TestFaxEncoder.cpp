#include "TestFaxEncoder.h"

#include "pdf/filters/CcittFaxCodes.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace zembrix;

namespace {

struct BitWriter {
    QByteArray bytes;
    long bits = 0;

    void putBit(bool b)
    {
        if (bits % 8 == 0)
            bytes.append('\0');
        if (b)
            bytes.back() = char(bytes.back() | (0x80 >> (bits % 8)));
        ++bits;
    }
    void put(std::uint32_t value, int length)
    {
        while (length > 0)
            putBit((value >> --length) & 1);
    }
    void put(const char *code)
    {
        while (*code != '\0')
            putBit(*code++ == '1');
    }
    void align()
    {
        while (bits % 8 != 0)
            putBit(false);
    }
};

template<std::size_t N>
const char *codeFor(const ccitt::RunCode (&codes)[N], int run)
{
    for (const ccitt::RunCode &c : codes)
        if (c.run == run)
            return c.bits;
    for (const ccitt::RunCode &c : ccitt::kSharedMakeupCodes)
        if (c.run == run)
            return c.bits;
    std::abort();
}

void putRun(BitWriter &out, bool black, int run)
{
    auto code = [black](int r) { return black ? codeFor(ccitt::kBlackCodes, r) : codeFor(ccitt::kWhiteCodes, r); };
    for (; run >= 2560 + 64; run -= 2560)
        out.put(code(2560));
    if (run >= 64)
        out.put(code(run / 64 * 64));
    out.put(code(run % 64));
}

// Positions where the colour changes, starting from white, then `width` three times.
std::vector<int> changes(const TestBitmap &bitmap, int y)
{
    std::vector<int> c;
    for (int x = 0; x < bitmap.width; ++x)
        if (bitmap.at(x, y) != (c.size() % 2 == 1))
            c.push_back(x);
    c.insert(c.end(), 3, bitmap.width);
    return c;
}

void encodeOneDimensional(BitWriter &out, const std::vector<int> &c, int width)
{
    bool black = false;
    for (std::size_t i = 0, pos = 0; int(pos) < width; pos = std::size_t(c[i++]), black = !black)
        putRun(out, black, c[i] - int(pos));
}

void encodeTwoDimensional(BitWriter &out, const std::vector<int> &ref, const std::vector<int> &cur, int width)
{
    int a0 = -1;
    bool black = false;
    while (a0 < width) {
        std::size_t ai = 0, bi = 0;
        while (cur[ai] <= a0)
            ++ai;
        while (ref[bi] <= a0 || (bi % 2 == 1) != black)
            ++bi;
        const int a1 = cur[ai], a2 = cur[ai + 1], b1 = ref[bi], b2 = ref[bi + 1];
        if (b2 < a1) { // pass
            out.put("0001");
            a0 = b2;
        } else if (std::abs(a1 - b1) <= 3) {
            static const char *const vertical[] = {"0000010", "000010", "010", "1", "011", "000011", "0000011"};
            out.put(vertical[a1 - b1 + 3]);
            a0 = a1;
            black = !black;
        } else { // horizontal
            out.put("001");
            putRun(out, black, a1 - std::max(a0, 0));
            putRun(out, !black, a2 - a1);
            a0 = a2;
        }
    }
}

} // namespace

QByteArray faxEncode(const TestBitmap &bitmap, const FaxEncodeOptions &options)
{
    BitWriter out;
    std::vector<int> ref(3, bitmap.width);
    for (int y = 0; y < bitmap.height; ++y) {
        const bool oneD = options.k == 0 || (options.k > 0 && y % options.k == 0);
        if (options.byteAlign)
            out.align();
        if (options.eol)
            out.put(1, 12);
        if (options.k > 0) // the tag bit: is the line 1-D?
            out.put(oneD ? 1 : 0, 1);
        std::vector<int> cur = changes(bitmap, y);
        if (oneD)
            encodeOneDimensional(out, cur, bitmap.width);
        else
            encodeTwoDimensional(out, ref, cur, bitmap.width);
        ref = std::move(cur);
    }
    if (options.endMarker) {
        if (options.k >= 0)
            out.align(); // libtiff starts the RTC on a byte boundary (fill bits before an EOL)
        for (int i = 0; i < (options.k < 0 ? 2 : 6); ++i) {
            out.put(1, 12);
            if (options.k > 0)
                out.put(bitmap.height % options.k == 0 ? 1 : 0, 1);
        }
        if (options.k >= 0) { // and ends it with 1 to 8 zero bits
            out.putBit(false);
            out.align();
        }
    }
    return out.bytes;
}
