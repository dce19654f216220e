#include "AppTestSupport.h"

#include "ThumbnailLoader.h"
#include "ThumbnailModel.h"

#include "images/PDFImageStruct.h"

#include <QPainter>
#include <QSignalSpy>
#include <QThreadPool>

#include <gtest/gtest.h>

using namespace zembrix;

namespace {

// Left half `left`, right half black.
std::shared_ptr<PDFImageStruct> record(const QColor &left)
{
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QPainter(&picture).fillRect(0, 0, 20, 20, left);
    auto r = PDFImageStruct::create(nullptr);
    r->setImage(picture);
    r->setImagename(QStringLiteral("img"));
    return r;
}

QImage thumbnailAt(const ThumbnailModel &model, int row)
{
    return model.index(row).data(ThumbnailModel::ThumbnailRole).value<QImage>();
}

// Thumbnails arrive later than they are asked for; an edit re-renders the
// edited record alone and its thumbnail shows the edit.
TEST(ThumbnailModel, RendersAsynchronouslyAndOnlyWhatChanged)
{
    QThreadPool pool;
    ThumbnailLoader loader(pool);
    ThumbnailModel model(&loader);
    model.setThumbnailEdge(96);
    const ImageRecordList records = {record(Qt::red), record(Qt::green), record(Qt::blue)};
    model.setRecords(records);
    ASSERT_EQ(model.rowCount(), 3);

    QSignalSpy ready(&loader, &ThumbnailLoader::thumbnailReady);
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(thumbnailAt(model, row).isNull()); // asked, not there yet
    ASSERT_TRUE(apptest::waitUntil([&] { return ready.count() == 3; }));
    EXPECT_TRUE(apptest::near(thumbnailAt(model, 1).pixelColor(2, 2), Qt::green));
    EXPECT_EQ(thumbnailAt(model, 1).width(), 40); // never scaled up
    const quint64 renders = loader.renderCount();

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    records[1]->setFlip(2); // mirrored left to right
    model.setRecords(records);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toModelIndex().row(), 1);
    EXPECT_EQ(changed.at(0).at(1).toModelIndex().row(), 1);

    for (int row = 0; row < 3; ++row)
        thumbnailAt(model, row);
    ASSERT_TRUE(apptest::waitUntil([&] { return ready.count() == 4; }));
    EXPECT_EQ(loader.renderCount(), renders + 1);
    EXPECT_TRUE(apptest::near(thumbnailAt(model, 1).pixelColor(2, 2), Qt::black));
    EXPECT_TRUE(apptest::near(thumbnailAt(model, 1).pixelColor(37, 2), Qt::green));

    // Records appended keep the rows there (an insertion, not a reset).
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setRecords(records + ImageRecordList{record(Qt::white)});
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(reset.count(), 0);
}

} // namespace
