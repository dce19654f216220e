#include "PdfFixture.h"
#include "ZembrixProcess.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fixture;

namespace {

struct Listing {
    int status = -1;
    QStringList rows; // without the header
    QString err;
};

Listing list(const QStringList &files)
{
    const ProcessResult r = zembrix(QStringList{"--list"} + files);
    Listing l;
    l.status = r.status;
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_FALSE(lines.isEmpty());
    if (!lines.isEmpty()) {
        EXPECT_EQ(lines.takeFirst(), "file\tindex\tname\twidth\theight\tbpc\tcolorspace\tfilter\tobject\tpage\tx-ppi\ty-ppi");
    }
    l.rows = lines;
    l.err = r.err;
    return l;
}

} // namespace

TEST(ListMode, ImagesInDiscoveryOrder)
{
    QTemporaryDir dir;
    PdfFixture pdf;
    Obj shared = pdf.image(3, 2, 8, name("DeviceRGB"), std::string(18, '\x20'), {"FlateDecode"});
    Obj inForm = pdf.image(4, 4, 1, name("DeviceGray"), std::string(4, '\xf0'));
    pdf.page({{"/A", shared}});
    pdf.page({{"/F", pdf.form({{"/G", inForm}})}, {"/S", shared}});
    const QString file = dir.filePath("doc one.pdf");
    pdf.write(file);

    const Listing l = list({file});
    EXPECT_EQ(l.status, 0) << l.err.toStdString();
    ASSERT_EQ(l.rows.size(), 2);
    const QStringList first = l.rows[0].split('\t');
    const QStringList second = l.rows[1].split('\t');
    ASSERT_EQ(first.size(), 12);
    EXPECT_EQ(first.mid(0, 8), QStringList({file, "0", "doc one_000", "3", "2", "8", "/DeviceRGB", "/FlateDecode"}));
    EXPECT_TRUE(first[8].endsWith(" 0"));
    EXPECT_EQ(first[9], "1");
    EXPECT_EQ(second.mid(1, 8), QStringList({"1", "doc one_001", "4", "4", "1", "/DeviceGray", ""}).mid(0, 7)
                                    + QStringList{second[8]});
    EXPECT_EQ(second[9], "2");
}

// Unreadable inputs are named on standard error and give status 1, while
// the other files are still listed; hostile files end quietly.
TEST(ListMode, HostileAndUnreadableInputs)
{
    QTemporaryDir dir;
    PdfFixture bomb;
    bomb.page({{"/B", bomb.image(10, 10, 8, name("DeviceGray"), std::string(size_t(256) << 20, '\0'), {"FlateDecode"})}});
    bomb.write(dir.filePath("bomb.pdf"));
    PdfFixture loop;
    Obj img = loop.image(2, 2, 8, name("DeviceGray"), std::string(4, '\0'));
    Obj page = loop.page({{"/I", img}});
    page.replaceKey("/Kids", array({loop.pagesRoot()}));
    loop.pagesRoot().getKey("/Kids").appendItem(loop.pagesRoot());
    loop.write(dir.filePath("loop.pdf"));
    writeFile(dir.filePath("noise.pdf"), std::string(5000, '\x7f'));

    QElapsedTimer timer;
    timer.start();
    const Listing l = list({dir.filePath("noise.pdf"), dir.filePath("bomb.pdf"), dir.filePath("loop.pdf"),
                            dir.filePath("missing.pdf")});
    EXPECT_EQ(l.status, 1);
    EXPECT_EQ(l.err.count('\n'), 3) << l.err.toStdString();
    EXPECT_TRUE(l.err.contains("noise.pdf"));
    EXPECT_TRUE(l.err.contains("missing.pdf"));
    // The bomb's image is refused, and said so (unless --quiet); the looping tree's image is
    // listed once.
    EXPECT_TRUE(l.err.contains(QRegularExpression("bomb.pdf: object [0-9]+ 0: not decoded \\(.+\\)\n")))
        << l.err.toStdString();
    EXPECT_EQ(list({dir.filePath("bomb.pdf"), "--quiet"}).err, QString());
    EXPECT_EQ(list({dir.filePath("loop.pdf"), "--max-pixels", "3"}).rows.size(), 0);
    ASSERT_EQ(l.rows.size(), 1);
    EXPECT_TRUE(l.rows[0].startsWith(dir.filePath("loop.pdf") + "\t0\tloop_000\t2\t2\t"));
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
    }
    EXPECT_TRUE(list({file, "--pages", "2"}).rows.value(0).contains("\tp_001\t"));
    for (const char *bad : {"0", "3-1", "", "a", "1,,2"})
        EXPECT_EQ(zembrix({"--list", file, "--pages", bad}).status, 2) << bad;
}

// A file name holding a tab, a newline and a backslash stays in its fields, escaped.
TEST(ListMode, FieldsAreEscaped)
{
    QTemporaryDir dir;
    PdfFixture pdf;
    pdf.page({{"/A", pdf.image(2, 2, 8, name("DeviceGray"), std::string(4, '\x20'))}});
    const QString file = dir.filePath("a\tb\\c\nd.pdf");
    pdf.write(file);

    const Listing l = list({file, "--quiet", "--max-pixels", "100"});
    EXPECT_EQ(l.status, 0) << l.err.toStdString();
    ASSERT_EQ(l.rows.size(), 1);
    const QStringList fields = l.rows[0].split('\t');
    ASSERT_EQ(fields.size(), 12);
    EXPECT_EQ(fields[0], dir.path() + "/a\\tb\\\\c\\nd.pdf");
    EXPECT_EQ(fields[2], "a\\tb\\\\c\\nd_000");
}
