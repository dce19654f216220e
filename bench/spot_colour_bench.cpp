// Builds spot-colour images of a scanned page's size and reports megapixels
// per second for each kind of tint transform: a one-ink Separation (one
// evaluation per sample value), a two-ink DeviceN of few colours (cached)
// and a three-ink one of many colours (evaluated per pixel).
//
//   spot_colour_bench [repetitions]

#include "PdfFixture.h"
#include "pdf/PDFFileStruct.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <random>

using namespace zembrix;

using namespace fixture;

namespace {

// Red from the first ink (doubled, full past half), green from the second.
const char *kTwoInks = "{ exch dup 0.5 gt { pop 1 } { 2 mul } ifelse exch 0 }";
const char *kThreeInks = "{ pop exch dup 0.5 gt { pop 1 } { 2 mul } ifelse exch 0 }";

Obj unitPairs(int n)
{
    std::vector<Obj> items;
    for (int i = 0; i < n; ++i) {
        items.push_back(integer(0));
        items.push_back(integer(1));
    }
    return array(items);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTextStream out(stdout);
    QTemporaryDir dir;
    const int w = 2480, h = 3508;
    std::mt19937 rng(7);
    std::string oneInk(size_t(w) * h, '\0'), fewColours(size_t(w) * h * 2, '\0'), manyColours(size_t(w) * h * 3, '\0');
    for (size_t i = 0; i < oneInk.size(); ++i)
        oneInk[i] = char(i % 251);
    for (size_t i = 0; i < fewColours.size(); ++i)
        fewColours[i] = char((i / 64) % 16 * 16);
    for (char &c : manyColours)
        c = char(rng());
    struct Kind {
        const char *name;
        std::string samples;
        int inks;
    };
    const Kind kinds[] = {{"Separation, 8-bit", oneInk, 1},
                          {"DeviceN, 256 colours", fewColours, 2},
                          {"DeviceN, 3 inks, random", manyColours, 3}};
    for (const Kind &kind : kinds) {
        PdfFixture pdf;
        const int inks = kind.inks;
        Obj tint = pdf.stream(
            inks == 1 ? "{ 1 exch sub }" : (inks == 2 ? kTwoInks : kThreeInks),
            {{"FunctionType", integer(4)}, {"Domain", unitPairs(inks)}, {"Range", unitPairs(inks == 1 ? 1 : 3)}});
        std::vector<Obj> names;
        for (int i = 0; i < inks; ++i)
            names.push_back(name("Ink" + std::to_string(i)));
        Obj space = inks > 1 ? array({name("DeviceN"), array(names), name("DeviceRGB"), tint})
                             : array({name("Separation"), name("Spot"), name("DeviceGray"), tint});
        pdf.page({{"/I0", pdf.image(w, h, 8, space, kind.samples, {"FlateDecode"})}});
        const QString file = dir.filePath(QStringLiteral("spot.pdf"));
        pdf.write(file);
        qint64 best = -1;
        for (int r = 0; r < repetitions; ++r) {
            QElapsedTimer timer;
            timer.start();
            auto record = std::make_shared<PDFFileStruct>(nullptr);
            record->setFilePathOnly(file);
            record->setKeepsReducedCopies(false);
            record->setIsThreading(true);
            record->fillImageListArray(record.get());
            const QImage picture = record->images().isEmpty() ? QImage() : record->images()[0]->image();
            const qint64 ms = timer.elapsed();
            if (picture.isNull()) {
                out << kind.name << ": not built\n";
                return 1;
            }
            best = best < 0 ? ms : std::min(best, ms);
        }
        out << kind.name << ": " << w << " x " << h << " in " << best << " ms, "
            << QString::number(double(w) * h / 1e3 / std::max<qint64>(best, 1), 'f', 1) << " Mpixel/s\n";
    }
    return 0;
}
