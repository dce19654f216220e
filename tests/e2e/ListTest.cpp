#include "PdfFixture.h"
#include "ZembrixProcess.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fixture;

namespace {

// A --list run, with the rows of its output under the header.
struct Listing : ProcessResult {
    QStringList rows;
};

Listing list(const QStringList &files)
{
    Listing l{runZembrix(QStringList{"--list"} + files), {}};
    l.rows = l.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(l.rows.value(0), "file\tindex\tname\twidth\theight\tbpc\tcolorspace\tfilter\tobject\tpage\tx-ppi\ty-ppi");
    if (!l.rows.isEmpty())
        l.rows.removeFirst();
    return l;
}

} // namespace

// One row an image in discovery order; a file name holding a tab, a newline and a backslash
// stays in its fields, escaped.
TEST(ListMode, ImagesInDiscoveryOrder)
{
    QTemporaryDir dir;
    PdfFixture pdf;
    Obj shared = pdf.image(3, 2, 8, name("DeviceRGB"), std::string(18, '\x20'), {"FlateDecode"});
    Obj inForm = pdf.image(4, 4, 1, name("DeviceGray"), std::string(4, '\xf0'));
    pdf.page({{"/A", shared}});
    pdf.page({{"/F", pdf.form({{"/G", inForm}})}, {"/S", shared}});
    const QString file = dir.filePath("doc one\tb\\c\nd.pdf");
    pdf.write(file);

    const Listing l = list({file});
    EXPECT_EQ(l.status, 0) << l.err.toStdString();
    ASSERT_EQ(l.rows.size(), 2);
    const QStringList first = l.rows[0].split('\t');
    const QStringList second = l.rows[1].split('\t');
    ASSERT_EQ(first.size(), 12);
    ASSERT_EQ(second.size(), 12);
    EXPECT_EQ(first.mid(0, 8), QStringList({dir.path() + "/doc one\\tb\\\\c\\nd.pdf", "0", "doc one\\tb\\\\c\\nd_000", "3",
                                            "2", "8", "/DeviceRGB", "/FlateDecode"}));
    EXPECT_TRUE(first[8].endsWith(" 0"));
    EXPECT_EQ(first[9], "1");
    EXPECT_EQ(second.mid(1, 6), QStringList({"1", "doc one\\tb\\\\c\\nd_001", "4", "4", "1", "/DeviceGray"}));
    EXPECT_EQ(second[7], "");
    EXPECT_EQ(second[9], "2");

    // Unreadable inputs are named on standard error, one line each, with status 1; the other
    // file is still listed. A picture past --max-pixels is refused, and said so unless --quiet.
    writeFile(dir.filePath("noise.pdf"), std::string(5000, '\x7f'));
    const Listing bad = list({dir.filePath("noise.pdf"), file, dir.filePath("missing.pdf")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.rows, l.rows);
    EXPECT_EQ(bad.err.count('\n'), 2) << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains("noise.pdf") && bad.err.contains("missing.pdf"));
    const Listing refused = list({file, "--max-pixels", "12"});
    EXPECT_EQ(refused.rows.size(), 1);
    EXPECT_EQ(refused.rows.value(0), l.rows[0]);
    EXPECT_FALSE(refused.err.isEmpty());
    EXPECT_TRUE(list({file, "--max-pixels", "12", "--quiet"}).err.isEmpty());
}

// --pages keeps the images first found on those pages, with their numbers; a bad range is a
// usage error.
TEST(ListMode, PagesLimitTheImages)
{
    QTemporaryDir dir;
    PdfFixture pdf;
    for (int page = 0; page < 5; ++page)
        pdf.page({{"/I", pdf.image(2 + page, 2, 8, name("DeviceGray"), std::string(size_t(4 + 2 * page), '\x10'))}});
    const QString file = dir.filePath("p.pdf");
    pdf.write(file);
    const struct {
        const char *range;
        QStringList pages;
    } rows[] = {{"2", {"2"}}, {"1-2,5", {"1", "2", "5"}}, {"4-", {"4", "5"}}, {"9", {}}};
    for (const auto &row : rows) {
        const Listing l = list({file, "--pages", row.range});
        QStringList pages;
        for (const QString &line : l.rows)
            pages << line.section('\t', 9, 9);
        EXPECT_EQ(pages, row.pages) << row.range;
        EXPECT_EQ(l.err.contains(file + ": no page of --pages is in the file, which has 5 pages"), pages.isEmpty());
    }
    EXPECT_TRUE(list({file, "--pages", "2"}).rows.value(0).contains("\tp_001\t"));
    for (const char *bad : {"0", "3-1", "", "a", "1,,2"})
        EXPECT_EQ(runZembrix({"--list", file, "--pages", bad}).status, 2) << bad;

    // --min-size leaves out images narrower or lower than it, and says how many.
    const Listing small = list({file, "--min-size", "4x2"});
    QStringList widths;
    for (const QString &line : small.rows)
        widths << line.section('\t', 3, 3);
    EXPECT_EQ(widths, QStringList({"4", "5", "6"}));
    EXPECT_TRUE(small.err.contains("zembrix: 2 images smaller than 4x2 not listed")) << small.err.toStdString();
    EXPECT_TRUE(list({file, "--min-size", "1x3"}).rows.isEmpty());
    for (const char *bad : {"0x4", "4", "4x", "axb", "4x-1"})
        EXPECT_EQ(runZembrix({"--list", file, "--min-size", bad}).status, 2) << bad;
}
