// The scan-book benchmark: generates three PDFs in a temporary folder
//   - 300 pages of 2480 x 3508 RGB JPEG scans, different on every page,
//   - 100 pages of 1-bit CCITT G4 scans,
//   - 2,000 small (64 x 64) Flate images on 20 pages,
// and measures, side by side with pdfimages when it is installed:
//   --list (against pdfimages -list): time and peak resident memory,
//   --extract --format PNG (against pdfimages -png): time and peak resident memory,
//   and, on the 300-page file, the background parse with thumbnails (this process's peak
//   resident memory and the time of the first and the last reduced copy).
//
//   scan_book_bench [pages]     (pages of the JPEG book; 300 by default)

#include "JpegFixtures.h"
#include "PdfFixture.h"
#include "ScanPage.h"
#include "TestBitmap.h"
#include "TestFaxEncoder.h"
#include "ZembrixProcess.h"
#include "images/CoreContext.h"
#include "pdf/PDFFileStruct.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>

#include <random>
#include <thread>

using namespace zembrix;

using namespace fixture;

namespace {

struct Run {
    double seconds = 0;
    qint64 peakMiB = 0;
    int status = 0;
};

Run timed(const QString &program, const QStringList &args)
{
    QElapsedTimer clock;
    clock.start();
    const ProcessResult r = runProcess(program, args, 3600 * 1000);
    return {clock.nsecsElapsed() / 1e9, r.peakRssKiB / 1024, r.status};
}

// Parses like the window: a background parse with reduced copies. Prints the time of the first
// image found and of the end, from the start (the one-second pause included).
int parseWithThumbnails(const QString &file)
{
    QElapsedTimer clock;
    clock.start();
    QThreadPool pool;
    const auto context = std::make_shared<CoreContext>(nullptr, &pool);
    auto record = std::make_shared<PDFFileStruct>(context);
    record->setNamePatternDirect(QStringLiteral("$_###"));
    record->setFilePathOnly(file);
    record->setSelection(true);
    record->threadFillImageList();
    double first = -1;
    while (record->isThreading() || (first < 0 && record->imageCount() == 0 && clock.elapsed() < 5000)) {
        if (first < 0 && record->imageCount() > 0)
            first = clock.nsecsElapsed() / 1e9;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double last = clock.nsecsElapsed() / 1e9;
    qint64 reducedBytes = 0;
    for (const auto &image : record->images())
        reducedBytes += image->reducedImage().sizeInBytes();
    QTextStream(stdout) << "first image " << first << " s, last " << last << " s, " << record->imageCount()
                        << " images, reduced copies " << reducedBytes / (1 << 20) << " MiB, picture cache "
                        << context->pictureCache().bytes() / (1 << 20) << " MiB";
    pool.waitForDone();
    context->detach();
    return 0;
}

// Writes book.pdf, fax.pdf and small.pdf into `folder`.
int writeFixtures(const QString &folder, int bookPages)
{
    const int scanW = 2480, scanH = 3508;
    const QString book = QDir(folder).filePath("book.pdf");
    {
        PdfFixture pdf;
        JpegFixture f;
        f.width = scanW;
        f.height = scanH;
        f.quality = 80;
        f.subsampleChroma = true;
        for (int page = 0; page < bookPages; ++page)
            pdf.page({{"/Im", pdf.image(scanW, scanH, 8, name("DeviceRGB"),
                                        toStd(encodeJpeg(scanPage(scanW, scanH, page), f)), {"DCTDecode"})}});
        pdf.write(book);
    }
    const QString fax = QDir(folder).filePath("fax.pdf");
    writeFaxPages(fax, scanW, scanH, 100);
    const QString small = QDir(folder).filePath("small.pdf");
    {
        PdfFixture pdf;
        for (int page = 0; page < 20; ++page) {
            Dict xobjects;
            for (int i = 0; i < 100; ++i) {
                std::string rgb(64 * 64 * 3, '\0');
                for (size_t k = 0; k < rgb.size(); ++k)
                    rgb[k] = char((k * 7 + size_t(i) * 13 + size_t(page) * 29) % 256);
                xobjects["/I" + std::to_string(i)] = pdf.image(64, 64, 8, name("DeviceRGB"), rgb, {"FlateDecode"});
            }
            pdf.page(xobjects);
        }
        pdf.write(small);
    }

    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--parse")
        return parseWithThumbnails(QString::fromLocal8Bit(argv[2]));
    if (argc == 4 && QByteArray(argv[1]) == "--write")
        return writeFixtures(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    const int bookPages = argc > 1 ? std::max(1, atoi(argv[1])) : 300;
    QTextStream out(stdout);
    QTemporaryDir dir;
    if (qEnvironmentVariableIsSet("ZEMBRIX_BENCH_KEEP")) {
        dir.setAutoRemove(false);
        out << "files in " << dir.path() << "\n";
    }
    out << "writing the fixtures...\n";
    out.flush();
    // Written by a process of its own, so that this one stays small: a child's peak resident
    // size as wait4 reports it starts from its parent's size at the fork.
    if (runProcess(QCoreApplication::applicationFilePath(), {"--write", dir.path(), QString::number(bookPages)},
                   3600 * 1000)
            .status
        != 0) {
        out << "could not write the fixtures\n";
        return 1;
    }
    const QString book = dir.filePath("book.pdf");
    const QString fax = dir.filePath("fax.pdf");
    const QString small = dir.filePath("small.pdf");

    const QString zembrix = QStringLiteral(ZEMBRIX_BINARY);
    const QString pdfimages = QStandardPaths::findExecutable(QStringLiteral("pdfimages"));
    out << "file\tmode\tzembrix s\tzembrix MiB\tpdfimages s\tpdfimages MiB\ttime ratio\n";
    for (const QString &file : {book, fax, small}) {
        const QString base = QFileInfo(file).fileName();
        for (const bool extract : {false, true}) {
            QTemporaryDir ours, theirs;
            const Run z = extract ? timed(zembrix, {"--extract", file, "--out", ours.path(), "--format", "PNG"})
                                  : timed(zembrix, {"--list", file});
            out << base << '\t' << (extract ? "--extract PNG" : "--list") << '\t' << z.seconds << '\t' << z.peakMiB;
            if (z.status != 0)
                out << " (exit " << z.status << ")";
            if (!pdfimages.isEmpty()) {
                const Run p = extract ? timed(pdfimages, {"-png", file, theirs.filePath("img")})
                                      : timed(pdfimages, {"-list", file});
                out << '\t' << p.seconds << '\t' << p.peakMiB << '\t' << z.seconds / p.seconds;
            } else {
                out << "\t-\t-\t-";
            }
            out << '\n';
            out.flush();
        }
    }

    // The window's background parse of the book, with reduced copies, in a process of its own
    // (this one holds the fixtures) and on a thread as the window runs it, pause included.
    {
        const ProcessResult r = runProcess(QCoreApplication::applicationFilePath(), {"--parse", book}, 3600 * 1000);
        out << "background parse of " << QFileInfo(book).fileName() << " with thumbnails: " << r.out.trimmed()
            << ", peak RSS " << r.peakRssKiB / 1024 << " MiB\n";
    }
    return 0;
}
