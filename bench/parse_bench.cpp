// Parses generated PDFs of several kinds and builds every image, reporting
// images and megapixels per second; when pdfimages is installed, its time on
// the same files (extracting every image with -all) as a ratio.
//
//   parse_bench [repetitions]

#include "JpegFixtures.h"
#include "PdfFixture.h"
#include "pdf/PDFFileStruct.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <random>

using namespace fixture;

namespace {

struct Kind {
    const char *name;
    int pages;
    int width;
    int height;
    std::function<Obj(PdfFixture &, int)> makeImage;
};

std::string toStd(const QByteArray &a) { return std::string(a.constData(), size_t(a.size())); }

std::string noisyRgb(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(size_t(w) * h * 3, '\0');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = char(((i / 3) % 251) + (rng() & 7));
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTextStream out(stdout);
    QTemporaryDir dir;

    const int scanW = 2480, scanH = 3508; // A4 at 300 dpi
    const QByteArray scanJpeg = encodeJpeg(gradientSamples(scanW, scanH, 3), [] {
        JpegFixture f;
        f.width = 2480;
        f.height = 3508;
        f.quality = 85;
        f.subsampleChroma = true;
        return f;
    }());
    const std::string flateRgb = noisyRgb(1200, 900, 1);
    std::string indices(size_t(1600) * 1200, '\0');
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = char((i / 7) % 200);
    std::string palette;
    for (int i = 0; i < 256; ++i)
        palette += std::string{char(i), char(255 - i), char(i / 2)};

    const std::vector<Kind> kinds = {
        {"jpeg-scan", 10, scanW, scanH,
         [&](PdfFixture &pdf, int) { return pdf.image(scanW, scanH, 8, name("DeviceRGB"), toStd(scanJpeg), {"DCTDecode"}); }},
        {"flate-rgb", 20, 1200, 900,
         [&](PdfFixture &pdf, int) { return pdf.image(1200, 900, 8, name("DeviceRGB"), flateRgb, {"FlateDecode"}); }},
        {"indexed", 20, 1600, 1200,
         [&](PdfFixture &pdf, int) {
             return pdf.image(1600, 1200, 8, array({name("Indexed"), name("DeviceRGB"), integer(255), string(palette)}),
                              indices, {"FlateDecode"});
         }},
    };

    out << "kind\timages\tmegapixels\tseconds\timages/s\tMP/s\tpdfimages s\tratio\n";
    const QString pdfimages = QStandardPaths::findExecutable(QStringLiteral("pdfimages"));
    for (const Kind &kind : kinds) {
        PdfFixture pdf;
        for (int p = 0; p < kind.pages; ++p)
            pdf.page({{"/Im", kind.makeImage(pdf, p)}});
        const QString file = dir.filePath(QString::fromLatin1(kind.name) + QStringLiteral(".pdf"));
        pdf.write(file);

        double best = 1e9;
        qsizetype images = 0;
        for (int r = 0; r < repetitions; ++r) {
            QElapsedTimer timer;
            timer.start();
            auto record = std::make_shared<PDFFileStruct>();
            record->setNamePatternDirect(QStringLiteral("$_###"));
            record->setFilePathOnly(file);
            record->setIsThreading(true);
            record->fillImageListArray(record.get());
            images = record->imageCount();
            best = std::min(best, timer.nsecsElapsed() / 1e9);
        }
        const double megapixels = double(images) * kind.width * kind.height / 1e6;
        out << kind.name << '\t' << images << '\t' << megapixels << '\t' << best << '\t' << images / best << '\t'
            << megapixels / best;
        if (!pdfimages.isEmpty()) {
            double theirs = 1e9;
            for (int r = 0; r < repetitions; ++r) {
                QTemporaryDir outDir;
                QElapsedTimer timer;
                timer.start();
                QProcess::execute(pdfimages, {QStringLiteral("-all"), file, outDir.filePath(QStringLiteral("img"))});
                theirs = std::min(theirs, timer.nsecsElapsed() / 1e9);
            }
            out << '\t' << theirs << '\t' << best / theirs;
        } else {
            out << "\t-\t-";
        }
        out << '\n';
        out.flush();
    }
    return 0;
}
