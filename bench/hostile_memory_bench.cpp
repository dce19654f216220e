// Peak resident memory and time of --list and --extract on every file of the hostile catalogue
// (tests/hostile/HostileCases) and of the hostile inputs the PDF tests read in-process
// (tests/pdf/HostileInputs), and on the large masked images and the page of 50,000 inline
// images below, too slow for the catalogue's test. The table and the files are made by child processes of this program,
// so that this process stays small: a child's peak resident memory, as wait4 reports it, starts from what its parent
// held when it forked.
//
// Goals, for every case: --list within 512 MB, --extract within 2 GB, each run within 30 s. The
// last column names the goals a case misses ("-" when it meets them all).
//
//   hostile_memory_bench [case-name-substring]

#include "HostileCases.h"
#include "HostileInputs.h"
#include "ZembrixProcess.h"

#include <zlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

// `rows` copies of `row`, Flate-compressed a row at a time (the whole is never held).
std::string deflatedRows(const std::string &row, int rows)
{
    z_stream z{};
    deflateInit(&z, Z_BEST_SPEED);
    std::string out;
    char buffer[1 << 16];
    for (int i = 0; i <= rows; ++i) {
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(row.data()));
        z.avail_in = i < rows ? uInt(row.size()) : 0;
        do {
            z.next_out = reinterpret_cast<Bytef *>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, i < rows ? Z_NO_FLUSH : Z_FINISH);
            out.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return out;
}

// An RGB image of side x side under a gray soft mask of maskSide x maskSide whose left half is
// opaque and right half transparent.
HostileCase softMaskedImage(std::string caseName, int side, int maskSide, int listed)
{
    return {std::move(caseName),
            [=](HostileSetup &s) {
                using namespace fixture;
                PdfFixture pdf;
                std::string rgb;
                for (int x = 0; x < side; ++x)
                    rgb += "\x0a\x14\x1e";
                const std::string half =
                    std::string(size_t(maskSide / 2), '\xff') + std::string(size_t(maskSide - maskSide / 2), '\0');
                const Obj mask = pdf.stream(deflatedRows(half, maskSide), {{"Type", name("XObject")},
                                                                           {"Subtype", name("Image")},
                                                                           {"Width", integer(maskSide)},
                                                                           {"Height", integer(maskSide)},
                                                                           {"BitsPerComponent", integer(8)},
                                                                           {"ColorSpace", name("DeviceGray")},
                                                                           {"Filter", name("FlateDecode")}});
                pdf.page({{"/I", pdf.stream(deflatedRows(rgb, side), {{"Type", name("XObject")},
                                                                      {"Subtype", name("Image")},
                                                                      {"Width", integer(side)},
                                                                      {"Height", integer(side)},
                                                                      {"BitsPerComponent", integer(8)},
                                                                      {"ColorSpace", name("DeviceRGB")},
                                                                      {"Filter", name("FlateDecode")},
                                                                      {"SMask", mask}})}});
                pdf.write(s.bad);
            },
            {},
            0,
            listed,
            0,
            listed,
            nullptr};
}

// 50,000 inline images on one page, each listed and written: 100,000 lines and files in all.
HostileCase fiftyThousandInlineImages()
{
    return {"FiftyThousandInlineImages",
            [](HostileSetup &s) {
                fixture::PdfFixture pdf;
                std::string content;
                for (int i = 0; i < 50000; ++i)
                    content += "q 9 0 0 9 0 0 cm BI /W 2 /H 1 /BPC 8 /CS /G ID " + std::string{char(i), char(i >> 8)}
                               + " EI Q\n";
                pdf.page({})
                    .getKey("/Contents")
                    .replaceStreamData(content, fixture::Obj::newNull(), fixture::Obj::newNull());
                pdf.write(s.bad);
            },
            {"--all-images"},
            0,
            50000,
            0,
            50000,
            nullptr};
}

std::vector<HostileCase> allCases()
{
    std::vector<HostileCase> cases = hostileCases();
    cases.push_back(fiftyThousandInlineImages());
    // The files the library reads alone (the PDF tests read them in-process).
    for (const HostileInput &input : hostileInputs())
        cases.push_back({input.name,
                         [input](HostileSetup &s) { fixture::writeFile(s.bad, fileOf(input)); },
                         {},
                         0,
                         input.images,
                         0,
                         input.images,
                         nullptr});
    // Masking a quarter gigapixel: the image, its mask and the masked picture are never held at once.
    cases.push_back(softMaskedImage("SoftMaskOfAQuarterGigapixelImage", 16000, 16000, 1));
    // A gigapixel mask gives the 4 x 4 picture its size: past the pixel budget, refused with its reason.
    cases.push_back(softMaskedImage("GigapixelSoftMaskOnATinyImage", 4, 32768, 0));
    return cases;
}

// Writes one case's files into `root` (good.pdf, the hostile file, out/); prints the hostile path.
int writeCase(const QString &root, const std::string &name)
{
    for (const HostileCase &c : allCases()) {
        if (c.name != name)
            continue;
        writeGoodFile(root + "/good.pdf");
        HostileSetup setup{root, root + "/bad.pdf", root + "/out"};
        QDir().mkpath(setup.out);
        c.make(setup);
        QTextStream(stdout) << setup.bad;
        return 0;
    }
    return 1;
}

// Prints every case as its name and its extra --extract arguments, tab-separated, one a line.
int listCases()
{
    QTextStream out(stdout);
    for (const HostileCase &c : allCases())
        out << QString::fromStdString(c.name) << (c.extraArgs.isEmpty() ? "" : "\t") << c.extraArgs.join('\t') << '\n';
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--write"))
        return writeCase(args[2], args[3].toStdString());
    if (args.size() == 2 && args[1] == QLatin1String("--cases"))
        return listCases();
    const QString filter = args.size() > 1 ? args[1] : QString();

    QTextStream out(stdout);
    out << "case\tlist MB\textract MB\tlist s\textract s\tlist status\textract status\tmissed\n";
    constexpr double kListGoalMiB = 512, kExtractGoalMiB = 2048, kGoalSeconds = 30;
    int missed = 0;
    QElapsedTimer all;
    all.start();
    int count = 0;
    const ProcessResult table = runProcess(app.applicationFilePath(), {"--cases"}, 600000);
    for (const QString &line : table.out.split('\n', Qt::SkipEmptyParts)) {
        QStringList extraArgs = line.split('\t');
        const QString name = extraArgs.takeFirst();
        if (!name.contains(filter))
            continue;
        QTemporaryDir dir;
        const ProcessResult made = runProcess(app.applicationFilePath(), {"--write", dir.path(), name}, 600000);
        if (made.status != 0) {
            out << name << "\tnot made\n";
            continue;
        }
        const QString bad = made.out.trimmed();
        QElapsedTimer clock;
        clock.start();
        const ProcessResult list =
            runProcess(ZEMBRIX_BINARY, QStringList{"--list", bad} + extraArgs.filter("--all-images"), 600000);
        const double listSeconds = clock.nsecsElapsed() / 1e9;
        clock.restart();
        const ProcessResult extract = runProcess(
            ZEMBRIX_BINARY,
            QStringList{"--extract", dir.path() + "/good.pdf", bad, "--out", dir.path() + "/out"} + extraArgs, 600000);
        const double extractSeconds = clock.nsecsElapsed() / 1e9;
        QStringList goals;
        if (list.peakRssKiB / 1024.0 > kListGoalMiB)
            goals << "list memory";
        if (extract.peakRssKiB / 1024.0 > kExtractGoalMiB)
            goals << "extract memory";
        if (std::max(listSeconds, extractSeconds) > kGoalSeconds)
            goals << "time";
        missed += !goals.isEmpty();
        out << name << '\t' << QString::number(list.peakRssKiB / 1024.0, 'f', 1) << '\t'
            << QString::number(extract.peakRssKiB / 1024.0, 'f', 1) << '\t' << QString::number(listSeconds, 'f', 2)
            << '\t' << QString::number(extractSeconds, 'f', 2) << '\t' << list.status << '\t' << extract.status << '\t'
            << (goals.isEmpty() ? QStringLiteral("-") : goals.join(", ")) << Qt::endl;
        ++count;
    }
    out << count << " cases in " << QString::number(all.nsecsElapsed() / 1e9, 'f', 1) << " s, " << missed
        << " missing a goal\n";
    return 0;
}
