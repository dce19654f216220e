#include "PdfTestSupport.h"

#include <random>

using namespace fixture;

namespace {

std::string validDocument(PdfFixture &pdf)
{
    for (int i = 0; i < 3; ++i)
        pdf.page({{"/I", pdf.image(4, 4, 8, name("DeviceRGB"), std::string(48, '\x40'), {"FlateDecode"})}});
    pdf.setInfo({{"Title", string("t")}});
    return pdf.write(QString());
}

} // namespace

// A file whose cross-reference offsets are all wrong is recovered.
TEST_F(PdfTest, BrokenCrossReferenceIsRecovered)
{
    PdfFixture pdf;
    std::string bytes = validDocument(pdf);
    const size_t xref = bytes.rfind("xref");
    ASSERT_NE(xref, std::string::npos);
    for (size_t i = xref; i < bytes.size(); ++i)
        if (bytes[i] >= '1' && bytes[i] <= '9')
            bytes[i] = '9';
    ASSERT_TRUE(writeFile(path("broken.pdf"), bytes));
    const auto record = parse(path("broken.pdf"));
    EXPECT_EQ(record->images().size(), 3);
    EXPECT_TRUE(record->info().contains(QStringLiteral("Pages\t\t- 3")));
}

// Random bytes, every truncation of a real file and random damage: each
// either opens or not, and ends quietly.
TEST_F(PdfTest, DamagedFilesEndQuietly)
{
    PdfFixture pdf;
    const std::string good = validDocument(pdf);
    std::mt19937 rng(1234);
    std::vector<std::string> inputs;
    std::string noise(4096, '\0');
    for (char &c : noise)
        c = char(rng());
    inputs.push_back(noise);
    inputs.push_back("%PDF-1.7\n");
    inputs.push_back("");
    for (size_t cut = 0; cut < good.size(); cut += good.size() / 40 + 1)
        inputs.push_back(good.substr(0, cut));
    for (int i = 0; i < 60; ++i) {
        std::string damaged = good;
        for (int j = 0; j < 8; ++j)
            damaged[rng() % damaged.size()] = char(rng());
        inputs.push_back(damaged);
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        ASSERT_TRUE(writeFile(path("h.pdf"), inputs[i]));
        const auto record = parse(path("h.pdf"));
        EXPECT_LE(record->images().size(), 3) << i;
    }
    EXPECT_FALSE(PdfDocument::open(path("does-not-exist.pdf")));
}

// A page tree whose root lists itself, and a page that is its own /Kids.
TEST_F(PdfTest, SelfReferencingPageTree)
{
    PdfFixture pdf;
    Obj img = pdf.image(2, 2, 8, name("DeviceGray"), std::string(4, '\0'));
    Obj page = pdf.page({{"/I", img}});
    page.replaceKey("/Kids", array({page}));
    Obj kids = pdf.pagesRoot().getKey("/Kids");
    kids.appendItem(pdf.pagesRoot());
    const auto record = parse(writeFixture(pdf));
    EXPECT_EQ(widths(*record), QList<int>({2}));
}
