#pragma once

#include "PdfFixture.h"
#include "WaitUntil.h"

#include <QColor>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QSize>
#include <QString>
#include <QUrl>

#include <memory>
#include <string>

namespace apptest {

using ::waitUntil;

// The colour of image `i` of a fixture file: distinct and far apart.
inline QColor fixtureColor(int i)
{
    return QColor::fromHsv((i * 67) % 360, 220, 230);
}

// A PDF of `count` pages, each with one 24 x 16 (or `size`) Flate RGB image
// whose left half has fixtureColor(first + i) and right half black.
inline void writePdf(const QString &path, int count, int first = 0, QSize size = QSize(24, 16))
{
    fixture::PdfFixture pdf;
    for (int i = 0; i < count; ++i) {
        const QColor c = fixtureColor(first + i);
        std::string samples;
        samples.reserve(size_t(size.width()) * size_t(size.height()) * 3);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                samples += x < size.width() / 2 ? std::string{char(c.red()), char(c.green()), char(c.blue())}
                                                : std::string(3, '\0');
        pdf.page({{"/Im0", pdf.image(size.width(), size.height(), 8, fixture::name("DeviceRGB"), samples, {"FlateDecode"})}});
    }
    pdf.write(path);
}

// True when two colours differ by at most `tolerance` in each component.
inline bool near(QColor a, QColor b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

inline std::unique_ptr<QMimeData> mimeOf(const QStringList &paths)
{
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    mime->setUrls(urls);
    return mime;
}

// Drags the files or folders onto `target` at `where` and drops them there when the drag is
// accepted; whether it was.
inline bool dragAndDrop(QObject *target, const QStringList &paths, QPoint where)
{
    const auto mime = mimeOf(paths);
    QDragEnterEvent enter(where, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(where), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return true;
}

} // namespace apptest
