#include "PdfFixture.h"
#include "ZembrixProcess.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fixture;

namespace {

// Gray samples of one value.
Obj grayImage(PdfFixture &pdf, int width, int value)
{
    return pdf.image(width, width, 8, name("DeviceGray"), std::string(size_t(width * width), char(value)));
}

QStringList column(const QString &listing, int field)
{
    QStringList values;
    const QStringList lines = listing.split('\n', Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i)
        values << lines[i].split('\t').value(field);
    return values;
}

} // namespace

// A page drawing one image of its resources, a stamp whose appearance draws
// another, a soft mask whose group draws a third, a tiling pattern drawing a
// fourth, a form without resources of its own drawing an inline image in a
// colour space of the page's, and inline images that end as readers find
// them (CR LF after ID, EI among the samples, abbreviations inside a colour
// space array, a colour space named in the resources). Only the first is
// found unless --all-images; then the others follow it, numbered after it,
// each with its own pixels, and where drawn their resolution.
TEST(AllImages, InlineAnnotationSoftMaskAndPatternImagesComeAfterTheOthers)
{
    QTemporaryDir dir;
    PdfFixture pdf;
    const Obj noResources = pdf.stream("BI /W 2 /H 1 /BPC 8 /CS /CS0 ID " + std::string("\0\1", 2) + " EI",
                                       {{"Type", name("XObject")}, {"Subtype", name("Form")}, {"BBox", array({integer(0), integer(0), integer(9), integer(9)})}});
    Obj page = pdf.page({{"/A", pdf.image(3, 1, 8, name("DeviceRGB"), std::string(9, '\x30'))}, {"/F0", noResources}});
    page.getKey("/Contents").replaceStreamData("q 30 0 0 10 0 0 cm /A Do Q q /GS0 gs Q q 20 0 0 10 0 20 cm BI /W 2 /H 1 /BPC 8 /CS /G /F /AHx ID 40C0> EI Q "
                                               "BI /W 5 /H 1 /BPC 8 /CS /G ID\r\nEI "
                                                   + std::string("\0\1", 2) + " EI "
                                                                              "BI /W 2 /H 1 /BPC 8 /CS [/I /RGB 1 <0000ff00ff00>] ID "
                                                   + std::string("\0\1", 2) + " EI "
                                                                              "BI /W 2 /H 1 /BPC 8 /CS /CS0 ID \1"
                                                   + std::string(1, '\0') + "\nEI /F0 Do",
                                               Obj::newNull(), Obj::newNull());
    const Obj pattern = pdf.stream("/T Do", {{"PatternType", integer(1)}, {"PaintType", integer(1)}, {"TilingType", integer(1)}, {"BBox", array({integer(0), integer(0), integer(5), integer(5)})}, {"XStep", integer(5)}, {"YStep", integer(5)}, {"Resources", dict({{"XObject", dict({{"/T", grayImage(pdf, 5, 0x50)}})}})}});
    const Obj group = pdf.form({{"/M", grayImage(pdf, 6, 0x70)}}, {{"BBox", array({integer(0), integer(0), integer(9), integer(9)})}});
    Obj resources = page.getKey("/Resources");
    resources.replaceKey("/Pattern", dict({{"/P1", pattern}}));
    resources.replaceKey("/ExtGState", dict({{"/GS0", dict({{"SMask", dict({{"S", name("Luminosity")}, {"G", group}})}})}}));
    resources.replaceKey("/ColorSpace", dict({{"/CS0", array({name("Indexed"), name("DeviceRGB"), integer(1),
                                                              string(std::string("\xff\0\0\0\0\xff", 6))})}}));
    const Obj stamp = dict({{"Type", name("Annot")}, {"Subtype", name("Stamp")}, {"Rect", array({integer(0), integer(0), integer(50), integer(50)})}, {"AP", dict({{"N", pdf.form({{"/S", grayImage(pdf, 4, 0x60)}}, {{"BBox", array({integer(0), integer(0), integer(100), integer(100)})}})}})}});
    page.replaceKey("/Annots", array({stamp}));
    const QString file = dir.filePath("f.pdf");
    pdf.write(file);

    const ProcessResult design = runZembrix({"--list", file});
    EXPECT_EQ(column(design.out, 3), QStringList({"3"}));
    const ProcessResult all = runZembrix({"--list", "--all-images", file});
    ASSERT_EQ(all.status, 0) << all.err.toStdString();
    EXPECT_EQ(column(all.out, 3), QStringList({"3", "4", "6", "5", "2", "2", "5", "2", "2"}));
    EXPECT_EQ(column(all.out, 2).first(), "f_000");
    EXPECT_EQ(column(all.out, 2).last(), "f_008");
    // The stamp's form draws its 4 pixels 100 points wide, in a box of 100 fitted to the stamp's
    // 50: 5.76 ppi; the group its 6 pixels 100 points wide: 4.32 ppi; the form its inline image's 2
    // pixels a point wide: 144 ppi; the page its first inline image's 2 x 1 pixels 20 x 10 points.
    EXPECT_EQ(column(all.out, 10).mid(1, 5), QStringList({"6", "4", "", "144", "7"}));

    const QString out = dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    const ProcessResult extracted = runZembrix({"--extract", "--all-images", file, "--out", out, "--format", "PNG"});
    ASSERT_EQ(extracted.status, 0) << extracted.err.toStdString();
    // The first row of each, gray levels as 0xVV and colours as 0xRRGGBB.
    const QList<QList<QRgb>> expected = {{}, {0x60}, {0x70}, {0x50}, {0xff0000, 0xff}, {0x40, 0xc0}, {69, 73, 32, 0, 1}, {0xff, 0xff00}, {0xff, 0xff0000}};
    for (int i = 1; i < expected.size(); ++i) {
        const QImage image(out + QStringLiteral("/f_%1.png").arg(i, 3, 10, QLatin1Char('0')));
        ASSERT_FALSE(image.isNull()) << i;
        for (int x = 0; x < expected[i].size(); ++x)
            EXPECT_EQ(image.pixel(x, 0) & 0xffffff, i < 4 || i == 5 || i == 6 ? expected[i][x] * 0x10101 : expected[i][x]) << i << " " << x;
    }
}
