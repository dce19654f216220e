#include "Jbig2TestStreams.h"

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

} // namespace

QByteArray segment(std::uint32_t number, int type, std::uint32_t page, const QByteArray &data,
                   const std::vector<std::uint32_t> &referredTo)
{
    QByteArray out = be(number, 4) + char((type & 0x3f) | (page > 255 ? 0x40 : 0)) + char(referredTo.size() << 5);
    for (std::uint32_t r : referredTo)
        out += be(r, number <= 256 ? 1 : number <= 65536 ? 2
                                                         : 4);
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

std::vector<Placement> textPlacements()
{
    return {{0, 2, 1}, {1, 9, 1}, {1, 20, 2}, {0, 30, 3}, {1, 1, 8}, {0, 12, 8}, {0, 19, 9}};
}

QByteArray textRegion()
{
    // MQ coded, strips of one row, reference corner top left, OR; what an MQ encoder (T.88
    // annexes A and E) wrote for textPlacements() once.
    return QByteArray::fromHex("0000002800000010000000000000000000001000000007a6802353418838a066aa5fffac");
}

TestBitmap textPage(const std::vector<TestBitmap> &symbols)
{
    TestBitmap page(40, 16);
    for (const Placement &p : textPlacements()) {
        const TestBitmap &symbol = symbols[std::size_t(p.symbol)];
        for (int y = 0; y < symbol.height; ++y)
            for (int x = 0; x < symbol.width; ++x)
                if (symbol.at(x, y))
                    page.set(p.x + x, p.y + y, true);
    }
    return page;
}

} // namespace jbig2test
