#include "pdf/filters/Jbig2Decoder.h"
#include "pdf/filters/Jbig2StreamScan.h"

#include "Jbig2TestStreams.h"
#include "TestBitmap.h"
#include "TestFaxEncoder.h"

#include "ZembrixProcess.h"

#include "PdfFixture.h"
#include <QPoint>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <string>

using namespace zembrix;

using namespace jbig2test;

namespace {

constexpr qint64 kLimit = qint64(64) << 20;

// Not a speed goal: these cases took from 20 seconds to minutes before the fixes they guard,
// and take milliseconds now (a few seconds under valgrind).
constexpr auto kHangGuard = std::chrono::seconds(15);

// The page with `region` combined into it at (x, y) by a region combination operator: 0 OR,
// 1 AND, 2 XOR, 3 XNOR, 4 REPLACE. What falls outside the page is cut off.
TestBitmap compose(TestBitmap page, const TestBitmap &region, int x, int y, int op = 0)
{
    for (int ry = 0; ry < region.height; ++ry)
        for (int rx = 0; rx < region.width; ++rx) {
            if (x + rx >= page.width || y + ry >= page.height)
                continue;
            const bool p = page.at(x + rx, y + ry), r = region.at(rx, ry);
            page.set(x + rx, y + ry, op == 0 ? p || r : op == 1 ? p && r
                                                    : op == 2   ? p != r
                                                    : op == 3   ? p == r
                                                                : r);
        }
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

// The page as the jbig2dec command-line tool decodes the embedded stream and its globals, in
// the form decodeJbig2() gives; none when the tool is not installed or fails.
std::optional<QByteArray> jbig2decPage(const QByteArray &stream, const QByteArray &globals)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("jbig2dec"));
    QTemporaryDir dir;
    if (tool.isEmpty() || !dir.isValid())
        return std::nullopt;
    auto file = [&](const QString &name, const QByteArray &bytes) {
        return fixture::writeFile(dir.filePath(name), bytes.toStdString()) ? dir.filePath(name) : QString();
    };
    QStringList args{"-q", "-e", "-t", "pbm", "-o", dir.filePath("page.pbm")};
    if (!globals.isEmpty())
        args << file("globals", globals);
    if (runProcess(tool, args << file("page", stream)).status != 0)
        return std::nullopt;
    QByteArray rows = fixture::readFile(dir.filePath("page.pbm"));
    // "P4", the size, then the packed rows with 1 for black.
    const qsizetype header = rows.indexOf('\n', rows.indexOf('\n') + 1);
    if (!rows.startsWith("P4") || header < 0)
        return std::nullopt;
    rows.remove(0, header + 1);
    for (char &c : rows)
        c = char(~c);
    return rows;
}

} // namespace

// Pages as jbig2dec's own tool decodes them (when it is installed) and as their encoder meant
// them, decoded with and without the end-of-page segment that PDF streams often leave out. The
// output is in PDF's sense: 0 black, 1 white and padding. Generic regions are MMR coded; the
// other coded data was written by a test encoder (T.88 annexes A, B and E). Globals: segment 1,
// symbols textSymbols() in a Huffman symbol dictionary (tables B.4, B.2, B.1, bitmaps
// uncompressed); segment 2, one symbol refined from symbol 1 by aggregation (template 1),
// exported with symbol 0; segment 3, a custom table (lines 0-3, 4-7, 8-15). Page streams:
// Huffman text regions placing textPlacements() by tables B.6, B.8 and B.11, or the custom table for
// delta T; an arithmetic text region refining two of its instances (template 0, one grown by a
// pixel each way); a checkerboard page refined in place (template 0, TPGRON) with REPLACE;
// regions combined by each operator, on a page black by default, one reaching past the page's
// corner. A page whose decoding jbig2dec reports an error for is refused, as is one whose text
// region lacks its symbols.
TEST(Jbig2Decode, PagesAsJbig2decDecodesThem)
{
    const std::vector<TestBitmap> s = textSymbols();
    TestBitmap ring = s[1], framed(7, 6), checker = TestBitmap::checkerboard(24, 12, 4), refined = checker;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x)
            framed.set(x, y, x % 6 == 0 || y % 5 == 0 || (x < 6 && y < 5 && s[0].at(x, y)));
    for (int i = 0; i < 12; ++i)
        ring.set(2 + i % 4, 2 + i / 4, false);
    for (const auto &[x, y] : {std::pair{5, 5}, {6, 5}, {20, 1}})
        refined.set(x, y, !refined.at(x, y));
    for (int x = 0; x < 24; ++x)
        refined.set(x, 11, x % 3 == 0);
    auto page = [](const std::vector<std::pair<const TestBitmap &, QPoint>> &symbols) {
        TestBitmap p(40, 16);
        for (const auto &[symbol, at] : symbols)
            p = compose(p, symbol, at.x(), at.y());
        return p;
    };
    auto textStream = [](const QByteArray &text, const std::vector<std::uint32_t> &referred) {
        return segment(10, PageInformation, 1, pageInformation(40, 16)) + segment(11, ImmediateTextRegion, 1, text, referred);
    };
    auto regionPage = [](const TestBitmap &region, int pageWidth, int pageHeight, int x = 0, int y = 0) {
        return singleRegionPage(pageWidth, pageHeight, mmrGenericRegion(region, x, y, g4(region)), false);
    };
    const QByteArray huffmanSymbols = segment(1, SymbolDictionary, 0,
                                              QByteArray::fromHex("00010000000200000002e3cff00054a854a854bafe00ffffffffffffff0080"));
    const QByteArray aggregate = segment(2, SymbolDictionary, 0,
                                         QByteArray::fromHex("100203fffdff02fefefe00000002000000014d2efa2dde8b8937e256ff7fffac"), {1});
    const QByteArray table = segment(3, 53, 0, QByteArray::fromHex("140000000000000010329f20"));
    const QByteArray textHead = QByteArray::fromHex("000000280000001000000000000000000000");
    const QByteArray standardText = QByteArray::fromHex("1100000000000701000000000000000000000000000000000040135412a051d58f008244");
    const QByteArray customText = QByteArray::fromHex("110030000000070100000000000000000000000000000000000404d5212a41466c78048488");
    const QByteArray refiningText = QByteArray::fromHex(
        "12ffffffff00000004a285c4ea13e11e3d17126fd4f94e15108132854433b968ffac");
    const QByteArray pageRefinement = QByteArray::fromHex(
        "000000180000000c00000000000000000402ffffffffb1d96be1fb4757d442ea218ff1875e34ffac");

    // Checker as region 11 (on the page, or intermediate: type 36), refined as region 12.
    auto refinedPage = [&](int checkerType, const std::vector<std::uint32_t> &referred) {
        return segment(10, PageInformation, 1, pageInformation(24, 12, 0x42))
               + segment(11, checkerType, 1, mmrGenericRegion(checker, 0, 0, g4(checker)))
               + segment(12, 42, 1, pageRefinement, referred);
    };
    QByteArray combined = segment(0, PageInformation, 1, pageInformation(32, 16, 0x44));
    TestBitmap combinedPage = compose(TestBitmap(32, 16), TestBitmap::filled(32, 16, true), 0, 0);
    for (int op = 0; op < 5; ++op) {
        const TestBitmap region = TestBitmap::random(12 + op, 9, 0.5, 40 + unsigned(op));
        QByteArray data = mmrGenericRegion(region, 5 * op, op == 4 ? 10 : op, g4(region));
        data[16] = char(op);
        combined += segment(std::uint32_t(1 + op), ImmediateLosslessGenericRegion, 1, data);
        combinedPage = compose(combinedPage, region, 5 * op, op == 4 ? 10 : op, op);
    }
    // A striped page of unknown height ends at the last row of its last stripe.
    const TestBitmap top = TestBitmap::random(50, 16, 0.4, 25), bottom = TestBitmap::random(50, 10, 0.4, 26);
    const QByteArray striped = segment(0, PageInformation, 1, pageInformation(50, 0xffffffff, 0, 0x8000 | 16))
                               + segment(1, ImmediateLosslessGenericRegion, 1, mmrGenericRegion(top, 0, 0, g4(top)))
                               + segment(2, EndOfStripe, 1, endOfStripe(15))
                               + segment(3, ImmediateLosslessGenericRegion, 1, mmrGenericRegion(bottom, 0, 16, g4(bottom)))
                               + segment(4, EndOfStripe, 1, endOfStripe(25));
    const TestBitmap runs = TestBitmap::randomRuns(1728, 40, 15, 23), random = TestBitmap::random(61, 17, 0.3, 22),
                     inside = TestBitmap::randomRuns(20, 10, 3, 24), garbageFree = TestBitmap::random(30, 9, 0.5, 28);

    struct Case {
        const char *name;
        QByteArray globals, stream;
        std::optional<TestBitmap> expected; // none: refused
    };
    const Case cases[] = {
        {"1x1 black", {}, regionPage(TestBitmap::filled(1, 1, true), 1, 1), TestBitmap::filled(1, 1, true)},
        {"random 61x17", {}, regionPage(random, 61, 17), random},
        {"runs 1728x40", {}, regionPage(runs, 1728, 40), runs},
        {"region inside a larger page", {}, regionPage(inside, 67, 40, 13, 7), compose(TestBitmap(67, 40), inside, 13, 7)},
        {"striped page of unknown height", {}, striped, compose(compose(TestBitmap(50, 26), top, 0, 0), bottom, 0, 16)},
        {"globals that are garbage and not needed", QByteArray(50, '\x55'), regionPage(garbageFree, 30, 9), garbageFree},
        {"arithmetic symbols and text", segment(1, SymbolDictionary, 0, textSymbolDictionary()),
         textStream(textRegion(), {1}), textPage(s)},
        {"Huffman, standard tables", huffmanSymbols, textStream(textHead + standardText, {1}), textPage(s)},
        {"Huffman, custom table", huffmanSymbols + table, textStream(textHead + customText, {1, 3}), textPage(s)},
        {"symbols refined by aggregation", huffmanSymbols + aggregate, textStream(textRegion(), {2}), textPage({s[0], ring})},
        {"text region refining its symbols", huffmanSymbols, textStream(textHead + refiningText, {1}),
         page({{s[1], {2, 2}}, {ring, {14, 3}}, {framed, {24, 7}}, {s[0], {3, 10}}})},
        {"page refined in place", {}, refinedPage(ImmediateLosslessGenericRegion, {}), refined},
        {"combination operators", {}, combined, combinedPage},
        // jbig2dec has no intermediate regions: the refinement that needs one fails.
        {"intermediate region", {}, refinedPage(36, {11}), std::nullopt},
        {"text region without its symbols", {}, textStream(textHead + standardText, {1}), std::nullopt},
    };
    for (const Case &c : cases)
        for (const QByteArray &stream : {c.stream, c.stream + segment(99, EndOfPage, 1, {})}) {
            SCOPED_TRACE(std::string(c.name) + (stream == c.stream ? "" : ", end of page"));
            QString failure;
            const std::optional<QByteArray> decoded = decodeJbig2(stream, c.globals, kLimit, &failure);
            ASSERT_EQ(decoded.has_value(), c.expected.has_value()) << failure.toStdString();
            if (!decoded) {
                EXPECT_FALSE(failure.isEmpty());
                continue;
            }
            EXPECT_EQ(*decoded, c.expected->packed(false));
            if (const std::optional<QByteArray> tool = jbig2decPage(stream, c.globals)) {
                EXPECT_EQ(*decoded, *tool);
            }
        }
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
// is not decoded, so neither is the page); symbol dictionaries damaged so that symbols of absurd sizes
// are decoded from the bytes past their end (the memory budget follows the declared page size,
// which bounds that work too); a symbol dictionary whose data ends early and then reads as one
// empty height class after another (such globals are dropped; in the page stream the decode ends
// with no page).
TEST(Jbig2Decode, FuzzFindingsEndAtOnce)
{
    const QByteArray symbolGlobals = segment(1, SymbolDictionary, 0, textSymbolDictionary());
    QByteArray text = textRegion();
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
        {"text region announcing 2^28 instances", announcing, symbolGlobals, std::nullopt},
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
    QByteArray text = textRegion();
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
