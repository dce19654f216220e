#include "ViewerPage.h"

#include "ThumbnailModel.h"

#include "images/EffectsPipeline.h"
#include "images/PDFImageStruct.h"
#include "images/PoolStart.h"
#include "widgets/ImageViewer.h"

#include <QItemSelectionModel>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace zembrix {

namespace {

// The size of the whole image that `picture` (a reduced copy after the
// edits) stands for, `longEdge` pixels on its long side before the edits.
// Rotations keep the long side long, so the ratio holds for any edit.
QSize standsFor(const QImage &picture, int longEdge)
{
    const int pictureLong = std::max(picture.width(), picture.height());
    if (pictureLong <= 0 || longEdge <= pictureLong)
        return picture.size();
    const double ratio = double(longEdge) / pictureLong;
    return QSize(std::max(1, int(std::lround(picture.width() * ratio))),
                 std::max(1, int(std::lround(picture.height() * ratio))));
}

// The reduced picture in a format the painter draws without converting it
// first (the viewer converts only the part shown of other pictures).
QImage paintable(QImage picture)
{
    const QImage::Format format =
        picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    return picture.format() == format ? picture : std::move(picture).convertToFormat(format);
}

// The long edge to reduce an image to for a screen of `screenEdge`: the
// image's own long edge divided by 2, 4 or 8 where that still covers three
// quarters of the screen, so that a JPEG decoded at such a scale needs no
// scaling after it (which costs more than decoding larger).
int reducedEdgeFor(int longEdge, int screenEdge)
{
    int edge = screenEdge;
    for (int divisor : {2, 4, 8}) {
        const int divided = (longEdge + divisor - 1) / divisor;
        if (divided * 4 >= screenEdge * 3)
            edge = divided;
    }
    return std::max(1, edge);
}

int declaredLongEdge(const PDFImageStruct &record)
{
    const ImageSource source = record.source();
    const double edge = std::max(source.width, source.height);
    return edge > 0 && edge < 1e6 ? int(edge) : 0;
}

} // namespace

struct ViewerPage::Rendered {
    quint64 generation = 0;
    quint64 recordId = 0;
    quint64 version = 0;
    QImage screenBase; // unedited, when made by this rendering
    QImage fullBase;
    QImage picture; // with the edits
    QSize imageSize;
    bool full = false;
};

ViewerPage::ViewerPage(ThumbnailModel *model, QItemSelectionModel *selection, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_selection(selection)
    , m_view(new ImageViewer)
{
    setObjectName(QStringLiteral("viewerPage"));
    m_pool.setMaxThreadCount(2);
    m_pool.setObjectName(QStringLiteral("viewer"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    connect(m_view, &ImageViewer::previousRequested, this, [this] { step(-1); });
    connect(m_view, &ImageViewer::nextRequested, this, [this] { step(1); });
    connect(m_view, &ImageViewer::closeRequested, this, &ViewerPage::close);
    // Zoomed in past the reduced picture: the whole one is made.
    connect(m_view, &ImageViewer::zoomChanged, this, [this](qreal zoom) {
        if (m_record && !m_wholeShown && !m_screenBase.isNull()
            && zoom > qreal(m_view->picture().width()) / std::max(1, m_view->imageSize().width()))
            render(true);
    });
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &top, const QModelIndex &bottom) {
        if (m_record && m_row >= top.row() && m_row <= bottom.row() && m_record->imageVersion() != m_requestedVersion)
            render(false);
    });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, &ViewerPage::recordsChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ViewerPage::recordsChanged);
}

ViewerPage::~ViewerPage()
{
    m_generation.fetch_add(1);
    m_pool.clear();
    m_pool.waitForDone();
}

void ViewerPage::open(int row)
{
    const std::shared_ptr<PDFImageStruct> record = m_model->recordAt(row);
    if (!record)
        return;
    m_row = row;
    if (record != m_record) {
        m_record = record;
        m_screenBase = QImage();
        m_fullBase = QImage();
        m_reducedShown = QImage();
        m_wholeShown = false;
        m_generation.fetch_add(1);
        m_view->clear();
        // The thumbnail shows until the reduced picture is made.
        const QImage thumbnail = m_model->index(row).data(ThumbnailModel::ThumbnailRole).value<QImage>();
        if (!thumbnail.isNull())
            m_view->setPicture(thumbnail, standsFor(thumbnail, declaredLongEdge(*record)));
        showCaption();
        render(true);
    }
    m_view->setFocus(Qt::OtherFocusReason);
}

void ViewerPage::close()
{
    if (m_row < 0)
        return;
    const int row = m_row;
    m_generation.fetch_add(1);
    m_row = -1;
    m_record.reset();
    m_screenBase = QImage();
    m_fullBase = QImage();
    m_reducedShown = QImage();
    m_view->clear();
    emit closed(row);
}

void ViewerPage::step(int delta)
{
    const int next = m_row + delta;
    if (m_row < 0 || next < 0 || next >= m_model->rowCount())
        return;
    m_selection->setCurrentIndex(m_model->index(next), QItemSelectionModel::ClearAndSelect);
    open(next);
}

void ViewerPage::recordsChanged()
{
    if (!m_record)
        return;
    const int row = m_model->rowOfRecord(m_record->recordId());
    if (row < 0)
        close();
    else
        m_row = row;
}

void ViewerPage::showCaption()
{
    const ImageSource source = m_record->source();
    QString caption = m_record->imagename();
    if (source.width > 0 && source.height > 0)
        caption += QStringLiteral("  \u00b7  %1 \u00d7 %2").arg(qint64(source.width)).arg(qint64(source.height));
    m_view->setCaption(caption);
}

int ViewerPage::screenEdge() const
{
    if (m_screenEdge > 0)
        return m_screenEdge;
    const QScreen *shownOn = screen();
    if (!shownOn)
        return 2048;
    const QSize size = shownOn->geometry().size() * shownOn->devicePixelRatio();
    return std::max({size.width(), size.height(), 256});
}

void ViewerPage::render(bool whole)
{
    if (!m_record)
        return;
    const quint64 generation = m_generation.fetch_add(1) + 1;
    const quint64 version = m_record->imageVersion();
    const bool versionChanged = version != m_requestedVersion;
    m_requestedVersion = version;
    // An edit shown at a zoom the reduced picture serves leaves the whole
    // picture for later.
    whole = whole || m_view->zoom() > qreal(m_screenBase.width()) / std::max(1, m_view->imageSize().width());
    if (versionChanged)
        m_wholeShown = false;
    const EffectParameters edits = m_record->effectParameters();
    const std::weak_ptr<PDFImageStruct> weak = m_record;
    const QImage screenBase = m_screenBase;
    const QImage fullBase = m_fullBase;
    const int edge = reducedEdgeFor(declaredLongEdge(*m_record), screenEdge());
    startOnPool(m_pool, [this, generation, version, edits, weak, screenBase, fullBase, edge, whole] {
        const std::shared_ptr<PDFImageStruct> record = weak.lock();
        if (!record || m_generation.load() != generation)
            return;
        auto post = [this](Rendered rendered) { m_posts.post([this, rendered] { deliver(rendered); }); };
        Rendered reduced;
        reduced.generation = generation;
        reduced.recordId = record->recordId();
        reduced.version = version;
        reduced.screenBase = screenBase.isNull() ? record->pictureReducedTo(edge) : screenBase;
        if (reduced.screenBase.isNull())
            return;
        const QImage &base = reduced.screenBase;
        const int longEdge =
            fullBase.isNull() ? declaredLongEdge(*record) : std::max(fullBase.width(), fullBase.height());
        reduced.full = longEdge <= std::max(base.width(), base.height());
        reduced.picture = paintable(applyAllEffects(base, edits));
        reduced.imageSize = standsFor(reduced.picture, longEdge);
        post(reduced);
        if (reduced.full || !whole || m_generation.load() != generation)
            return;
        Rendered full = reduced;
        full.screenBase = QImage();
        full.fullBase = fullBase.isNull() ? record->image() : fullBase;
        if (full.fullBase.isNull() || m_generation.load() != generation)
            return;
        full.picture = applyAllEffects(full.fullBase, edits);
        full.imageSize = full.picture.size();
        full.full = true;
        post(full);
    });
}

void ViewerPage::deliver(const Rendered &rendered)
{
    if (!m_record || rendered.recordId != m_record->recordId())
        return;
    // The unedited pictures serve later renderings even when this one is late.
    if (!rendered.screenBase.isNull())
        m_screenBase = rendered.screenBase;
    if (!rendered.fullBase.isNull())
        m_fullBase = rendered.fullBase;
    if (rendered.generation != m_generation.load())
        return;
    if (rendered.full && !rendered.fullBase.isNull())
        m_view->setPicture(rendered.picture, rendered.imageSize, m_reducedShown);
    else
        m_view->setPicture(rendered.picture, rendered.imageSize);
    if (!rendered.full || rendered.fullBase.isNull())
        m_reducedShown = rendered.picture;
    m_wholeShown = rendered.full;
    emit pictureShown(rendered.full, rendered.version);
}

} // namespace zembrix
