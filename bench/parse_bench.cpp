// Parses generated PDFs of several kinds and builds every image, reporting
// images and megapixels per second; when pdfimages is installed, its time on
// the same files (decoding every image to PBM/PPM, its default output) as a
// ratio of our time to its time (below 1: we are faster).
//
//   parse_bench [repetitions]

#include "Jbig2TestStreams.h"
#include "JpegFixtures.h"
#include "PdfFixture.h"
#include "TestFaxEncoder.h"
#include "pdf/PDFFileStruct.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <random>

using namespace zembrix;

using namespace fixture;

namespace {

struct Kind {
    const char *name;
    int pages;
    int width;
    int height;
    std::function<Obj(PdfFixture &, int)> makeImage;
};

std::string toStd(const QByteArray &a)
{
    return std::string(a.constData(), size_t(a.size()));
}

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
    if (qEnvironmentVariableIsSet("ZEMBRIX_BENCH_KEEP"))
        dir.setAutoRemove(false);

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

    // A page of text-like runs at 300 dpi, as fax (G4) and as JBIG2 (an MMR
    // generic region, the form scanners' JBIG2 encoders produce for halftone-free pages).
    const TestBitmap bilevel = TestBitmap::randomRuns(scanW, scanH, 12, 7);
    FaxEncodeOptions g4Options;
    g4Options.endMarker = false;
    const QByteArray g4 = faxEncode(bilevel, g4Options);
    using namespace jbig2test;
    const QByteArray jbig2 = segment(0, PageInformation, 1, pageInformation(scanW, scanH))
                             + segment(1, ImmediateLosslessGenericRegion, 1, mmrGenericRegion(bilevel, 0, 0, g4))
                             + segment(2, EndOfPage, 1, QByteArray());

    const std::vector<Kind> kinds = {
        {"ccitt-g4", 20, scanW, scanH,
         [&](PdfFixture &pdf, int) {
             return pdf.image(scanW, scanH, 1, name("DeviceGray"), toStd(g4), {"CCITTFaxDecode"},
                              {{"DecodeParms", dict({{"K", integer(-1)},
                                                     {"Columns", integer(scanW)},
                                                     {"Rows", integer(scanH)},
                                                     {"BlackIs1", boolean(true)}})}});
         }},
        {"jbig2", 20, scanW, scanH,
         [&](PdfFixture &pdf, int) {
             return pdf.image(scanW, scanH, 1, name("DeviceGray"), toStd(jbig2), {"JBIG2Decode"});
         }},
        {"jpeg-scan", 10, scanW, scanH,
         [&](PdfFixture &pdf, int) {
             return pdf.image(scanW, scanH, 8, name("DeviceRGB"), toStd(scanJpeg), {"DCTDecode"});
         }},
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
            auto record = std::make_shared<PDFFileStruct>(nullptr);
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
                const int status = QProcess::execute(pdfimages, {file, outDir.filePath(QStringLiteral("img"))});
                theirs = std::min(theirs, timer.nsecsElapsed() / 1e9);
                if (status != 0 || QDir(outDir.path()).entryList(QDir::Files).size() != images)
                    out << "(pdfimages exit " << status << ", " << QDir(outDir.path()).entryList(QDir::Files).size()
                        << " files) ";
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
