#include "pdf/filters/Jbig2Decoder.h"
#include "pdf/filters/Jbig2StreamScan.h"

#include "Jbig2TestStreams.h"
#include "TestBitmap.h"
#include "TestFaxEncoder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <string>

using namespace jbig2test;

namespace {

constexpr qint64 kLimit = qint64(64) << 20;

// Not a speed goal: these cases took from 20 seconds to minutes before the fixes they guard,
// and take milliseconds now (a few seconds under valgrind).
constexpr auto kHangGuard = std::chrono::seconds(15);

// The page with `region` drawn at (x, y).
TestBitmap compose(TestBitmap page, const TestBitmap &region, int x, int y)
{
    for (int ry = 0; ry < region.height; ++ry)
        for (int rx = 0; rx < region.width; ++rx)
            if (region.at(rx, ry))
                page.set(x + rx, y + ry, true);
    return page;
}

QByteArray g4(const TestBitmap &bitmap)
{
    return faxEncode(bitmap, FaxEncodeOptions{});
}

// A one-page stream: page information, one immediate generic region, end of page.
QByteArray singleRegionPage(int pageWidth, int pageHeight, const QByteArray &regionData, bool endOfPage = true)
{
    return segment(0, PageInformation, 1, pageInformation(pageWidth, pageHeight))
        + segment(1, ImmediateLosslessGenericRegion, 1, regionData) + (endOfPage ? segment(2, EndOfPage, 1, {}) : QByteArray());
}

} // namespace

// Generic regions (MMR coded T.6 data) fill the page or sit in it. The output
// is in PDF's sense: 0 black, 1 white and padding.
TEST(Jbig2Decode, GenericRegions)
{
    struct Case {
        std::string name;
        TestBitmap region;
        int pageWidth, pageHeight, x, y;
    };
    const Case cases[] = {
        {"1x1 black", TestBitmap::filled(1, 1, true), 1, 1, 0, 0},
        {"random 9x25", TestBitmap::random(9, 25, 0.5, 21), 9, 25, 0, 0},
        {"random 61x17", TestBitmap::random(61, 17, 0.3, 22), 61, 17, 0, 0},
        {"runs 1728x40", TestBitmap::randomRuns(1728, 40, 15, 23), 1728, 40, 0, 0},
        {"checker 100x30", TestBitmap::checkerboard(100, 30, 2), 100, 30, 0, 0},
        {"inside a larger page", TestBitmap::randomRuns(20, 10, 3, 24), 67, 40, 13, 7},
        {"white", TestBitmap::filled(300, 8, false), 300, 8, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray expected = compose(TestBitmap(c.pageWidth, c.pageHeight), c.region, c.x, c.y).packed(false);
        const QByteArray mmr = mmrGenericRegion(c.region, c.x, c.y, g4(c.region));
        EXPECT_EQ(decodeJbig2(singleRegionPage(c.pageWidth, c.pageHeight, mmr), {}, kLimit), expected);
        // PDF streams often end without the end-of-page segment.
        EXPECT_EQ(decodeJbig2(singleRegionPage(c.pageWidth, c.pageHeight, mmr, false), {}, kLimit), expected);
    }
}

// A striped page of unknown height ends at the last row of its last stripe.
TEST(Jbig2Decode, StripedPageOfUnknownHeight)
{
    const TestBitmap top = TestBitmap::random(50, 16, 0.4, 25);
    const TestBitmap bottom = TestBitmap::random(50, 10, 0.4, 26);
    const QByteArray s = segment(0, PageInformation, 1, pageInformation(50, 0xffffffff, 0, 0x8000 | 16))
        + segment(1, ImmediateLosslessGenericRegion, 1, mmrGenericRegion(top, 0, 0, g4(top)))
        + segment(2, EndOfStripe, 1, endOfStripe(15))
        + segment(3, ImmediateLosslessGenericRegion, 1, mmrGenericRegion(bottom, 0, 16, g4(bottom)))
        + segment(4, EndOfStripe, 1, endOfStripe(25));
    const QByteArray expected = compose(compose(TestBitmap(50, 26), top, 0, 0), bottom, 0, 16).packed(false);
    EXPECT_EQ(decodeJbig2(s + segment(5, EndOfPage, 1, {}), {}, kLimit), expected);
    EXPECT_EQ(decodeJbig2(s, {}, kLimit), expected);
}

// Symbols defined in /JBIG2Globals and placed by a text region of the page stream, in strips
// of their own and sharing one.
TEST(Jbig2Decode, SymbolsFromGlobals)
{
    const std::vector<TestBitmap> symbols = textSymbols();
    const std::vector<Placement> placements = {{0, 2, 1}, {1, 9, 1}, {1, 20, 0}, {0, 30, 12}, {1, 1, 12}, {0, 33, 14}};
    TestBitmap page(48, 26);
    for (const Placement &p : placements)
        page = compose(page, symbols[std::size_t(p.symbol)], p.x, p.y);
    const QByteArray globals = segment(1, SymbolDictionary, 0, textSymbolDictionary());
    const QByteArray s = segment(2, PageInformation, 1, pageInformation(48, 26))
        + segment(3, ImmediateTextRegion, 1, textRegion(48, 26, {6, 8}, placements), {1}) + segment(4, EndOfPage, 1, {});

    EXPECT_EQ(decodeJbig2(s, globals, kLimit), page.packed(false));
    // Without its globals the text region cannot be decoded: the page stays blank, if any.
    const auto withoutGlobals = decodeJbig2(s, {}, kLimit);
    EXPECT_TRUE(!withoutGlobals || *withoutGlobals == TestBitmap(48, 26).packed(false));
    // Globals that are garbage leave a page that does not need them intact.
    const TestBitmap region = TestBitmap::random(30, 9, 0.5, 28);
    EXPECT_EQ(decodeJbig2(singleRegionPage(30, 9, mmrGenericRegion(region, 0, 0, g4(region))), QByteArray(50, '\x55'), kLimit),
              region.packed(false));
}

// The output limit, page and region sizes that would need far more memory than is allowed, and
// input that is no JBIG2 stream.
TEST(Jbig2Decode, LimitsAndRefusedInput)
{
    const TestBitmap region = TestBitmap::random(40, 20, 0.5, 29);
    const QByteArray t6 = g4(region);
    const QByteArray stream = singleRegionPage(40, 20, mmrGenericRegion(region, 0, 0, t6));
    EXPECT_TRUE(decodeJbig2(stream, {}, 5 * 20).has_value());
    EXPECT_FALSE(decodeJbig2(stream, {}, 5 * 20 - 1).has_value());
    EXPECT_FALSE(decodeJbig2(stream, {}, 0).has_value());
    EXPECT_FALSE(decodeJbig2({}, {}, kLimit).has_value());
    EXPECT_FALSE(decodeJbig2(QByteArray(100, '\0'), {}, kLimit).has_value());
    EXPECT_FALSE(decodeJbig2(QByteArray("\x97JB2\r\n\x1a\n"), {}, kLimit).has_value());

    auto peakKilobytes = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long peakBefore = peakKilobytes();
    const auto start = std::chrono::steady_clock::now();
    struct Case {
        std::uint32_t pageWidth, pageHeight, regionWidth, regionHeight;
        std::uint16_t striping;
    };
    const Case cases[] = {
        {0xffffffffu, 0xffffffffu, 40, 20, 0},
        {0x7fffffffu, 0x7fffffffu, 40, 20, 0},
        {100000, 100000, 40, 20, 0},
        {1, 0xfffffffeu, 40, 20, 0},
        {100000, 0xffffffffu, 40, 20, 0xffff}, // striped, unknown height, stripes of 32767 rows
        {40, 20, 100000, 100000, 0},           // a region far larger than its page
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.pageWidth << "x" << c.pageHeight << ", region "
                                        << c.regionWidth << "x" << c.regionHeight);
        QByteArray regionData = mmrGenericRegion(region, 0, 0, t6);
        for (int i = 0; i < 4; ++i) {
            regionData[i] = char(c.regionWidth >> (24 - 8 * i));
            regionData[4 + i] = char(c.regionHeight >> (24 - 8 * i));
        }
        const QByteArray huge = segment(0, PageInformation, 1, pageInformation(c.pageWidth, c.pageHeight, 0, c.striping))
            + segment(1, ImmediateLosslessGenericRegion, 1, regionData) + segment(2, EndOfPage, 1, {});
        const auto out = decodeJbig2(huge, {}, 1 << 20);
        EXPECT_TRUE(!out || out->size() <= (1 << 20));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, kHangGuard);
    // The decoder's allocations are bounded too, not only the output: without the bound the
    // large images above take gigabytes.
    EXPECT_LT(peakKilobytes() - peakBefore, 300L * 1024);
}

// Streams the fuzz tests found kept jbig2dec busy from seconds to minutes; each now decodes at
// once to what it holds: a text region announcing 2^28 symbol instances in 30 bytes (that segment
// and what follows it are not decoded); symbol dictionaries damaged so that symbols of absurd sizes
// are decoded from the bytes past their end (the memory budget follows the declared page size,
// which bounds that work too); a symbol dictionary whose data ends early and then reads as one
// empty height class after another (such globals are dropped; in the page stream the decode ends
// with no page).
TEST(Jbig2Decode, FuzzFindingsEndAtOnce)
{
    const QByteArray symbolGlobals = segment(1, SymbolDictionary, 0, textSymbolDictionary());
    QByteArray text = textRegion(40, 20, {6, 8}, {{0, 1, 2}, {1, 9, 2}, {0, 20, 10}});
    const QByteArray textPage = segment(2, PageInformation, 1, pageInformation(40, 20));
    auto textStream = [&](const QByteArray &textData) {
        return textPage + segment(3, ImmediateTextRegion, 1, textData, {1}) + segment(4, EndOfPage, 1, {});
    };
    const QByteArray goodText = textStream(text);
    text[19] = 0x10; // SBNUMINSTANCES, after the region information and the flags
    const QByteArray announcing = textStream(text);
    EXPECT_EQ(scanJbig2Stream(goodText).acceptedLength, goodText.size());
    EXPECT_EQ(scanJbig2Stream(announcing).acceptedLength, textPage.size());

    const QByteArray damagedGlobals[] = {
        QByteArray::fromHex("0000000100000000000025000019fffdff02fe4bfe000000020000da024d3838505c24b9a088acbce3feb023a43fffac"),
        QByteArray::fromHex("00c4000100009d00000025000003fffdff02fe48fe00000002000000af4d3838505c24b9a088acbce3feb023a43fffac"),
    };
    const QByteArray runaway = QByteArray::fromHex("0000000100000000000022000003fffdff02fefefe00000002000000305297f4fcbdacc3ebac68ff1280a60100");
    const TestBitmap region = TestBitmap::random(40, 21, 0.5, 34);
    const QByteArray regionData = mmrGenericRegion(region, 0, 0, g4(region));
    const QByteArray regionPage = singleRegionPage(40, 21, regionData);
    const QByteArray pageWithRunaway = segment(0, PageInformation, 1, pageInformation(40, 21))
        + runaway.sliced(4).prepend(QByteArray::fromHex("00000005"))
        + segment(1, ImmediateLosslessGenericRegion, 1, regionData) + segment(2, EndOfPage, 1, {});

    struct Case {
        const char *name;
        QByteArray stream, globals;
        std::optional<QByteArray> expected;
    };
    const Case cases[] = {
        {"text region announcing 2^28 instances", announcing, symbolGlobals, TestBitmap(40, 20).packed(false)},
        {"damaged globals 1", regionPage, damagedGlobals[0], region.packed(false)},
        {"damaged globals 2", regionPage, damagedGlobals[1], region.packed(false)},
        {"endless height classes in the globals", regionPage, runaway, region.packed(false)},
        {"endless height classes in the page", pageWithRunaway, {}, std::nullopt},
    };
    const auto start = std::chrono::steady_clock::now();
    for (const Case &c : cases)
        EXPECT_EQ(decodeJbig2(c.stream, c.globals, kLimit), c.expected) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, kHangGuard);
}

// The scan reads every form of segment header: long referred-to lists, 2- and 4-byte segment
// numbers, 4-byte page associations, and stops reading (accepting the rest) where a header is cut.
TEST(Jbig2StreamScan, HeaderForms)
{
    QByteArray text = textRegion(40, 20, {6, 8}, {{0, 1, 2}});
    text[19] = 0x10;
    const QByteArray good = segment(70000, EndOfPage, 300, {}, {1, 2, 3, 4});
    const QByteArray bad = segment(300, ImmediateTextRegion, 1, text, {1});
    EXPECT_EQ(scanJbig2Stream(good + bad).acceptedLength, good.size());
    EXPECT_EQ(scanJbig2Stream(good + bad.left(10)).acceptedLength, good.size() + 10);

    // Long form: count 9 in a 4-byte field with the top bits 111, two bytes of retention bits,
    // one-byte referred-to numbers, one-byte page association, data length 0.
    const QByteArray longForm = QByteArray("\0\0\0\x05\x31\xe0\0\0\x09\0\0", 11) + QByteArray(9, '\x01')
        + QByteArray("\x01\0\0\0\0", 5);
    EXPECT_EQ(scanJbig2Stream(longForm + bad).acceptedLength, longForm.size());

    // The first page information segment gives the page size.
    const Jbig2StreamScan scan = scanJbig2Stream(good + segment(9, PageInformation, 1, pageInformation(41, 30))
                                                 + segment(10, PageInformation, 1, pageInformation(8, 8)));
    EXPECT_TRUE(scan.hasPage);
    EXPECT_EQ(scan.pageBytes, 6u * 30u);
    const Jbig2StreamScan striped = scanJbig2Stream(segment(9, PageInformation, 1, pageInformation(41, 0xffffffff)));
    EXPECT_TRUE(striped.hasPage);
    EXPECT_FALSE(striped.pageBytes.has_value());
    EXPECT_FALSE(scanJbig2Stream(good).hasPage);
    EXPECT_FALSE(scanJbig2Stream(segment(9, PageInformation, 1, pageInformation(41, 30)).left(20)).hasPage);
}
