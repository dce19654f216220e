#include "pdf/filters/CcittFaxDecoder.h"

#include "TestBitmap.h"
#include "TestFaxEncoder.h"
#include "TiffFaxEncoder.h"

#include <gtest/gtest.h>

#include <tiff.h>

#include <string>
#include <vector>

namespace {

constexpr qint64 kLimit = qint64(1) << 30;

struct NamedBitmap {
    std::string name;
    TestBitmap bitmap;
};

std::vector<NamedBitmap> sampleBitmaps()
{
    return {
        {"random 1x40", TestBitmap::random(1, 40, 0.5, 1)},
        {"random 7x33", TestBitmap::random(7, 33, 0.5, 2)},
        {"random 8x20", TestBitmap::random(8, 20, 0.3, 3)},
        {"random 9x25", TestBitmap::random(9, 25, 0.6, 4)},
        {"noise 61x30", TestBitmap::random(61, 30, 0.5, 5)},
        {"runs 1728x60", TestBitmap::randomRuns(1728, 60, 12, 6)},
        {"runs 2550x40", TestBitmap::randomRuns(2550, 40, 300, 7)},
        {"white 1728x20", TestBitmap::filled(1728, 20, false)},
        {"white 2550x6", TestBitmap::filled(2550, 6, false)},
        {"black 9x5", TestBitmap::filled(9, 5, true)},
        {"black 2550x4", TestBitmap::filled(2550, 4, true)},
        {"checker 100x40/1", TestBitmap::checkerboard(100, 40, 1)},
        {"checker 77x31/3", TestBitmap::checkerboard(77, 31, 3)},
    };
}

// The decoder's output for `bitmap` as a conforming reader gives it.
QByteArray expectedOutput(const TestBitmap &bitmap, bool blackIs1, int rows = -1)
{
    return bitmap.packed(blackIs1, rows);
}

// Compares row by row, so that a failure names the first wrong row.
::testing::AssertionResult sameRows(const std::optional<QByteArray> &got, const QByteArray &expected, int rowBytes)
{
    if (!got)
        return ::testing::AssertionFailure() << "no output";
    if (got->size() != expected.size())
        return ::testing::AssertionFailure() << got->size() / rowBytes << " rows, expected " << expected.size() / rowBytes;
    for (qsizetype row = 0; row * rowBytes < expected.size(); ++row) {
        if (got->mid(row * rowBytes, rowBytes) != expected.mid(row * rowBytes, rowBytes))
            return ::testing::AssertionFailure() << "row " << row << " differs";
    }
    return ::testing::AssertionSuccess();
}

CcittFaxParams params(int columns, int k)
{
    CcittFaxParams p;
    p.columns = columns;
    p.k = k;
    return p;
}

// Bit positions just after each EOL code (eleven or more 0 bits and a 1).
std::vector<qint64> eolEnds(const QByteArray &data)
{
    std::vector<qint64> ends;
    int zeros = 0;
    for (qint64 i = 0; i < data.size() * 8; ++i) {
        const bool bit = (uchar(data[i / 8]) >> (7 - i % 8)) & 1;
        if (bit && zeros >= 11)
            ends.push_back(i + 1);
        zeros = bit ? 0 : zeros + 1;
    }
    return ends;
}

} // namespace

// Our test encoder must write exactly what libtiff writes for the layouts both can produce;
// the tests below then trust it for the layouts only it writes.
TEST(CcittFaxTestEncoder, MatchesLibtiffBitForBit)
{
    for (const NamedBitmap &b : sampleBitmaps()) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(faxEncode(b.bitmap, {.k = 0, .eol = true, .endMarker = false}),
                  tiffFaxEncode(b.bitmap, {.scheme = TiffFax::Group3OneD}));
        EXPECT_EQ(faxEncode(b.bitmap, {.k = 2, .eol = true, .endMarker = false}),
                  tiffFaxEncode(b.bitmap, {.scheme = TiffFax::Group3TwoD}));
        EXPECT_EQ(faxEncode(b.bitmap, {.k = 0, .eol = true}),
                  tiffFaxEncode(b.bitmap, {.scheme = TiffFax::Group3OneD, .faxMode = FAXMODE_CLASSIC}));
        EXPECT_EQ(faxEncode(b.bitmap, {.k = 2, .eol = true}),
                  tiffFaxEncode(b.bitmap, {.scheme = TiffFax::Group3TwoD, .faxMode = FAXMODE_CLASSIC}));
        EXPECT_EQ(faxEncode(b.bitmap, {.k = -1}), tiffFaxEncode(b.bitmap, {.scheme = TiffFax::Group4}));
    }
}

// libtiff's G3 1-D, G3 2-D and G4 strips decode to the source bitmap under the matching
// /DecodeParms, in both bit senses and with /Rows known or not.
TEST(CcittFaxDecode, LibtiffLayouts)
{
    struct Layout {
        const char *name;
        TiffFaxOptions tiff;
        CcittFaxParams params;
        bool rowsRequired; // no end marker: /Rows is how the decoder knows where to stop
    };
    auto p = [](int k, bool endOfLine, bool byteAlign, bool endOfBlock = true) {
        CcittFaxParams q;
        q.k = k;
        q.endOfLine = endOfLine;
        q.encodedByteAlign = byteAlign;
        q.endOfBlock = endOfBlock;
        return q;
    };
    const Layout layouts[] = {
        {"G3 1-D with EOLs and RTC", {TiffFax::Group3OneD, false, FAXMODE_CLASSIC}, p(0, true, false), false},
        {"G3 1-D with EOLs", {TiffFax::Group3OneD}, p(0, true, false), false},
        {"G3 1-D, EOLs not announced", {TiffFax::Group3OneD}, p(0, false, false), false},
        {"G3 1-D with fill bits", {TiffFax::Group3OneD, true}, p(0, true, true), false},
        {"G3 1-D with fill bits, EOLs not announced", {TiffFax::Group3OneD, true}, p(0, false, true), false},
        {"G3 2-D with RTC", {TiffFax::Group3TwoD, false, FAXMODE_CLASSIC}, p(2, true, false), false},
        {"G3 2-D with fill bits and RTC", {TiffFax::Group3TwoD, true, FAXMODE_CLASSIC}, p(2, true, true), false},
        {"G3 2-D", {TiffFax::Group3TwoD}, p(2, true, false), false},
        {"G3 2-D, any K > 0", {TiffFax::Group3TwoD}, p(7, false, false), false},
        {"G3 2-D with fill bits", {TiffFax::Group3TwoD, true}, p(4, true, true), false},
        {"G3 2-D with fill bits, EOLs not announced", {TiffFax::Group3TwoD, true}, p(4, false, true), false},
        {"G4", {TiffFax::Group4}, p(-1, false, false), false},
        {"G3 1-D, EndOfBlock false", {TiffFax::Group3OneD}, p(0, true, false, false), false},
        {"MH rows: byte-aligned, no EOL, no RTC",
         {TiffFax::Group3OneD, false, FAXMODE_BYTEALIGN | FAXMODE_NOEOL | FAXMODE_NORTC}, p(0, false, true, false), true},
    };
    int variant = 0;
    for (const Layout &layout : layouts) {
        for (const NamedBitmap &b : sampleBitmaps()) {
            SCOPED_TRACE(std::string(layout.name) + ", " + b.name);
            const QByteArray data = tiffFaxEncode(b.bitmap, layout.tiff);
            ASSERT_FALSE(data.isEmpty());
            CcittFaxParams q = layout.params;
            q.columns = b.bitmap.width;
            q.blackIs1 = (variant % 2) == 0;
            q.rows = (layout.rowsRequired || variant % 3 == 0) ? b.bitmap.height : 0;
            ++variant;
            EXPECT_TRUE(sameRows(decodeCcittFax(data, q, kLimit), expectedOutput(b.bitmap, q.blackIs1),
                                 b.bitmap.rowBytes()));
        }
    }
}

// Every run length from 0 to 2600 in both colours, and runs longer than 2560 that need several
// make-up codes.
TEST(CcittFaxDecode, EveryRunLength)
{
    const TestBitmap ladder = TestBitmap::runLadder(5300, 2601);
    const QByteArray expected = expectedOutput(ladder, false);
    EXPECT_TRUE(sameRows(decodeCcittFax(tiffFaxEncode(ladder, {TiffFax::Group3OneD}), params(5300, 0), kLimit),
                         expected, ladder.rowBytes()));
    EXPECT_TRUE(sameRows(decodeCcittFax(tiffFaxEncode(ladder, {TiffFax::Group4}), params(5300, -1), kLimit),
                         expected, ladder.rowBytes()));
}

// Layouts libtiff does not write: byte-aligned and EOL-carrying G4, tag bits without EOLs, EOLs
// starting on a byte boundary, and plain 1-D lines with no EOL at all.
TEST(CcittFaxDecode, OtherLayouts)
{
    struct Layout {
        const char *name;
        FaxEncodeOptions encode;
        bool endOfLine;
        bool byteAlign;
        bool endOfBlock;
    };
    const Layout layouts[] = {
        {"G4 byte-aligned", {.k = -1, .byteAlign = true}, false, true, true},
        {"G4 with EOLs", {.k = -1, .eol = true}, true, false, true},
        {"G4 with EOLs not announced", {.k = -1, .eol = true}, false, false, true},
        {"G4 byte-aligned with EOLs", {.k = -1, .eol = true, .byteAlign = true}, true, true, true},
        {"mixed, tag bits only", {.k = 3}, false, false, true},
        {"mixed, byte-aligned, tag bits only", {.k = 3, .byteAlign = true}, false, true, true},
        {"mixed, byte-aligned EOLs", {.k = 2, .eol = true, .byteAlign = true}, true, true, true},
        {"mixed, byte-aligned EOLs not announced", {.k = 2, .eol = true, .byteAlign = true}, false, true, true},
        {"1-D, byte-aligned EOLs", {.k = 0, .eol = true, .byteAlign = true}, true, true, true},
        {"1-D, nothing but codes", {.k = 0, .endMarker = false}, false, false, false},
        {"1-D, byte-aligned, no EOL", {.k = 0, .byteAlign = true, .endMarker = false}, false, true, false},
    };
    int variant = 0;
    for (const Layout &layout : layouts) {
        for (const NamedBitmap &b : sampleBitmaps()) {
            SCOPED_TRACE(std::string(layout.name) + ", " + b.name);
            CcittFaxParams q = params(b.bitmap.width, layout.encode.k);
            q.endOfLine = layout.endOfLine;
            q.encodedByteAlign = layout.byteAlign;
            q.endOfBlock = layout.endOfBlock;
            q.blackIs1 = (variant++ % 2) == 1;
            q.rows = layout.encode.endMarker ? 0 : b.bitmap.height;
            EXPECT_TRUE(sameRows(decodeCcittFax(faxEncode(b.bitmap, layout.encode), q, kLimit),
                                 expectedOutput(b.bitmap, q.blackIs1), b.bitmap.rowBytes()));
        }
    }
}

// /Rows caps the output; EndOfBlock false stops after exactly /Rows rows; a larger /Rows than the
// data holds gives the rows there are.
TEST(CcittFaxDecode, RowsAndEndOfBlock)
{
    const TestBitmap bitmap = TestBitmap::randomRuns(300, 40, 9, 11);
    const QByteArray g4 = tiffFaxEncode(bitmap, {TiffFax::Group4});
    const QByteArray g3 = tiffFaxEncode(bitmap, {TiffFax::Group3TwoD, false, FAXMODE_CLASSIC});
    const QByteArray noMarker = faxEncode(bitmap, {.k = -1, .endMarker = false});
    struct Case {
        const char *name;
        const QByteArray &data;
        int k;
        int rows;
        bool endOfBlock;
        int expectedRows;
    };
    const Case cases[] = {
        {"G4, Rows below the image", g4, -1, 15, true, 15},
        {"G4, Rows below the image, no EOFB expected", g4, -1, 15, false, 15},
        {"G4, Rows above the image", g4, -1, 60, true, 40},
        {"G4, Rows above the image, no EOFB expected", g4, -1, 60, false, 40},
        {"G4 without EOFB, Rows known", noMarker, -1, 40, false, 40},
        {"G4 without EOFB, Rows unknown", noMarker, -1, 0, false, 40},
        {"G3 2-D, Rows below the image", g3, 1, 1, true, 1},
        {"G3 2-D, Rows unknown", g3, 1, 0, true, 40},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CcittFaxParams q = params(300, c.k);
        q.rows = c.rows;
        q.endOfBlock = c.endOfBlock;
        EXPECT_TRUE(sameRows(decodeCcittFax(c.data, q, kLimit), expectedOutput(bitmap, false, c.expectedRows),
                             bitmap.rowBytes()));
    }
}

// Cut data gives the rows before the cut, all of them right; cut before the first row, nothing.
TEST(CcittFaxDecode, TruncatedData)
{
    const TestBitmap bitmap = TestBitmap::randomRuns(1728, 50, 20, 12);
    struct Case {
        const char *name;
        QByteArray data;
        CcittFaxParams params;
    };
    CcittFaxParams g3 = params(1728, 0);
    g3.endOfLine = true;
    const Case cases[] = {
        {"G4", tiffFaxEncode(bitmap, {TiffFax::Group4}), params(1728, -1)},
        {"G3 1-D", tiffFaxEncode(bitmap, {TiffFax::Group3OneD}), g3},
        {"G3 2-D", tiffFaxEncode(bitmap, {TiffFax::Group3TwoD}), params(1728, 2)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto half = decodeCcittFax(c.data.left(c.data.size() / 2), c.params, kLimit);
        ASSERT_TRUE(half.has_value());
        const int rows = int(half->size() / bitmap.rowBytes());
        EXPECT_GT(rows, 10);
        EXPECT_LT(rows, 40);
        EXPECT_TRUE(sameRows(half, expectedOutput(bitmap, false, rows), bitmap.rowBytes()));
        EXPECT_FALSE(decodeCcittFax(c.data.left(3), c.params, kLimit).has_value());
    }
}

// With EOLs, /DamagedRowsBeforeError damaged lines are replaced by the line above and decoding
// resumes at the next EOL; one damaged line more ends the output there.
TEST(CcittFaxDecode, DamagedRows)
{
    const TestBitmap bitmap = TestBitmap::random(200, 20, 0.5, 13);
    QByteArray data = tiffFaxEncode(bitmap, {TiffFax::Group3OneD, true, FAXMODE_CLASSIC});
    const std::vector<qint64> lineStarts = eolEnds(data);
    ASSERT_EQ(lineStarts.size(), 20u + 6u); // a line start per row, then the RTC
    for (int row : {5, 9}) {
        // Fill bits end each EOL on a byte boundary: a row's codes start on one. Eight 0 bits
        // and a 1 start no code.
        ASSERT_EQ(lineStarts[row] % 8, 0);
        data[lineStarts[row] / 8] = 0;
        data[lineStarts[row] / 8 + 1] = char(0xff);
    }
    auto withDamagedRow = [&](int rows) {
        TestBitmap fixed = bitmap.topRows(rows);
        for (int r : {5, 9})
            for (int x = 0; r < rows && x < bitmap.width; ++x)
                fixed.set(x, r, fixed.at(x, r - 1));
        return expectedOutput(fixed, false);
    };
    struct Case {
        bool endOfLine;
        int tolerated;
        int expectedRows;
    };
    for (const Case &c : {Case{true, 0, 5}, Case{true, 1, 9}, Case{true, 2, 20}, Case{true, 50, 20}, Case{false, 2, 5}}) {
        SCOPED_TRACE(testing::Message() << "EndOfLine " << c.endOfLine << ", tolerated " << c.tolerated);
        CcittFaxParams q = params(200, 0);
        q.endOfLine = c.endOfLine;
        q.encodedByteAlign = true;
        q.damagedRowsBeforeError = c.tolerated;
        EXPECT_TRUE(sameRows(decodeCcittFax(data, q, kLimit), withDamagedRow(c.expectedRows), bitmap.rowBytes()));
    }
}

// Codes that run past the end of the row, as some encoders write them, end the row there.
TEST(CcittFaxDecode, CodesPastTheRowEnd)
{
    struct Case {
        const char *name;
        QByteArray data;
        int k;
        QByteArray expected;
    };
    const Case cases[] = {
        // VR1 at b1 = 10 (a1 = 11), then V0; EOFB. Two white rows.
        {"2-D vertical", QByteArray("\x70\x01\x00\x10", 4), -1, QByteArray(4, char(0xff))},
        // White 5, black 7 (two too many); then white 10.
        {"1-D run", QByteArray("\xc1\x9c", 2), 0, QByteArray("\xf8\x3f\xff\xff", 4)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeCcittFax(c.data, params(10, c.k), kLimit), c.expected);
    }
}

// The limit counts output bytes, with /Rows known or not, and is checked before allocating.
TEST(CcittFaxDecode, OutputLimit)
{
    const TestBitmap bitmap = TestBitmap::random(100, 50, 0.5, 14);
    const QByteArray g4 = tiffFaxEncode(bitmap, {TiffFax::Group4});
    const qint64 exact = qint64(bitmap.rowBytes()) * bitmap.height;
    CcittFaxParams q = params(100, -1);
    EXPECT_TRUE(sameRows(decodeCcittFax(g4, q, exact), expectedOutput(bitmap, false), bitmap.rowBytes()));
    EXPECT_FALSE(decodeCcittFax(g4, q, exact - 1).has_value());
    q.rows = 50;
    q.endOfBlock = false;
    EXPECT_FALSE(decodeCcittFax(g4, q, exact - 1).has_value());

    // One-pixel rows coded as a single V0 bit each: a 1000-byte stream makes 8000 rows.
    const QByteArray ones(1000, char(0xff));
    CcittFaxParams narrow = params(1, -1);
    EXPECT_FALSE(decodeCcittFax(ones, narrow, 7999).has_value());
    const auto all = decodeCcittFax(ones, narrow, 8000);
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(*all, QByteArray(8000, char(0xff)));
}

TEST(CcittFaxDecode, RefusedInput)
{
    const QByteArray g4 = tiffFaxEncode(TestBitmap::random(16, 4, 0.5, 15), {TiffFax::Group4});
    EXPECT_TRUE(decodeCcittFax(g4, params(16, -1), kLimit).has_value());
    EXPECT_FALSE(decodeCcittFax(g4, params(0, -1), kLimit).has_value());
    EXPECT_FALSE(decodeCcittFax(g4, params(-16, -1), kLimit).has_value());
    EXPECT_FALSE(decodeCcittFax(g4, params(1 << 30, -1), kLimit).has_value());
    EXPECT_FALSE(decodeCcittFax(QByteArray(), params(16, -1), kLimit).has_value());
    EXPECT_FALSE(decodeCcittFax(g4, params(16, -1), 0).has_value());
    EXPECT_FALSE(decodeCcittFax(QByteArray(100, '\0'), params(16, -1), kLimit).has_value());
}
