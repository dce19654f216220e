// Zembrix beside the installed peers on the same workloads: writes the PDFs into a temporary
// folder, runs Zembrix and each peer alternately (so both see the same machine load), and prints
// the median time of each and the ratio of Zembrix's median to the fastest peer's.
//
//   peer_bench [runs] [workload ...]     (3 runs by default; every workload when none is named)
//
// Peers, each when installed: pdfimages (-png, -j / -jp2 for Original, -list), mutool extract
// (in a folder of its own; it writes JPEG data as .jpg, so it is no PNG peer of JPEG pages), and
// PyMuPDF through python3-fitz (a Pixmap per image object saved as PNG, CMYK made RGB first).
// Workloads: scan (30 JPEG book pages), ccitt (100 G4 pages), jbig2 (100 MMR pages), small
// (2,000 small Flate images), cmyk (50 CMYK JPEG pages, colours managed), jpx (20 JPEG 2000
// pages), flate (50 Flate RGB 3000 x 2000), original-jpeg, original-jpx (--format Original),
// list-book (300 JPEG pages), list-jbig2.
// ZEMBRIX_BENCH_KEEP=1 keeps the files; ZEMBRIX_BENCH_DIR=FOLDER keeps them there and reuses them.

#include "Jbig2TestStreams.h"
#include "Jpeg2000Fixtures.h"
#include "JpegFixtures.h"
#include "PdfFixture.h"
#include "ScanPage.h"
#include "TestBitmap.h"
#include "TestFaxEncoder.h"
#include "ZembrixProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <random>

using namespace fixture;

namespace {

QByteArray toCmyk(const QByteArray &rgb)
{
    QByteArray cmyk(rgb.size() / 3 * 4, Qt::Uninitialized);
    const auto *s = reinterpret_cast<const uchar *>(rgb.constData());
    auto *d = reinterpret_cast<uchar *>(cmyk.data());
    for (qsizetype i = 0; i < rgb.size() / 3; ++i, s += 3, d += 4) {
        const int k = 255 - std::max({s[0], s[1], s[2]});
        d[0] = uchar(255 - s[0] - k);
        d[1] = uchar(255 - s[1] - k);
        d[2] = uchar(255 - s[2] - k);
        d[3] = uchar(k);
    }
    return cmyk;
}

const int kScanW = 2480, kScanH = 3508;

Obj jpegPage(PdfFixture &pdf, int width, int height, int page, bool cmyk)
{
    JpegFixture f;
    f.width = width;
    f.height = height;
    f.quality = 80;
    f.subsampleChroma = !cmyk;
    f.storage = cmyk ? JpegStorage::CMYK : JpegStorage::YCbCr;
    const QByteArray rgb = scanPage(width, height, page);
    return pdf.image(width, height, 8, name(cmyk ? "DeviceCMYK" : "DeviceRGB"),
                     toStd(encodeJpeg(cmyk ? toCmyk(rgb) : rgb, f)), {"DCTDecode"});
}

void writeScans(const QString &file, int pages)
{
    PdfFixture pdf;
    for (int page = 0; page < pages; ++page)
        pdf.page({{"/Im", jpegPage(pdf, kScanW, kScanH, page, false)}});
    pdf.write(file);
}

void writeCmyk(const QString &file)
{
    PdfFixture pdf;
    for (int page = 0; page < 50; ++page)
        pdf.page({{"/Im", jpegPage(pdf, 1240, 1754, page, true)}});
    pdf.write(file);
}

void writeCcitt(const QString &file)
{
    writeFaxPages(file, kScanW, kScanH, 100);
}

void writeJbig2(const QString &file)
{
    using namespace jbig2test;
    PdfFixture pdf;
    FaxEncodeOptions g4;
    g4.endMarker = false;
    for (int page = 0; page < 100; ++page) {
        const TestBitmap bits = TestBitmap::randomRuns(kScanW, kScanH, 12, unsigned(page) + 7);
        const QByteArray data =
            segment(0, PageInformation, 1, pageInformation(kScanW, kScanH))
            + segment(1, ImmediateLosslessGenericRegion, 1, mmrGenericRegion(bits, 0, 0, faxEncode(bits, g4)))
            + segment(2, EndOfPage, 1, QByteArray());
        pdf.page({{"/Im", pdf.image(kScanW, kScanH, 1, name("DeviceGray"), toStd(data), {"JBIG2Decode"})}});
    }
    pdf.write(file);
}

void writeSmall(const QString &file)
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
    pdf.write(file);
}

void writeFlate(const QString &file)
{
    PdfFixture pdf;
    for (int page = 0; page < 50; ++page)
        pdf.page(
            {{"/Im", pdf.image(3000, 2000, 8, name("DeviceRGB"), toStd(scanPage(3000, 2000, page)), {"FlateDecode"})}});
    pdf.write(file);
}

void writeJpx(const QString &file)
{
    PdfFixture pdf;
    const int w = 1240, h = 1754;
    for (int page = 0; page < 20; ++page) {
        const QByteArray rgb = scanPage(w, h, page);
        J2kImage j2k;
        j2k.width = w;
        j2k.height = h;
        j2k.space = J2kSpace::SRGB;
        j2k.jp2 = true;
        j2k.componentTransform = true;
        for (int c = 0; c < 3; ++c) {
            J2kComponent component;
            component.values.resize(size_t(w) * h);
            for (size_t i = 0; i < component.values.size(); ++i)
                component.values[i] = uchar(rgb[qsizetype(i * 3 + size_t(c))]);
            j2k.components.push_back(std::move(component));
        }
        pdf.page({{"/Im", pdf.image(w, h, 8, name("DeviceRGB"), toStd(encodeJpeg2000(j2k)), {"JPXDecode"})}});
    }
    pdf.write(file);
}

struct Tool {
    QString name;
    QString program;
    std::function<QStringList(const QString &pdf, const QString &out)> args;
};

double timedRun(const Tool &tool, const QString &pdf, QString *problem)
{
    QTemporaryDir out;
    QElapsedTimer clock;
    clock.start();
    const ProcessResult r = runProcess(tool.program, tool.args(pdf, out.path()), 3600 * 1000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (r.status != 0 && problem->isEmpty())
        *problem = QStringLiteral("%1 exit %2: %3").arg(tool.name).arg(r.status).arg(r.err.left(200).trimmed());
    return seconds;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    int runs = 3;
    QStringList only;
    for (int i = 1; i < argc; ++i) {
        bool number = false;
        const int n = QString::fromLocal8Bit(argv[i]).toInt(&number);
        if (number)
            runs = std::max(1, n);
        else
            only << QString::fromLocal8Bit(argv[i]);
    }
    // ZEMBRIX_BENCH_DIR=FOLDER writes the files there, or uses those already there.
    QTemporaryDir temporary;
    const QString folder = qEnvironmentVariable("ZEMBRIX_BENCH_DIR", temporary.path());
    const QDir dir(folder);
    if (qEnvironmentVariableIsSet("ZEMBRIX_BENCH_KEEP")) {
        temporary.setAutoRemove(false);
        out << "files in " << folder << "\n";
    }

    const QString zembrix = QStringLiteral(ZEMBRIX_BINARY);
    const QString pdfimages = QStandardPaths::findExecutable(QStringLiteral("pdfimages"));
    const QString mutool = QStandardPaths::findExecutable(QStringLiteral("mutool"));
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {"/usr/bin"});
    const bool fitz = !python.isEmpty() && runProcess(python, {"-c", "import fitz"}).status == 0;
    const QString sh = QStandardPaths::findExecutable(QStringLiteral("sh"));
    const char *fitzScript = "import fitz,sys\n"
                             "doc=fitz.open(sys.argv[1])\n"
                             "for x in range(1,doc.xref_length()):\n"
                             "  if doc.xref_get_key(x,'Subtype')[1]!='/Image': continue\n"
                             "  p=fitz.Pixmap(doc,x)\n"
                             "  if p.n-p.alpha>=4: p=fitz.Pixmap(fitz.csRGB,p)\n"
                             "  p.save('%s/%d.png'%(sys.argv[2],x))\n";

    const auto zembrixExtract = [&](const QString &format) {
        return Tool{"zembrix", zembrix, [format](const QString &pdf, const QString &o) {
                        return QStringList{"--extract", pdf, "--out", o, "--format", format, "--quiet"};
                    }};
    };
    const auto pdfimagesWith = [&](const QStringList &options) {
        return Tool{"pdfimages " + options.join(' '), pdfimages, [options](const QString &pdf, const QString &o) {
                        return options + QStringList{pdf, o + "/img"};
                    }};
    };
    const Tool mutoolExtract{
        "mutool extract", sh, [&](const QString &pdf, const QString &o) {
            return QStringList{"-c", "cd \"$1\" && exec \"$2\" extract -r \"$3\" >/dev/null", "sh", o, mutool, pdf};
        }};
    const Tool pymupdf{"PyMuPDF", python, [&](const QString &pdf, const QString &o) {
                           return QStringList{"-c", fitzScript, pdf, o};
                       }};

    struct Workload {
        QString name;
        QString file;
        std::function<void(const QString &)> write;
        Tool ours;
        std::vector<Tool> peers;
    };
    std::vector<Tool> pngPeers, pngPeersNoMutool;
    if (!pdfimages.isEmpty()) {
        pngPeers.push_back(pdfimagesWith({"-png"}));
        pngPeersNoMutool.push_back(pdfimagesWith({"-png"}));
    }
    if (!mutool.isEmpty())
        pngPeers.push_back(mutoolExtract);
    if (fitz) {
        pngPeers.push_back(pymupdf);
        pngPeersNoMutool.push_back(pymupdf);
    }
    std::vector<Tool> originalJpegPeers, originalJpxPeers, listPeers;
    if (!pdfimages.isEmpty()) {
        originalJpegPeers.push_back(pdfimagesWith({"-j"}));
        originalJpxPeers.push_back(pdfimagesWith({"-jp2"}));
        listPeers.push_back(Tool{"pdfimages -list", pdfimages, [](const QString &pdf, const QString &) {
                                     return QStringList{"-list", pdf};
                                 }});
    }
    if (!mutool.isEmpty()) {
        originalJpegPeers.push_back(mutoolExtract);
        originalJpxPeers.push_back(mutoolExtract);
    }
    const Tool zembrixList{"zembrix", zembrix, [](const QString &pdf, const QString &) {
                               return QStringList{"--list", pdf};
                           }};
    const auto at = [&](const char *file) { return dir.filePath(QString::fromLatin1(file)); };
    std::vector<Workload> workloads = {
        {"scan", at("scan.pdf"), [](const QString &f) { writeScans(f, 30); }, zembrixExtract("PNG"), pngPeersNoMutool},
        {"ccitt", at("ccitt.pdf"), writeCcitt, zembrixExtract("PNG"), pngPeers},
        {"jbig2", at("jbig2.pdf"), writeJbig2, zembrixExtract("PNG"), pngPeers},
        {"small", at("small.pdf"), writeSmall, zembrixExtract("PNG"), pngPeers},
        {"cmyk", at("cmyk.pdf"), writeCmyk, zembrixExtract("PNG"), pngPeers},
        {"jpx", at("jpx.pdf"), writeJpx, zembrixExtract("PNG"), pngPeers},
        {"flate", at("flate.pdf"), writeFlate, zembrixExtract("PNG"), pngPeers},
        {"original-jpeg", at("scan.pdf"), [](const QString &f) { writeScans(f, 30); }, zembrixExtract("Original"),
         originalJpegPeers},
        {"original-jpx", at("jpx.pdf"), writeJpx, zembrixExtract("Original"), originalJpxPeers},
        {"list-book", at("book.pdf"), [](const QString &f) { writeScans(f, 300); }, zembrixList, listPeers},
        {"list-jbig2", at("jbig2.pdf"), writeJbig2, zembrixList, listPeers},
    };

    out << "workload\tzembrix s\tpeer medians s\tfastest peer\tratio\n";
    out.flush();
    for (const Workload &w : workloads) {
        if (!only.isEmpty() && !only.contains(w.name))
            continue;
        if (!QFileInfo::exists(w.file))
            w.write(w.file);
        QString problem;
        std::vector<double> ours;
        std::vector<std::vector<double>> theirs(w.peers.size());
        for (int r = 0; r < runs; ++r) {
            ours.push_back(timedRun(w.ours, w.file, &problem));
            for (size_t p = 0; p < w.peers.size(); ++p)
                theirs[p].push_back(timedRun(w.peers[p], w.file, &problem));
        }
        const double mine = median(ours);
        out << w.name << '\t' << QString::number(mine, 'f', 3) << '\t';
        double fastest = 0;
        QString fastestName = QStringLiteral("-");
        for (size_t p = 0; p < w.peers.size(); ++p) {
            const double m = median(theirs[p]);
            out << (p ? ", " : "") << w.peers[p].name << ' ' << QString::number(m, 'f', 3);
            if (fastest == 0 || m < fastest) {
                fastest = m;
                fastestName = w.peers[p].name;
            }
        }
        out << '\t' << fastestName << '\t' << (fastest > 0 ? QString::number(mine / fastest, 'f', 2) + "x" : "-");
        if (!problem.isEmpty())
            out << "\t(" << problem << ")";
        out << '\n';
        out.flush();
    }
    return 0;
}
