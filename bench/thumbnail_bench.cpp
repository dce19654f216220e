// The thumbnail browser's main-thread costs for 5000 images: a refresh that
// finds the same records (the half-second refresh while a walk runs), one
// that appends, and the data() calls of one screen of thumbnails from the
// cache; then how fast the loader renders thumbnails on its threads.
//
//   thumbnail_bench

#include "ThumbnailLoader.h"
#include "ThumbnailModel.h"

#include "images/PDFImageStruct.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>

using namespace zembrix;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    constexpr int kImages = 5000;
    ImageRecordList records;
    for (int i = 0; i < kImages; ++i) {
        QImage picture(640, 480, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(i % 360, 200, 220));
        auto record = PDFImageStruct::create(nullptr);
        record->setImage(picture);
        record->setImagename(QStringLiteral("img_%1").arg(i));
        records.append(record);
    }
    QThreadPool pool;
    ThumbnailLoader loader(pool);
    ThumbnailModel model(&loader);
    model.setThumbnailEdge(90);

    QElapsedTimer timer;
    timer.start();
    model.setRecords(records.mid(0, kImages - 100));
    model.setRecords(records);
    const double append = timer.nsecsElapsed() / 1e6;
    timer.restart();
    for (int r = 0; r < 100; ++r)
        model.setRecords(records);
    const double same = timer.nsecsElapsed() / 1e6 / 100;

    // Render every thumbnail once, then time cached reads.
    timer.restart();
    int ready = 0;
    QObject::connect(&loader, &ThumbnailLoader::thumbnailReady, [&] { ++ready; });
    for (int r = 0; r < kImages; ++r)
        model.index(r).data(ThumbnailModel::ThumbnailRole);
    while (ready < 256) // the loader keeps the newest requests only
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const double renderSeconds = timer.nsecsElapsed() / 1e9;
    timer.restart();
    for (int r = 0; r < 100 * 80; ++r)
        model.index(kImages - 1 - r % 80).data(ThumbnailModel::ThumbnailRole);
    const double screen = timer.nsecsElapsed() / 1e6 / 100;

    out << "images\trefresh same ms\trefresh append ms\tscreen of 80 data() ms\tthumbnails/s ("
        << QThread::idealThreadCount() << " threads)\n";
    out << kImages << '\t' << same << '\t' << append << '\t' << screen << '\t' << ready / renderSeconds << '\n';
    return 0;
}
