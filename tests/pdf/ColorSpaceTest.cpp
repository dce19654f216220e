#include "PdfTestSupport.h"

#include "pdf/OstrelDataSource.h"

using namespace fixture;

// Each /ColorSpace entry form resolves into the record the image builders
// expect, and gives the default decode array of its model.
TEST_F(PdfTest, ColorSpaceRecords)
{
    PdfFixture pdf;
    auto icc = [&](int n) {
        return pdf.stream(flate("profile bytes"), {{"N", integer(n)}, {"Alternate", name("DeviceRGB")},
                                                   {"Filter", name("FlateDecode")}});
    };
    Obj lookupStream = pdf.stream(asciiHex("\x01\x02\x03\x04\x05\x06"), {{"Filter", name("ASCIIHexDecode")}});
    Obj tint = pdf.stream("{ pop 0 0 0 }", {{"FunctionType", integer(4)}});
    const std::vector<std::pair<const char *, Obj>> entries = {
        {"gray", name("DeviceGray")},
        {"rgbLookup", array({name("Indexed"), name("DeviceRGB"), integer(1), string(std::string("\0\0\0\xff\xff\xff", 6))})},
        {"streamLookup", array({name("Indexed"), name("DeviceRGB"), integer(1), lookupStream})},
        {"icc4", array({name("ICCBased"), icc(4)})},
        {"icc1", array({name("ICCBased"), icc(1)})},
        {"icc3", array({name("ICCBased"), icc(3)})},
        {"calrgb", array({name("CalRGB"), dict({{"WhitePoint", array({real(0.95), integer(1), real(1.09)})}})})},
        {"cmykIndexed", array({name("Indexed"), name("DeviceCMYK"), integer(15), string("xxxx")})},
        {"iccIndexed", array({name("Indexed"), array({name("ICCBased"), icc(3)}), integer(15), string("x")})},
        {"devnIndexed", array({name("Indexed"),
                               array({name("DeviceN"), array({name("Cyan"), name("Magenta")}),
                                      array({name("ICCBased"), icc(4)}), tint}),
                               integer(3), string("abcdefgh")})},
        {"devn", array({name("DeviceN"), array({name("Cyan"), name("Magenta")}), name("DeviceCMYK"), tint})},
        {"separation", array({name("Separation"), name("Spot"), name("DeviceCMYK"), tint})},
        {"five", array({name("Indexed"), name("DeviceRGB"), integer(0), string("abc"), name("Extra")})},
        {"empty", array({})},
    };
    for (const auto &[key, value] : entries)
        pdf.catalog().replaceKey(std::string("/") + key, value);
    auto source = OstrelDataSource::initWithPdfDocument(PdfDocument::open(writeFixture(pdf)));
    ASSERT_TRUE(source);
    std::map<QString, std::shared_ptr<TColorSpace>> cs;
    for (const auto &c : *source->getRoot()->children())
        cs[c->name()] = PDFFileStruct::getColorSpace(c.get());

    auto decodeSize = [](const std::shared_ptr<TColorSpace> &r, int bps) {
        auto d = PDFFileStruct::getDecodeColorSpze(r.get(), bps);
        return d ? int(d->size()) : -1;
    };

    const auto &gray = cs["/gray"];
    EXPECT_EQ(gray->getName(), QStringLiteral("/DeviceGray"));
    EXPECT_EQ(gray->count(), 0);
    EXPECT_FALSE(gray->getStream());
    EXPECT_FALSE(gray->getBase().getName());
    EXPECT_EQ(decodeSize(gray, 8), 2);

    const auto &rgbLookup = cs["/rgbLookup"];
    EXPECT_EQ(rgbLookup->getName(), QStringLiteral("/Indexed"));
    EXPECT_EQ(rgbLookup->count(), 1);
    EXPECT_EQ(rgbLookup->getStream(), QByteArray("\0\0\0\xff\xff\xff", 6));
    EXPECT_EQ(rgbLookup->getBase().getName(), QStringLiteral("/DeviceRGB"));
    EXPECT_EQ(cs["/streamLookup"]->getStream(), QByteArray("\x01\x02\x03\x04\x05\x06"));

    const auto &icc4 = cs["/icc4"];
    EXPECT_EQ(icc4->getName(), QStringLiteral("/ICCBased"));
    EXPECT_FALSE(icc4->getBase().getName()); // the profile stream has no family name
    EXPECT_EQ(icc4->getBase().count(), 4);
    EXPECT_EQ(icc4->getBase().getAlternate(), QStringLiteral("/DeviceRGB"));
    EXPECT_EQ(icc4->getBase().getFilter(), QStringLiteral("/FlateDecode"));
    EXPECT_EQ(icc4->getBase().getStream(), QByteArray("profile bytes"));
    EXPECT_GT(icc4->getBase().length(), 0);
    EXPECT_EQ(decodeSize(icc4, 8), 8);
    EXPECT_EQ(decodeSize(cs["/icc1"], 8), 2);
    EXPECT_EQ(decodeSize(cs["/icc3"], 8), 6);

    EXPECT_EQ(cs["/calrgb"]->getName(), QStringLiteral("/CalRGB"));
    EXPECT_FALSE(cs["/calrgb"]->getBase().getName());

    // An Indexed space over CMYK has base N 0: CMYK-sized at 8 bits, gray at 1.
    EXPECT_EQ(cs["/cmykIndexed"]->count(), 15);
    EXPECT_EQ(decodeSize(cs["/cmykIndexed"], 8), 8);
    EXPECT_EQ(decodeSize(cs["/cmykIndexed"], 1), 2);
    EXPECT_EQ(cs["/iccIndexed"]->getBase().getName(), QStringLiteral("/ICCBased"));
    EXPECT_EQ(cs["/iccIndexed"]->getBase().count(), 3);

    const auto &devnIndexed = cs["/devnIndexed"];
    EXPECT_EQ(devnIndexed->getBase().getName(), QStringLiteral("/DeviceN"));
    EXPECT_EQ(devnIndexed->getBase().getArray(), QStringList({"/Cyan", "/Magenta"}));
    EXPECT_EQ(devnIndexed->getBase().count(), 4);
    EXPECT_EQ(devnIndexed->getStream(), QByteArray("abcdefgh"));

    const auto &devn = cs["/devn"];
    EXPECT_EQ(devn->getName(), QStringLiteral("/DeviceN"));
    EXPECT_EQ(devn->count(), 0);
    EXPECT_EQ(devn->getBase().getName(), QStringLiteral("/Cyan"));
    EXPECT_EQ(devn->getStream(), QByteArray("{ pop 0 0 0 }"));
    EXPECT_EQ(cs["/separation"]->getName(), QStringLiteral("/Separation"));
    EXPECT_EQ(cs["/separation"]->getBase().getName(), QStringLiteral("/Spot"));

    EXPECT_EQ(cs["/five"]->getStream(), QByteArray("abc"));
    EXPECT_FALSE(cs["/empty"]->getName());
    // No family name counts as CMYK.
    EXPECT_EQ(decodeSize(cs["/empty"], 8), 8);
}

TEST(FilterList, CurrentFilterRule)
{
    const struct {
        QStringList list;
        std::int32_t index;
        bool parse;
        const char *result;
        std::int32_t indexAfter;
    } rows[] = {
        {{"/ASCII85Decode", "/FlateDecode"}, 0, true, "/FlateDecode", 1},
        {{"/ASCII85Decode", "/ASCII85Decode"}, 0, true, "/ASCII85Decode", 1},
        {{"/FlateDecode", "/DCTDecode"}, 0, true, "/DCTDecode", 1},
        {{"/ASCIIHexDecode", "/DCT"}, 0, true, "/DCTDecode", 1},
        {{"/DCTDecode", "/FlateDecode"}, 0, true, "/DCTDecode", 0},
        {{"/RunLengthDecode", "/JPXDecode", "/FlateDecode"}, 0, true, "/JPXDecode", 1},
        {{"/FlateDecode", "/DCTDecode"}, 5, true, "", 5},
        {{"/FlateDecode", "/LZWDecode"}, -3, true, "/LZWDecode", 1},
        {{"/ASCII85Decode", "/DCTDecode"}, 0, false, "/ASCII85Decode", 0},
        {{}, 0, true, "", 0},
    };
    for (const auto &row : rows) {
        std::int32_t index = row.index;
        EXPECT_EQ(PDFFileStruct::gerCurrFilter(index, row.parse, &row.list), QString::fromLatin1(row.result))
            << row.list.join(',').toStdString();
        EXPECT_EQ(index, row.indexAfter);
    }
    std::int32_t index = 0;
    EXPECT_EQ(PDFFileStruct::gerCurrFilter(index, true, nullptr), QString());
}

TEST_F(PdfTest, FilterListsFromEntries)
{
    PdfFixture pdf;
    pdf.catalog().replaceKey("/One", name("FlateDecode"));
    pdf.catalog().replaceKey("/Many", array({name("ASCII85Decode"), name("DCTDecode"), integer(3)}));
    pdf.catalog().replaceKey("/None", array({}));
    pdf.catalog().replaceKey("/Num", integer(3));
    auto source = OstrelDataSource::initWithPdfDocument(PdfDocument::open(writeFixture(pdf)));
    ASSERT_TRUE(source);
    std::map<QString, QStringList> lists;
    for (const auto &c : *source->getRoot()->children())
        lists[c->name()] = PDFFileStruct::getFilter(c.get());
    EXPECT_EQ(lists["/One"], QStringList({"/FlateDecode"}));
    EXPECT_EQ(lists["/Many"], QStringList({"/ASCII85Decode", "/DCTDecode", "3"}));
    EXPECT_TRUE(lists["/None"].isEmpty());
    EXPECT_TRUE(lists["/Num"].isEmpty());
}
