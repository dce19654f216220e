// The image viewer's opening times for two JPEG scans of a PDF, one of
// 2480 x 3508 (an A4 page at 300 dpi) and one of 8000 x 8000: the time until
// the picture reduced to the screen shows, until the whole picture is ready
// for zooming in, and the longest pause of the main thread meanwhile (a
// timer that should fire every millisecond). Every opening decodes again:
// the picture cache is emptied before it.
//
//   viewer_bench [RUNS] [SCREEN_EDGE]     (default 3 runs, a 1920-pixel screen)

#include "Controller.h"
#include "ThumbnailLoader.h"
#include "ThumbnailModel.h"
#include "ViewerPage.h"
#include "widgets/ImageViewer.h"

#include "PdfFixture.h"

#include "images/CoreContext.h"
#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

using namespace zembrix;

namespace {

// A page-like picture: a paper tone, lines of "text" and some noise, coded
// as a JPEG of quality 85 as scanners write them.
std::string scanJpeg(int width, int height)
{
    QImage page(width, height, QImage::Format_RGB888);
    page.fill(QColor(246, 242, 232));
    QPainter p(&page);
    QRandomGenerator random(width);
    const int line = std::max(8, height / 120);
    for (int y = line * 4; y + line < height - line * 4; y += line * 2)
        for (int x = width / 12; x < width - width / 12;) {
            const int word = int(random.bounded(line * 2, line * 8));
            p.fillRect(x, y, std::min(word, width - width / 12 - x), line, QColor(40, 40, 48));
            x += word + line;
        }
    p.fillRect(width / 8, height / 3, width / 3, height / 4, QColor(180, 90, 60));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    page.save(&buffer, "JPEG", 85);
    return bytes.toStdString();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const int screenEdge = argc > 2 ? std::max(256, atoi(argv[2])) : 1920;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scans.pdf"));
    {
        fixture::PdfFixture pdf;
        for (const QSize size : {QSize(2480, 3508), QSize(8000, 8000)})
            pdf.page({{"/Im0", pdf.image(size.width(), size.height(), 8, fixture::name("DeviceRGB"),
                                         scanJpeg(size.width(), size.height()), {"DCTDecode"})}});
        pdf.write(path);
    }

    Controller controller;
    controller.setParsePause(std::chrono::milliseconds(0));
    controller.addPdfFile(path);
    ThumbnailModel *model = controller.thumbnailModel();
    while (model->rowCount() < 2 || controller.runningParses() > 0 || controller.pdfFiles()[0]->isThreading())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (int row = 0; row < 2; ++row)
        model->index(row).data(ThumbnailModel::ThumbnailRole);
    while (controller.thumbnailLoader()->pendingCount() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    ViewerPage viewer(model, controller.thumbnailSelection());
    viewer.setScreenEdge(screenEdge);
    viewer.resize(1200, 800);
    viewer.show();

    // The longest gap between two ticks of a 1 ms timer.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    ticker.start();

    out << "viewer opening, screen edge " << screenEdge << " px, " << runs << " runs (ms; best / worst)\n";
    for (int row = 0; row < 2; ++row) {
        const ImageSource source = model->recordAt(row)->source();
        double bestReduced = 1e9, worstReduced = 0, bestWhole = 1e9, worstWhole = 0, worstPause = 0, worstPaint = 0;
        for (int run = 0; run < runs; ++run) {
            viewer.close();
            controller.context()->pictureCache().clear();
            QCoreApplication::processEvents();
            double reduced = -1, whole = -1;
            QElapsedTimer timer;
            const auto shown = QObject::connect(&viewer, &ViewerPage::pictureShown, [&](bool full) {
                const double ms = timer.nsecsElapsed() / 1e6;
                if (reduced < 0)
                    reduced = ms;
                if (full)
                    whole = ms;
                // The window's own work for the new picture: one paint of it.
                QElapsedTimer paint;
                paint.start();
                viewer.view()->grab();
                worstPaint = std::max(worstPaint, paint.nsecsElapsed() / 1e6);
            });
            sinceTick.start();
            longestPause = 0;
            timer.start();
            viewer.open(row);
            while (whole < 0 && timer.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QObject::disconnect(shown);
            bestReduced = std::min(bestReduced, reduced);
            worstReduced = std::max(worstReduced, reduced);
            bestWhole = std::min(bestWhole, whole);
            worstWhole = std::max(worstWhole, whole);
            worstPause = std::max(worstPause, longestPause / 1e6);
        }
        out << QStringLiteral("  %1 x %2 JPEG: reduced picture %3 / %4, whole picture %5 / %6, "
                              "longest paint %7, longest main-thread pause %8 (with the time other processes take)\n")
                   .arg(qint64(source.width))
                   .arg(qint64(source.height))
                   .arg(bestReduced, 0, 'f', 0)
                   .arg(worstReduced, 0, 'f', 0)
                   .arg(bestWhole, 0, 'f', 0)
                   .arg(worstWhole, 0, 'f', 0)
                   .arg(worstPaint, 0, 'f', 1)
                   .arg(worstPause, 0, 'f', 1);
        out.flush();
    }
    return 0;
}
