#include "PdfTestSupport.h"

#include "Jbig2TestStreams.h"
#include "TestFaxEncoder.h"
#include "pdf/PdfStreamDecoder.h"

#include <random>

using namespace fixture;

namespace {

std::string sampleBytes(size_t n, unsigned seed = 7)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char(i % 7 == 0 ? rng() & 0xff : (i / 3) & 0xff); // some runs, some noise
    return s;
}

std::string toStdString(const QByteArray &a) { return std::string(a.constData(), size_t(a.size())); }

} // namespace

class StreamDataTest : public PdfTest
{
protected:
    // Stores each stream under /S0, /S1, ... of the catalog, writes the file
    // and opens it again.
    std::vector<std::optional<PdfStreamData>> decodeAll(PdfFixture &pdf, const std::vector<Obj> &streams,
                                                        qint64 limit = kMaxDecodedStreamBytes)
    {
        for (size_t i = 0; i < streams.size(); ++i)
            pdf.catalog().replaceKey("/S" + std::to_string(i), streams[i]);
        m_doc = PdfDocument::open(writeFixture(pdf));
        EXPECT_TRUE(m_doc);
        std::vector<std::optional<PdfStreamData>> out;
        for (size_t i = 0; i < streams.size(); ++i)
            out.push_back(m_doc->catalog().get(("S" + std::to_string(i)).c_str()).copyStreamData(limit));
        return out;
    }
    std::shared_ptr<PdfDocument> m_doc;
};

// Every general filter, alone, abbreviated and chained, gives back the
// original bytes.
TEST_F(StreamDataTest, GeneralFiltersRoundTrip)
{
    const std::string data = sampleBytes(5000);
    const std::vector<std::vector<std::string>> chains = {
        {}, {"FlateDecode"}, {"LZWDecode"}, {"ASCII85Decode"}, {"ASCIIHexDecode"}, {"RunLengthDecode"},
        {"Fl"}, {"AHx"}, {"A85"}, {"LZW"}, {"RL"},
        {"ASCII85Decode", "FlateDecode"}, {"ASCIIHexDecode", "RunLengthDecode", "LZWDecode"},
    };
    PdfFixture pdf;
    std::vector<Obj> streams;
    for (const auto &chain : chains)
        streams.push_back(pdf.image(50, 100, 8, name("DeviceGray"), data, chain));
    const auto results = decodeAll(pdf, streams);
    for (size_t i = 0; i < chains.size(); ++i) {
        ASSERT_TRUE(results[i]) << "chain " << i;
        EXPECT_EQ(results[i]->format, PdfStreamFormat::Raw);
        EXPECT_EQ(results[i]->bytes.toStdString(), data) << "chain " << i;
    }
}

TEST_F(StreamDataTest, PredictorsAndLzwEarlyChange)
{
    const int columns = 37, colors = 3;
    const std::string data = sampleBytes(size_t(columns) * colors * 11);
    auto parms = [&](int predictor, const Dict &extra = {}) {
        Dict d{{"Predictor", integer(predictor)}, {"Colors", integer(colors)}, {"Columns", integer(columns)}};
        d.insert(extra.begin(), extra.end());
        return dict(d);
    };
    PdfFixture pdf;
    std::vector<Obj> streams;
    for (int type = 0; type <= 4; ++type)
        streams.push_back(pdf.stream(flate(pngPredict(data, columns, colors, 8, type)),
                                     {{"Filter", name("FlateDecode")}, {"DecodeParms", parms(10 + type)}}));
    streams.push_back(pdf.stream(flate(tiffPredict(data, columns, colors, 8)),
                                 {{"Filter", name("FlateDecode")}, {"DecodeParms", parms(2)}}));
    streams.push_back(pdf.stream(lzw(pngPredict(data, columns, colors, 8, 4), false),
                                 {{"Filter", array({name("LZWDecode")})},
                                  {"DecodeParms", array({parms(15, {{"EarlyChange", integer(0)}})})}}));
    const auto results = decodeAll(pdf, streams);
    for (size_t i = 0; i < results.size(); ++i) {
        ASSERT_TRUE(results[i]) << i;
        EXPECT_EQ(results[i]->bytes.toStdString(), data) << i;
    }
}

// DCTDecode and JPXDecode stop the chain: what comes back is the still-coded
// data after the filters before them, with its format.
TEST_F(StreamDataTest, PhotographicFiltersStopTheChain)
{
    const std::string jpegLike = "\xff\xd8\xff\xe0 fake jpeg data \xff\xd9";
    PdfFixture pdf;
    const auto results = decodeAll(pdf, {
        pdf.image(1, 1, 8, name("DeviceRGB"), jpegLike, {"DCTDecode"}),
        pdf.image(1, 1, 8, name("DeviceRGB"), jpegLike, {"ASCII85Decode", "DCTDecode"}),
        pdf.image(1, 1, 8, name("DeviceRGB"), jpegLike, {"FlateDecode", "DCT"}),
        pdf.image(1, 1, 8, name("DeviceRGB"), jpegLike, {"ASCIIHexDecode", "JPXDecode"}),
        pdf.image(1, 1, 8, name("DeviceRGB"), jpegLike, {"BogusDecode"}),
        pdf.stream("abc", {{"Filter", array({integer(3)})}}),
    });
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(results[size_t(i)]);
        EXPECT_EQ(results[size_t(i)]->format, PdfStreamFormat::JPEG);
        EXPECT_EQ(results[size_t(i)]->bytes.toStdString(), jpegLike);
    }
    ASSERT_TRUE(results[3]);
    EXPECT_EQ(results[3]->format, PdfStreamFormat::JPEG2000);
    EXPECT_EQ(results[3]->bytes.toStdString(), jpegLike);
    EXPECT_FALSE(results[4]); // unknown filter
    EXPECT_FALSE(results[5]); // a number is not a filter
}

// A stream that inflates past its limit is refused without being held whole, and the default
// limit follows the image dictionary (a 10 x 10 gray image may not inflate to 64 MiB); damaged
// data gives what decoded before the damage.
TEST_F(StreamDataTest, LimitsAndDamage)
{
    const std::string data = sampleBytes(200000);
    std::string truncated = flate(data);
    truncated.resize(truncated.size() / 2);
    PdfFixture pdf;
    const auto results = decodeAll(pdf, {
        pdf.image(10, 10, 8, name("DeviceGray"), std::string(64 << 20, '\0'), {"FlateDecode"}),
        pdf.stream(truncated, {{"Filter", name("FlateDecode")}}),
        pdf.stream("zzzz not flate at all", {{"Filter", name("FlateDecode")}}),
        pdf.stream(flate(data), {{"Filter", name("FlateDecode")},
                                 {"DecodeParms", dict({{"Predictor", integer(12)}, {"Columns", integer(2000000000)}})}}),
        pdf.image(10, 10, 8, name("DeviceGray"), std::string(100, '\x11'), {"FlateDecode"}),
    }, qint64(16) << 20);
    EXPECT_FALSE(results[0]);
    ASSERT_TRUE(results[1]);
    EXPECT_GT(results[1]->bytes.size(), 1000);
    EXPECT_LT(results[1]->bytes.size(), qsizetype(data.size()));
    EXPECT_EQ(results[1]->bytes.toStdString(), data.substr(0, size_t(results[1]->bytes.size())));
    EXPECT_FALSE(results[2]);
    EXPECT_FALSE(results[3]);

    const PdfObject bomb = m_doc->catalog().get("S0"), fine = m_doc->catalog().get("S4");
    EXPECT_LT(bomb.decodedSizeLimit(), qint64(2) << 20);
    EXPECT_FALSE(bomb.copyStreamData(bomb.decodedSizeLimit()));
    const auto fineData = fine.copyStreamData(fine.decodedSizeLimit());
    ASSERT_TRUE(fineData);
    EXPECT_EQ(fineData->bytes, QByteArray(100, '\x11'));
}

// The bilevel filters inside a PDF stream chain: CCITT G4 behind ASCIIHex
// with the abbreviated name, and JBIG2 with its /JBIG2Globals symbols.
TEST_F(StreamDataTest, BilevelFiltersInTheChain)
{
    const TestBitmap page = TestBitmap::randomRuns(77, 23, 6, 3);
    const QByteArray g4 = faxEncode(page, FaxEncodeOptions{});

    using namespace jbig2test;
    const TestBitmap glyph = textSymbols()[1];
    TestBitmap expected(40, 16);
    for (int y = 0; y < glyph.height; ++y)
        for (int x = 0; x < glyph.width; ++x) {
            expected.set(3 + x, 4 + y, glyph.at(x, y));
            expected.set(20 + x, 4 + y, glyph.at(x, y));
        }
    const QByteArray globals = segment(0, SymbolDictionary, 0, textSymbolDictionary());
    const QByteArray jbig2 = segment(1, PageInformation, 1, pageInformation(40, 16))
        + segment(2, ImmediateTextRegion, 1, textRegion(40, 16, {6, 8}, {{1, 3, 4}, {1, 20, 4}}), {0})
        + segment(3, EndOfPage, 1, QByteArray());

    PdfFixture pdf;
    Obj globalsStream = pdf.stream(toStdString(globals));
    const auto results = decodeAll(pdf, {
        pdf.stream(asciiHex(toStdString(g4)),
                   {{"Filter", array({name("AHx"), name("CCF")})},
                    {"DecodeParms", array({QPDFObjectHandle::newNull(),
                                           dict({{"K", integer(-1)}, {"Columns", integer(77)}, {"Rows", integer(23)}})})}}),
        pdf.stream(toStdString(jbig2), {{"Filter", name("JBIG2Decode")},
                                        {"DecodeParms", dict({{"JBIG2Globals", globalsStream}})}}),
    });
    ASSERT_TRUE(results[0]);
    EXPECT_EQ(results[0]->bytes, page.packed(false));
    ASSERT_TRUE(results[1]);
    EXPECT_EQ(results[1]->bytes, expected.packed(false));
}
