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

// A page drawing one image of its resources, an inline image, a stamp whose
// appearance draws another and a tiling pattern drawing a third. Only the
// first is found unless --all-images; then the others follow it, numbered
// after it, with their own pixels and where drawn their resolution.
TEST(AllImages, InlineAnnotationAndPatternImagesComeAfterTheOthers)
{
    QTemporaryDir dir;
    PdfFixture pdf;
    Obj page = pdf.page({{"/A", pdf.image(3, 1, 8, name("DeviceRGB"), std::string(9, '\x30'))}});
    page.getKey("/Contents").replaceStreamData(
        "q 30 0 0 10 0 0 cm /A Do Q q 20 0 0 10 0 20 cm BI /W 2 /H 1 /BPC 8 /CS /G /F /AHx ID 40C0> EI Q",
        Obj::newNull(), Obj::newNull());
    const Obj pattern = pdf.stream("/T Do", {{"PatternType", integer(1)}, {"PaintType", integer(1)}, {"TilingType", integer(1)},
                                             {"BBox", array({integer(0), integer(0), integer(5), integer(5)})},
                                             {"XStep", integer(5)}, {"YStep", integer(5)},
                                             {"Resources", dict({{"XObject", dict({{"/T", grayImage(pdf, 5, 0x50)}})}})}});
    page.getKey("/Resources").replaceKey("/Pattern", dict({{"/P1", pattern}}));
    const Obj stamp = dict({{"Type", name("Annot")}, {"Subtype", name("Stamp")},
                            {"Rect", array({integer(0), integer(0), integer(50), integer(50)})},
                            {"AP", dict({{"N", pdf.form({{"/S", grayImage(pdf, 4, 0x60)}},
                                                        {{"BBox", array({integer(0), integer(0), integer(100), integer(100)})}})}})}});
    page.replaceKey("/Annots", array({stamp}));
    const QString file = dir.filePath("f.pdf");
    pdf.write(file);

    const ProcessResult design = zembrix({"--list", file});
    EXPECT_EQ(column(design.out, 3), QStringList({"3"}));
    const ProcessResult all = zembrix({"--list", "--all-images", file});
    ASSERT_EQ(all.status, 0) << all.err.toStdString();
    EXPECT_EQ(column(all.out, 3), QStringList({"3", "4", "5", "2"}));
    EXPECT_EQ(column(all.out, 2), QStringList({"f_000", "f_001", "f_002", "f_003"}));
    // The inline image's 2 x 1 pixels are drawn 20 x 10 points: 7.2 ppi. The
    // stamp's form draws its 4 pixels 100 points wide, in a box of 100 fitted
    // to the stamp's 50: 5.76 ppi.
    EXPECT_EQ(column(all.out, 10), QStringList({"7", "6", "", "7"}));
    EXPECT_EQ(column(all.out, 11), QStringList({"7", "6", "", "7"}));

    const QString out = dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    const ProcessResult extracted = zembrix({"--extract", "--all-images", file, "--out", out, "--format", "PNG"});
    ASSERT_EQ(extracted.status, 0) << extracted.err.toStdString();
    const QImage inlined(out + "/f_003.png");
    ASSERT_EQ(inlined.size(), QSize(2, 1));
    EXPECT_EQ(qGray(inlined.pixel(0, 0)), 0x40);
    EXPECT_EQ(qGray(inlined.pixel(1, 0)), 0xC0);
    EXPECT_EQ(qGray(QImage(out + "/f_001.png").pixel(0, 0)), 0x60);
    EXPECT_EQ(qGray(QImage(out + "/f_002.png").pixel(0, 0)), 0x50);
}
