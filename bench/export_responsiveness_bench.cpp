// How long the window's main thread is kept from its events while an export
// runs: a 5 ms heartbeat timer notes the longest gap between two of its ticks
// from the export's start to its end. The window (offscreen) shows the
// thumbnails of a PDF of N noisy RGB pictures, all selected, and exports them
// as HEIC, then as PNG and JPEG, into a temporary folder.
//
//   export_responsiveness_bench [N] [EDGE]     (default 37 pictures of 1024 x 768)

#include "Controller.h"
#include "ExportCommands.h"
#include "MainWindow.h"
#include "ThumbnailModel.h"

#include "PdfFixture.h"
#include "export/ExportFormat.h"
#include "pdf/PDFFileStruct.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

using namespace zembrix;

namespace {

void writeNoisyPdf(const QString &path, int count, int width, int height)
{
    fixture::PdfFixture pdf;
    QRandomGenerator random(7);
    for (int i = 0; i < count; ++i) {
        std::string samples(size_t(width) * size_t(height) * 3, '\0');
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                char *p = samples.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
                const int noise = int(random.bounded(48));
                p[0] = char((x * 255 / width + noise + i * 20) & 0xff);
                p[1] = char((y * 255 / height + noise) & 0xff);
                p[2] = char(((x + y) / 4 + noise) & 0xff);
            }
        pdf.page({{"/Im0", pdf.image(width, height, 8, fixture::name("DeviceRGB"), samples, {"FlateDecode"})}});
    }
    pdf.write(path);
}

// Times every event the main thread delivers: the longest one, and to what.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        QElapsedTimer timer;
        timer.start();
        const int type = event->type();
        const bool result = QApplication::notify(receiver, event);
        const qint64 took = timer.elapsed();
        if (took > longestEvent) {
            longestEvent = took;
            longestWhat =
                QStringLiteral("%1 to %2").arg(type).arg(QString::fromLatin1(receiver->metaObject()->className()));
        }
        return result;
    }
    qint64 longestEvent = 0;
    QString longestWhat;
};

bool waitFor(const std::function<bool()> &condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    QTextStream out(stdout);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 37;
    const int edge = argc > 2 ? std::max(16, std::atoi(argv[2])) : 1024;

    QTemporaryDir dir;
    const QString pdfPath = dir.filePath(QStringLiteral("pictures.pdf"));
    writeNoisyPdf(pdfPath, count, edge, edge * 3 / 4);

    Controller controller;
    MainWindow window(&controller);
    controller.setParsePause(std::chrono::milliseconds(0));
    window.show();
    controller.addPdfFile(pdfPath);
    if (!waitFor(
            [&] {
                return !controller.pdfFiles().isEmpty() && !controller.pdfFiles().first()->isThreading()
                       && controller.thumbnailModel()->rowCount() == count;
            },
            600000)) {
        out << "the file was not read\n";
        return 1;
    }
    out << count << " pictures of " << edge << " x " << edge * 3 / 4 << ", " << QThread::idealThreadCount()
        << " cores\nformat\tseconds\tfiles\tlongest main-thread block ms\tat s\tgaps over 50 ms\tticks\tlongest event "
           "ms\n";
    out.flush();

    // "idle": the heartbeat alone for five seconds, the machine's own noise.
    for (const char *format : {"idle", "HEIC", "PNG", "JPEG"}) {
        const bool idle = QByteArray(format) == "idle";
        QTemporaryDir folder;
        controller.setExportPath(folder.path());
        controller.setExportFormat(QString::fromLatin1(format));
        controller.selectAllImages();
        QCoreApplication::processEvents();

        QElapsedTimer sinceTick;
        qint64 longest = 0;
        int ticks = 0;
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        heartbeat.setInterval(5);
        qint64 longestAt = 0;
        int over = 0;
        QElapsedTimer total;
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const qint64 gap = sinceTick.restart();
            if (gap > longest) {
                longest = gap;
                longestAt = total.elapsed();
            }
            over += gap > 50;
            ++ticks;
        });
        bool finished = false;
        int written = 0;
        const auto connection =
            QObject::connect(window.exportCommands(), &ExportCommands::jobFinished, [&](const ExportJobResult &result) {
                finished = true;
                written = result.filesWritten;
            });
        app.longestEvent = 0;
        total.start();
        sinceTick.start();
        heartbeat.start();
        if (idle)
            QTimer::singleShot(5000, [&] { finished = true; });
        else
            controller.actions()->exportSelected->trigger();
        while (!finished)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        heartbeat.stop();
        longest = std::max(longest, sinceTick.elapsed());
        QObject::disconnect(connection);
        out << format << '\t' << total.elapsed() / 1000.0 << '\t' << written << '\t' << longest << '\t'
            << longestAt / 1000.0 << '\t' << over << '\t' << ticks << '\t' << app.longestEvent << " ("
            << app.longestWhat << ")\n";
        out.flush();
    }
    return 0;
}
