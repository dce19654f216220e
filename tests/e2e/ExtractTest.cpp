#include "ImageComparison.h"
#include "PdfFixture.h"
#include "ZembrixProcess.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fixture;

namespace {

// An 8-bit picture whose every pixel differs.
QImage picture(int width, int height, bool gray, int seed)
{
    QImage image(width, height, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = (seed * 37 + x * 29 + y * 71) % 256;
            image.setPixel(x, y, gray ? qRgb(v, v, v) : qRgb(v, (v * 3 + seed) % 256, (255 - v + x) % 256));
        }
    return image;
}

// One page holding the pictures as /A, /B, ... (found in that order).
void writePdf(const QString &path, const std::vector<QImage> &pictures)
{
    PdfFixture pdf;
    Dict xobjects;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const QImage &p = pictures[i];
        std::string samples;
        for (int y = 0; y < p.height(); ++y)
            samples.append(reinterpret_cast<const char *>(p.constScanLine(y)), size_t(p.width()) * (p.depth() / 8));
        xobjects["/" + std::string(1, char('A' + i))] = pdf.image(
            p.width(), p.height(), 8, name(p.depth() == 8 ? "DeviceGray" : "DeviceRGB"), samples, {"FlateDecode"});
    }
    pdf.page(xobjects);
    pdf.write(path);
}

// Reads a file back with Qt and compares every pixel.
void expectPicture(const QString &path, const QImage &picture)
{
    const QImage image(path);
    ASSERT_EQ(image.size(), picture.size()) << path.toStdString();
    EXPECT_EQ(compareImages(image, picture).maximum, 0) << path.toStdString();
}

qint64 sizeOfFiles(const QString &folder)
{
    qint64 total = 0;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files))
        total += info.size();
    return total;
}

const QImage kReportA = picture(7, 5, false, 1);
const QImage kReportB = picture(4, 3, true, 2);
const QImage kOther = picture(6, 4, false, 3);

class Extract : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writePdf(m_dir.filePath("report.pdf"), {kReportA, kReportB});
        writePdf(m_dir.filePath("other.pdf"), {kOther});
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(Extract, WritesPngAndTiffWithNamesPixelsAndSummary)
{
    // PNG by default into a folder that does not exist yet.
    const ProcessResult png = runZembrix({"--extract", path("report.pdf"), path("other.pdf"), "--out", path("png")});
    EXPECT_EQ(png.status, 0) << png.err.toStdString();
    EXPECT_TRUE(png.err.isEmpty()) << png.err.toStdString();
    EXPECT_EQ(filesIn(path("png")), (QStringList{"other_000.png", "report_000.png", "report_001.png"}));
    expectPicture(path("png/report_000.png"), kReportA);
    expectPicture(path("png/report_001.png"), kReportB);
    expectPicture(path("png/other_000.png"), kOther);
    EXPECT_EQ(QImage(path("png/report_000.png")).dotsPerMeterX(), 2835); // 72 DPI
    const QStringList lines = png.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << png.out.toStdString();
    EXPECT_EQ(lines[0], path("report.pdf") + ": 2 images written");
    EXPECT_EQ(lines[1], path("other.pdf") + ": 1 image written");
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Summary: 2 of 2 files read, 3 images written, %1 bytes, ")
                                        .arg(sizeOfFiles(path("png")))))
        << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith(" seconds"));
    // A second run keeps the first one's file (" (2)"); --overwrite replaces it.
    EXPECT_EQ(runZembrix({"--extract", path("other.pdf"), "--out", path("png")}).status, 0);
    ASSERT_TRUE(writeFile(path("png/other_000.png"), "earlier"));
    EXPECT_EQ(runZembrix({"--extract", path("other.pdf"), "--out", path("png"), "--overwrite"}).status, 0);
    EXPECT_EQ(filesIn(path("png")), (QStringList{"other_000 (2).png", "other_000.png", "report_000.png", "report_001.png"}));
    expectPicture(path("png/other_000.png"), kOther);

    // TIFF named case-insensitively, at 150 DPI, under another pattern.
    const ProcessResult tiff = runZembrix({"--extract", path("report.pdf"), "--out", path("tiff"), "--format", "tiff",
                                           "--dpi", "150", "--pattern", "img-$-##"});
    EXPECT_EQ(tiff.status, 0) << tiff.err.toStdString();
    EXPECT_EQ(filesIn(path("tiff")), (QStringList{"img-report-00.tiff", "img-report-01.tiff"}));
    expectPicture(path("tiff/img-report-00.tiff"), kReportA);
    expectPicture(path("tiff/img-report-01.tiff"), kReportB);
    EXPECT_NEAR(QImage(path("tiff/img-report-00.tiff")).dotsPerMeterX(), 150 / 0.0254, 1.0);
    EXPECT_TRUE(tiff.out.contains("Summary: 1 of 1 files read, 2 images written"));
}

TEST_F(Extract, FailuresGiveStatusOneAndTheRestIsWritten)
{
    // An unreadable input: the other file is still exported.
    const ProcessResult missing = runZembrix({"--extract", path("missing.pdf"), path("other.pdf"), "--out", path("a")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(path("missing.pdf"))) << missing.err.toStdString();
    EXPECT_EQ(filesIn(path("a")), QStringList{"other_000.png"});
    expectPicture(path("a/other_000.png"), kOther);
    EXPECT_TRUE(missing.out.contains("Summary: 1 of 2 files read, 1 image written"));

    // A file that cannot be written (a folder holds its name): said, and the rest goes on.
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("b/report_000.png"));
    const ProcessResult blocked = runZembrix({"--extract", path("report.pdf"), "--out", path("b"), "--overwrite"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(blocked.err.count(QLatin1Char('\n')) == 1 && blocked.err.contains(": report_000 not written (")) << blocked.err.toStdString();
    expectPicture(path("b/report_001.png"), kReportB);
    EXPECT_TRUE(blocked.out.contains(path("report.pdf") + ": 1 image written, 1 not written")) << blocked.out.toStdString();

    // An output folder whose parent is missing: nothing is made.
    const ProcessResult noParent = runZembrix({"--extract", path("other.pdf"), "--out", path("none/out")});
    EXPECT_EQ(noParent.status, 1);
    EXPECT_TRUE(noParent.err.contains(path("none/out"))) << noParent.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path("none")));
}

// --min-size extracts only the images at least that large, named as without it, and the
// summary says how many were left out.
TEST_F(Extract, MinSizeLeavesOutSmallImages)
{
    const QString out = path("small");
    const ProcessResult r = runZembrix({"--extract", path("report.pdf"), "--out", out, "--min-size", "5x4"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"report_000.png"}));
    expectPicture(QDir(out).filePath("report_000.png"), kReportA);
    EXPECT_TRUE(r.out.contains("1 image written")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(", 1 image smaller than 5x4 hidden\n")) << r.out.toStdString();
}
