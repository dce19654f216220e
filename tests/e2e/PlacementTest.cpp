#include "PdfFixture.h"
#include "ZembrixProcess.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace fixture;

namespace {

struct Placed {
    const char *label;
    std::string content; // the page's content stream; /Im is its image, /F a form drawing it
    double formMatrix;   // the form's /Matrix scale (0: no form on the page; < 0: a form drawing itself)
    const char *xPpi;    // as --list prints them
    const char *yPpi;
};

// The image of each page is 100 x 50 gray pixels, all of value 10 * page.
const Placed kPages[] = {
    {"half", "q 0.5 0 0 0.5 0 0 cm q 100 0 0 50 0 0 cm /Im Do Q Q", 0, "144", "144"},
    {"twice", "q 200 0 0 100 0 0 cm /Im Do Q q 50 0 0 25 0 0 cm /Im Do Q", 0, "36", "36"},
    {"rotated", "q 0 50 -25 0 0 0 cm /Im Do Q", 0, "144", "144"},
    {"form", "q 0.5 0 0 1 0 0 cm /F Do Q", 2, "72", "18"},
    {"never", "q Q", 0, "", ""},
    // Hostile content: the image is still listed, placed where it can be.
    {"deep", repeated("q ", 3000) + "100 0 0 50 0 0 cm /Im Do", 0, "72", "72"},
    {"damaged", "q 100 0 0 50 0 0 cm /Im Do Q ) ] >> BI /W 1 ID \x01 ( /Im", 0, "72", "72"},
    {"degenerate", "0 0 0 0 0 0 cm /Im Do", 0, "", ""},
    {"self-drawing form", "/F Do", -1, "72", "72"},
};

QString writeFixture(const QDir &dir)
{
    PdfFixture pdf;
    int n = 0;
    for (const Placed &p : kPages) {
        ++n;
        Obj image = pdf.image(100, 50, 8, name("DeviceGray"), std::string(5000, char(10 * n)));
        Obj page = p.formMatrix != 0
                       ? pdf.page({{"/F", pdf.form({{"/Im", image}}, {{"Matrix", array({real(std::fabs(p.formMatrix)), integer(0),
                                                                                        integer(0), real(std::fabs(p.formMatrix)),
                                                                                        integer(0), integer(0)})}})},
                                   {"/Im", image}})
                       : pdf.page({{"/Im", image}});
        page.replaceKey("/Contents", pdf.stream(p.content));
        if (p.formMatrix < 0) {
            Obj form = page.getKey("/Resources").getKey("/XObject").getKey("/F");
            form.getDict().getKey("/Resources").getKey("/XObject").replaceKey("/F", form);
            form.replaceStreamData("/F Do q 100 0 0 50 0 0 cm /Im Do Q", Obj::newNull(), Obj::newNull());
        }
    }
    const QString file = dir.filePath("placed.pdf");
    pdf.write(file);
    return file;
}

} // namespace

// The resolution where each image is first drawn, in --list and in the files
// --dpi auto writes; an image drawn nowhere is written at 72.
TEST(Placement, ResolutionWhereFirstDrawn)
{
    QTemporaryDir dir;
    const QString file = writeFixture(QDir(dir.path()));
    const ProcessResult listed = runZembrix({"--list", file});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    QStringList rows = listed.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 1 + int(std::size(kPages)));
    EXPECT_TRUE(rows.takeFirst().endsWith("\tpage\tx-ppi\ty-ppi"));

    const ProcessResult extracted = runZembrix({"--extract", file, "--out", dir.filePath("out"), "--dpi", "auto"});
    ASSERT_EQ(extracted.status, 0) << extracted.err.toStdString();

    std::map<QString, std::pair<double, double>> reference; // object key -> pdfimages' x-ppi, y-ppi
    const QString pdfimages = QStandardPaths::findExecutable("pdfimages");
    if (!pdfimages.isEmpty()) {
        const ProcessResult r = runProcess(pdfimages, {"-list", file});
        for (const QString &line : r.out.split('\n').mid(2)) {
            const QStringList f = line.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
            if (f.size() >= 14)
                reference.emplace(f[10] + ' ' + f[11], std::make_pair(f[12].toDouble(), f[13].toDouble()));
        }
    }

    size_t compared = 0;
    for (int i = 0; i < rows.size(); ++i) {
        const Placed &p = kPages[i];
        SCOPED_TRACE(p.label);
        const QStringList f = rows[i].split('\t');
        ASSERT_EQ(f.size(), 12) << p.label;
        EXPECT_EQ(f[10], p.xPpi) << p.label;
        EXPECT_EQ(f[11], p.yPpi) << p.label;
        if (const auto ref = reference.find(f[8]); ref != reference.end() && *p.xPpi) {
            ++compared;
            EXPECT_NEAR(f[10].toDouble(), ref->second.first, ref->second.first * 0.01) << p.label;
            EXPECT_NEAR(f[11].toDouble(), ref->second.second, ref->second.second * 0.01) << p.label;
        }
        const QImage out(dir.filePath("out/" + f[2] + ".png"));
        ASSERT_FALSE(out.isNull()) << p.label;
        const double written = *p.xPpi ? f[10].toDouble() : 72.0;
        EXPECT_NEAR(out.dotsPerMeterX() * 0.0254, written, 0.05) << p.label;
        EXPECT_EQ(out.size(), QSize(100, 50)) << p.label;
        EXPECT_EQ(qGray(out.pixel(37, 21)), 10 * (i + 1)) << p.label;
    }
    if (!pdfimages.isEmpty()) {
        EXPECT_GE(compared, 5u);
    }
}
