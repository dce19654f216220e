#include "PdfTestSupport.h"

#include "Jbig2TestStreams.h"
#include "TestFaxEncoder.h"
#include "pdf/PdfStreamDecoder.h"

using namespace zembrix;

using namespace fixture;

class StreamDataTest : public PdfTest
{
protected:
    // Stores each stream under /S0, /S1, ... of the catalog, writes the file, opens it again and
    // decodes them.
    std::vector<std::optional<PdfStreamData>> decodeAll(PdfFixture &pdf, const std::vector<Obj> &streams,
                                                        qint64 limit = kMaxDecodedStreamBytes)
    {
        for (size_t i = 0; i < streams.size(); ++i)
            pdf.catalog().replaceKey("/S" + std::to_string(i), streams[i]);
        m_doc = PdfDocument::open(writeFixture(pdf));
        EXPECT_TRUE(m_doc);
        std::vector<std::optional<PdfStreamData>> out;
        for (size_t i = 0; i < streams.size(); ++i)
            out.push_back(stream(int(i)).copyStreamData(limit));
        return out;
    }
    PdfObject stream(int i) const { return m_doc->catalog().get(("S" + std::to_string(i)).c_str()); }
    std::shared_ptr<PdfDocument> m_doc;
};

// Every general filter, alone, abbreviated and chained, with each predictor and LZW's
// EarlyChange, gives back the original bytes; DCTDecode and JPXDecode end the chain with the
// still-coded data and its format; CCITT and JBIG2 (with its /JBIG2Globals) decode inside the
// chain; an unknown filter or one that is no name gives nothing.
TEST_F(StreamDataTest, FilterChains)
{
    const int columns = 37, colors = 3;
    const std::string data = sampleBytes(size_t(columns) * colors * 45);
    const std::string jpegLike = "\xff\xd8\xff\xe0 fake jpeg data \xff\xd9";
    auto parms = [&](int predictor, const Dict &extra = {}) {
        Dict d{{"Predictor", integer(predictor)}, {"Colors", integer(colors)}, {"Columns", integer(columns)}};
        d.insert(extra.begin(), extra.end());
        return dict(d);
    };
    const TestBitmap fax = TestBitmap::randomRuns(77, 23, 6, 3);
    using namespace jbig2test;
    const TestBitmap text = textPage(textSymbols());
    const QByteArray jbig2 = segment(1, PageInformation, 1, pageInformation(40, 16))
                             + segment(2, ImmediateTextRegion, 1, textRegion(), {0}) + segment(3, EndOfPage, 1, QByteArray());

    PdfFixture pdf;
    auto image = [&](const std::vector<std::string> &chain, const std::string &samples = {}) {
        return pdf.image(columns, 45, 8, name("DeviceRGB"), samples.empty() ? data : samples, chain);
    };
    auto flated = [&](const std::string &bytes, const Obj &decodeParms) {
        return pdf.stream(flate(bytes), {{"Filter", name("FlateDecode")}, {"DecodeParms", decodeParms}});
    };
    struct Row {
        Obj stream;
        std::optional<PdfStreamFormat> format; // none: refused
        std::string bytes;
    };
    std::vector<Row> rows;
    for (const std::vector<std::string> &chain : std::vector<std::vector<std::string>>{
             {}, {"FlateDecode"}, {"LZWDecode"}, {"ASCII85Decode"}, {"ASCIIHexDecode"}, {"RunLengthDecode"}, {"Fl"}, {"AHx"}, {"A85"}, {"LZW"}, {"RL"}, {"ASCII85Decode", "FlateDecode"}, {"ASCIIHexDecode", "RunLengthDecode", "LZWDecode"}})
        rows.push_back({image(chain), PdfStreamFormat::Raw, data});
    for (int type = 0; type <= 4; ++type)
        rows.push_back({flated(pngPredict(data, columns, colors, 8, type), parms(10 + type)), PdfStreamFormat::Raw, data});
    rows.push_back({flated(tiffPredict(data, columns, colors, 8), parms(2)), PdfStreamFormat::Raw, data});
    rows.push_back({pdf.stream(lzw(pngPredict(data, columns, colors, 8, 4), false),
                               {{"Filter", array({name("LZWDecode")})},
                                {"DecodeParms", array({parms(15, {{"EarlyChange", integer(0)}})})}}),
                    PdfStreamFormat::Raw, data});
    for (const std::vector<std::string> &chain : std::vector<std::vector<std::string>>{
             {"DCTDecode"}, {"ASCII85Decode", "DCTDecode"}, {"FlateDecode", "DCT"}})
        rows.push_back({image(chain, jpegLike), PdfStreamFormat::JPEG, jpegLike});
    rows.push_back({image({"ASCIIHexDecode", "JPXDecode"}, jpegLike), PdfStreamFormat::JPEG2000, jpegLike});
    rows.push_back({pdf.stream(asciiHex(toStd(faxEncode(fax, FaxEncodeOptions{}))),
                               {{"Filter", array({name("AHx"), name("CCF")})},
                                {"DecodeParms", array({QPDFObjectHandle::newNull(),
                                                       dict({{"K", integer(-1)}, {"Columns", integer(77)}, {"Rows", integer(23)}})})}}),
                    PdfStreamFormat::Raw, toStd(fax.packed(false))});
    rows.push_back({pdf.stream(toStd(jbig2), {{"Filter", name("JBIG2Decode")},
                                              {"DecodeParms", dict({{"JBIG2Globals",
                                                                     pdf.stream(toStd(segment(0, SymbolDictionary, 0, textSymbolDictionary())))}})}}),
                    PdfStreamFormat::Raw, toStd(text.packed(false))});
    rows.push_back({image({"BogusDecode"}, jpegLike), std::nullopt, {}});
    rows.push_back({pdf.stream("abc", {{"Filter", array({integer(3)})}}), std::nullopt, {}});
    rows.push_back({pdf.stream("zzzz not flate at all", {{"Filter", name("FlateDecode")}}), std::nullopt, {}});
    rows.push_back({flated(data, dict({{"Predictor", integer(12)}, {"Columns", integer(2000000000)}})), std::nullopt, {}});

    std::vector<Obj> streams;
    for (const Row &row : rows)
        streams.push_back(row.stream);
    const auto results = decodeAll(pdf, streams);
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(results[i].has_value(), rows[i].format.has_value());
        if (results[i]) {
            EXPECT_EQ(results[i]->format, *rows[i].format);
            EXPECT_EQ(results[i]->bytes.toStdString(), rows[i].bytes);
        }
    }
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
                                            pdf.image(10, 10, 8, name("DeviceGray"), std::string(100, '\x11'), {"FlateDecode"}),
                                        },
                                   qint64(16) << 20);
    EXPECT_FALSE(results[0]);
    ASSERT_TRUE(results[1]);
    EXPECT_GT(results[1]->bytes.size(), 1000);
    EXPECT_LT(results[1]->bytes.size(), qsizetype(data.size()));
    EXPECT_EQ(results[1]->bytes.toStdString(), data.substr(0, size_t(results[1]->bytes.size())));

    EXPECT_LT(stream(0).decodedSizeLimit(), qint64(2) << 20);
    EXPECT_FALSE(stream(0).copyStreamData(stream(0).decodedSizeLimit()));
    const auto fine = stream(2).copyStreamData(stream(2).decodedSizeLimit());
    ASSERT_TRUE(fine);
    EXPECT_EQ(fine->bytes, QByteArray(100, '\x11'));
}
