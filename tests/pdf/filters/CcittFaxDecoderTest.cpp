#include "pdf/filters/CcittFaxDecoder.h"

#include "TestBitmap.h"
#include "TestFaxEncoder.h"

#include <gtest/gtest.h>

#include <QTemporaryFile>

#include <tiffio.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace zembrix;

namespace {

// CCITT fax data written by libtiff: an encoder independent of ours.
enum class TiffFax { Group3OneD,
                     Group3TwoD,
                     Group4 };

struct TiffFaxOptions {
    TiffFax scheme = TiffFax::Group4;
    bool fillBits = false; // T.4 fill bits: each EOL ends on a byte boundary
    // libtiff FAXMODE_* bits (no EOL, no RTC, byte-aligned rows); -1 keeps libtiff's default,
    // which for TIFF files leaves out the RTC.
    int faxMode = -1;
};

// The raw strip holding the whole image (black pixels coded as black runs).
QByteArray tiffFaxEncode(const TestBitmap &bitmap, const TiffFaxOptions &options)
{
    TIFFSetWarningHandler(nullptr);
    QTemporaryFile file;
    TIFF *out = file.open() ? TIFFOpen(file.fileName().toLocal8Bit().constData(), "w") : nullptr;
    if (out == nullptr)
        return {};
    const bool g4 = options.scheme == TiffFax::Group4;
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, uint32_t(bitmap.width));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, uint32_t(bitmap.height));
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, uint32_t(bitmap.height));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(out, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    // The fax codecs code 0 bits as white runs: MINISWHITE data, 1 = black.
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(out, TIFFTAG_COMPRESSION, g4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3);
    if (!g4)
        TIFFSetField(out, TIFFTAG_GROUP3OPTIONS, uint32_t((options.scheme == TiffFax::Group3TwoD ? GROUP3OPT_2DENCODING : 0) | (options.fillBits ? GROUP3OPT_FILLBITS : 0)));
    if (options.faxMode >= 0)
        TIFFSetField(out, TIFFTAG_FAXMODE, options.faxMode);
    QByteArray rows = bitmap.packed(true);
    bool written = true;
    for (int y = 0; y < bitmap.height && written; ++y)
        written = TIFFWriteScanline(out, rows.data() + y * bitmap.rowBytes(), uint32_t(y), 0) >= 0;
    TIFFClose(out);
    TIFF *in = written ? TIFFOpen(file.fileName().toLocal8Bit().constData(), "r") : nullptr;
    if (in == nullptr)
        return {};
    QByteArray raw(std::max<tmsize_t>(0, TIFFRawStripSize(in, 0)), Qt::Uninitialized);
    if (raw.isEmpty() || TIFFReadRawStrip(in, 0, raw.data(), raw.size()) != raw.size())
        raw.clear();
    TIFFClose(in);
    return raw;
}

constexpr qint64 kLimit = qint64(1) << 30;

const std::vector<std::pair<std::string, TestBitmap>> &sampleBitmaps()
{
    static const std::vector<std::pair<std::string, TestBitmap>> bitmaps = {
        {"random 1x40", TestBitmap::random(1, 40, 0.5, 1)},
        {"random 7x33", TestBitmap::random(7, 33, 0.5, 2)},
        {"random 8x20", TestBitmap::random(8, 20, 0.3, 3)},
        {"random 9x25", TestBitmap::random(9, 25, 0.6, 4)},
        {"runs 1728x60", TestBitmap::randomRuns(1728, 60, 12, 6)},
        {"runs 2550x40", TestBitmap::randomRuns(2550, 40, 300, 7)},
        {"white 1728x20", TestBitmap::filled(1728, 20, false)},
        {"black 9x5", TestBitmap::filled(9, 5, true)},
        {"checker 100x40/1", TestBitmap::checkerboard(100, 40, 1)},
        {"checker 77x31/3", TestBitmap::checkerboard(77, 31, 3)},
    };
    return bitmaps;
}

// Compares with the bitmap's rows; a failure names the first wrong row.
::testing::AssertionResult sameRows(const std::optional<QByteArray> &got, const TestBitmap &bitmap, bool blackIs1 = false)
{
    const QByteArray expected = bitmap.packed(blackIs1);
    if (got == expected)
        return ::testing::AssertionSuccess();
    qsizetype row = 0;
    while (got && got->mid(row * bitmap.rowBytes(), bitmap.rowBytes()) == expected.mid(row * bitmap.rowBytes(), bitmap.rowBytes()))
        ++row;
    return ::testing::AssertionFailure() << (got ? "row " + std::to_string(row) + " differs" : "no output");
}

CcittFaxParams params(int columns, int k)
{
    return CcittFaxParams{.k = k, .columns = columns};
}

// Bit positions just after each EOL code (eleven or more 0 bits and a 1).
std::vector<qint64> eolEnds(const QByteArray &data)
{
    std::vector<qint64> ends;
    for (qint64 i = 0, zeros = 0; i < data.size() * 8; ++i) {
        const bool bit = (uchar(data[i / 8]) >> (7 - i % 8)) & 1;
        if (bit && zeros >= 11)
            ends.push_back(i + 1);
        zeros = bit ? 0 : zeros + 1;
    }
    return ends;
}

} // namespace

// libtiff's strips (G3 1-D, G3 2-D, G4) and the layouts only our encoder writes (byte-aligned and
// EOL-carrying G4, tag bits without EOLs, byte-aligned EOLs, bare 1-D codes) decode to the source
// under the matching /DecodeParms, in both bit senses and with /Rows known or not.
TEST(CcittFaxDecode, EveryLayout)
{
    struct Layout {
        const char *name;
        std::optional<TiffFaxOptions> tiff; // else our encoder with `encode`
        FaxEncodeOptions encode;
        CcittFaxParams params;
        bool rowsRequired = false; // no end marker: /Rows is how the decoder knows where to stop
    };
    auto p = [](int k, bool endOfLine, bool byteAlign, bool endOfBlock = true) {
        return CcittFaxParams{.k = k, .endOfLine = endOfLine, .encodedByteAlign = byteAlign, .endOfBlock = endOfBlock};
    };
    using T = TiffFaxOptions;
    const Layout layouts[] = {
        {"G3 1-D with EOLs and RTC", T{TiffFax::Group3OneD, false, FAXMODE_CLASSIC}, {}, p(0, true, false)},
        {"G3 1-D with EOLs", T{TiffFax::Group3OneD}, {}, p(0, true, false)},
        {"G3 1-D, EOLs not announced", T{TiffFax::Group3OneD}, {}, p(0, false, false)},
        {"G3 1-D with fill bits", T{TiffFax::Group3OneD, true}, {}, p(0, true, true)},
        {"G3 2-D with RTC", T{TiffFax::Group3TwoD, false, FAXMODE_CLASSIC}, {}, p(2, true, false)},
        {"G3 2-D", T{TiffFax::Group3TwoD}, {}, p(2, true, false)},
        {"G3 2-D, any K > 0", T{TiffFax::Group3TwoD}, {}, p(7, false, false)},
        {"G3 2-D with fill bits", T{TiffFax::Group3TwoD, true}, {}, p(4, true, true)},
        {"G4", T{TiffFax::Group4}, {}, p(-1, false, false)},
        {"G3 1-D, EndOfBlock false", T{TiffFax::Group3OneD}, {}, p(0, true, false, false)},
        {"MH rows: byte-aligned, no EOL, no RTC", T{TiffFax::Group3OneD, false, FAXMODE_BYTEALIGN | FAXMODE_NOEOL | FAXMODE_NORTC}, {}, p(0, false, true, false), true},
        {"G4 byte-aligned", {}, {.k = -1, .byteAlign = true}, p(-1, false, true)},
        {"G4 with EOLs", {}, {.k = -1, .eol = true}, p(-1, true, false)},
        {"G4 byte-aligned with EOLs", {}, {.k = -1, .eol = true, .byteAlign = true}, p(-1, true, true)},
        {"mixed, tag bits only", {}, {.k = 3}, p(3, false, false)},
        {"mixed, byte-aligned, tag bits only", {}, {.k = 3, .byteAlign = true}, p(3, false, true)},
        {"mixed, byte-aligned EOLs", {}, {.k = 2, .eol = true, .byteAlign = true}, p(2, true, true)},
        {"1-D, byte-aligned EOLs", {}, {.k = 0, .eol = true, .byteAlign = true}, p(0, true, true)},
        {"1-D, nothing but codes", {}, {.k = 0, .endMarker = false}, p(0, false, false, false), true},
        {"1-D, byte-aligned, no EOL", {}, {.k = 0, .byteAlign = true, .endMarker = false}, p(0, false, true, false), true},
    };
    int variant = 0;
    for (const Layout &layout : layouts) {
        for (const auto &[name, bitmap] : sampleBitmaps()) {
            SCOPED_TRACE(std::string(layout.name) + ", " + name);
            const QByteArray data = layout.tiff ? tiffFaxEncode(bitmap, *layout.tiff) : faxEncode(bitmap, layout.encode);
            ASSERT_FALSE(data.isEmpty());
            CcittFaxParams q = layout.params;
            q.columns = bitmap.width;
            q.blackIs1 = variant % 2 == 0;
            q.rows = (layout.rowsRequired || variant % 3 == 0) ? bitmap.height : 0;
            ++variant;
            EXPECT_TRUE(sameRows(decodeCcittFax(data, q, kLimit), bitmap, q.blackIs1));
        }
    }
}

// Every run length from 0 to 2600 in both colours, and runs longer than 2560 that need several
// make-up codes.
TEST(CcittFaxDecode, EveryRunLength)
{
    const TestBitmap ladder = TestBitmap::runLadder(5300, 2601);
    EXPECT_TRUE(sameRows(decodeCcittFax(tiffFaxEncode(ladder, {TiffFax::Group3OneD}), params(5300, 0), kLimit), ladder));
    EXPECT_TRUE(sameRows(decodeCcittFax(tiffFaxEncode(ladder, {TiffFax::Group4}), params(5300, -1), kLimit), ladder));
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
        int k, rows;
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
        const CcittFaxParams q{.k = c.k, .columns = 300, .rows = c.rows, .endOfBlock = c.endOfBlock};
        EXPECT_TRUE(sameRows(decodeCcittFax(c.data, q, kLimit), bitmap.topRows(c.expectedRows)));
    }
}

// Cut data gives the rows before the cut, all of them right; cut before the first row, nothing.
TEST(CcittFaxDecode, TruncatedData)
{
    const TestBitmap bitmap = TestBitmap::randomRuns(1728, 50, 20, 12);
    const std::pair<QByteArray, CcittFaxParams> cases[] = {
        {tiffFaxEncode(bitmap, {TiffFax::Group4}), params(1728, -1)},
        {tiffFaxEncode(bitmap, {TiffFax::Group3OneD}), {.k = 0, .columns = 1728, .endOfLine = true}},
        {tiffFaxEncode(bitmap, {TiffFax::Group3TwoD}), params(1728, 2)},
    };
    for (const auto &[data, q] : cases) {
        SCOPED_TRACE(q.k);
        const auto half = decodeCcittFax(data.left(data.size() / 2), q, kLimit);
        ASSERT_TRUE(half.has_value());
        const int rows = int(half->size() / bitmap.rowBytes());
        EXPECT_GT(rows, 10);
        EXPECT_LT(rows, 40);
        EXPECT_TRUE(sameRows(half, bitmap.topRows(rows)));
        EXPECT_FALSE(decodeCcittFax(data.left(3), q, kLimit).has_value());
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
    struct Case {
        bool endOfLine;
        int tolerated, expectedRows;
    };
    for (const Case &c : {Case{true, 0, 5}, Case{true, 1, 9}, Case{true, 2, 20}, Case{true, 50, 20}, Case{false, 2, 5}}) {
        SCOPED_TRACE(testing::Message() << "EndOfLine " << c.endOfLine << ", tolerated " << c.tolerated);
        TestBitmap fixed = bitmap.topRows(c.expectedRows);
        for (int r : {5, 9})
            for (int x = 0; r < c.expectedRows && x < bitmap.width; ++x)
                fixed.set(x, r, fixed.at(x, r - 1));
        const CcittFaxParams q{.columns = 200, .endOfLine = c.endOfLine, .encodedByteAlign = true, .damagedRowsBeforeError = c.tolerated};
        EXPECT_TRUE(sameRows(decodeCcittFax(data, q, kLimit), fixed));
    }
}

// Codes that run past the end of the row, as some encoders write them, end the row there.
TEST(CcittFaxDecode, CodesPastTheRowEnd)
{
    // VR1 at b1 = 10 (a1 = 11), then V0; EOFB. Two white rows.
    EXPECT_EQ(decodeCcittFax(QByteArray("\x70\x01\x00\x10", 4), params(10, -1), kLimit), QByteArray(4, char(0xff)));
    // White 5, black 7 (two too many); then white 10.
    EXPECT_EQ(decodeCcittFax(QByteArray("\xc1\x9c", 2), params(10, 0), kLimit), QByteArray("\xf8\x3f\xff\xff", 4));
}

// The limit counts output bytes, with /Rows known or not, and is checked before allocating;
// columns and data that cannot make an image are refused.
TEST(CcittFaxDecode, OutputLimitAndRefusedInput)
{
    const TestBitmap bitmap = TestBitmap::random(100, 50, 0.5, 14);
    const QByteArray g4 = tiffFaxEncode(bitmap, {TiffFax::Group4});
    const qint64 exact = qint64(bitmap.rowBytes()) * bitmap.height;
    CcittFaxParams q = params(100, -1);
    EXPECT_TRUE(sameRows(decodeCcittFax(g4, q, exact), bitmap));
    EXPECT_FALSE(decodeCcittFax(g4, q, exact - 1).has_value());
    q.rows = 50;
    q.endOfBlock = false;
    EXPECT_FALSE(decodeCcittFax(g4, q, exact - 1).has_value());

    // One-pixel rows coded as a single V0 bit each: a 1000-byte stream makes 8000 rows.
    const QByteArray ones(1000, char(0xff));
    EXPECT_FALSE(decodeCcittFax(ones, params(1, -1), 7999).has_value());
    EXPECT_EQ(decodeCcittFax(ones, params(1, -1), 8000), QByteArray(8000, char(0xff)));

    for (int columns : {0, -100, 1 << 30})
        EXPECT_FALSE(decodeCcittFax(g4, params(columns, -1), kLimit).has_value()) << columns;
    EXPECT_FALSE(decodeCcittFax(QByteArray(), params(100, -1), kLimit).has_value());
    EXPECT_FALSE(decodeCcittFax(g4, params(100, -1), 0).has_value());
    EXPECT_FALSE(decodeCcittFax(QByteArray(100, '\0'), params(100, -1), kLimit).has_value());
}
