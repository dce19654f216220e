#include "DrawnIcons.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace zembrix {

namespace {

// Every glyph is drawn on a 24 x 24 grid and scaled to the requested edge.
void drawGlyph(QPainter &p, const QString &name, const QColor &color)
{
    QPen pen(color, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (name == QLatin1String("add")) {
        p.drawLine(QPointF(12, 5), QPointF(12, 19));
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
    } else if (name == QLatin1String("remove")) {
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
    } else if (name == QLatin1String("check")) {
        p.drawRoundedRect(QRectF(4, 4, 16, 16), 3, 3);
        p.drawPolyline(QPolygonF({QPointF(8, 12.5), QPointF(11, 15.5), QPointF(16.5, 8.5)}));
    } else if (name == QLatin1String("clear")) {
        p.drawLine(QPointF(7, 7), QPointF(17, 17));
        p.drawLine(QPointF(17, 7), QPointF(7, 17));
    } else if (name == QLatin1String("folder")) {
        QPainterPath path;
        path.moveTo(3, 7);
        path.lineTo(3, 19);
        path.lineTo(21, 19);
        path.lineTo(21, 9);
        path.lineTo(11.5, 9);
        path.lineTo(9.5, 6);
        path.lineTo(4, 6);
        path.closeSubpath();
        p.drawPath(path);
    } else if (name == QLatin1String("reparse")) {
        p.drawArc(QRectF(5, 5, 14, 14), 60 * 16, 280 * 16);
        p.drawPolyline(QPolygonF({QPointF(15.5, 3.5), QPointF(16, 7), QPointF(12.5, 7.5)}));
    } else if (name == QLatin1String("stop")) {
        p.setBrush(color);
        p.drawRoundedRect(QRectF(7, 7, 10, 10), 1.5, 1.5);
    } else if (name == QLatin1String("help")) {
        p.drawEllipse(QRectF(3.5, 3.5, 17, 17));
        QPainterPath q;
        q.moveTo(9.5, 10);
        q.cubicTo(9.5, 6.5, 14.5, 6.5, 14.5, 10);
        q.cubicTo(14.5, 12, 12, 12, 12, 14.5);
        p.drawPath(q);
        p.setBrush(color);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(12, 17.3), 1.2, 1.2);
    } else if (name == QLatin1String("small") || name == QLatin1String("middle") || name == QLatin1String("large")) {
        // A grid of 3 x 3, 2 x 2 or one tile: the thumbnail size it stands for.
        const int n = name == QLatin1String("small") ? 3 : name == QLatin1String("middle") ? 2 : 1;
        const qreal gap = 2.0;
        const qreal cell = (16.0 - gap * (n - 1)) / n;
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                p.drawRoundedRect(QRectF(4 + c * (cell + gap), 4 + r * (cell + gap), cell, cell), 1.2, 1.2);
    } else if (name == QLatin1String("rotateleft") || name == QLatin1String("rotateright")) {
        // Three quarters of a circle with the arrow head at its open end; the
        // right turn is the mirror image of the left one.
        if (name == QLatin1String("rotateright")) {
            p.translate(24, 0);
            p.scale(-1, 1);
        }
        p.drawArc(QRectF(5, 6, 14, 14), 90 * 16, -270 * 16);
        p.drawPolyline(QPolygonF({QPointF(8.5, 3), QPointF(12, 6), QPointF(8.5, 9)}));
    } else if (name == QLatin1String("fliph") || name == QLatin1String("flipv")) {
        // Two triangles facing each other across the mirror's axis.
        if (name == QLatin1String("flipv")) {
            p.translate(24, 0);
            p.rotate(90);
        }
        p.drawLine(QPointF(12, 3), QPointF(12, 21));
        p.drawPolygon(QPolygonF({QPointF(9.5, 6.5), QPointF(9.5, 17.5), QPointF(3.5, 17.5)}));
        p.setBrush(color);
        p.drawPolygon(QPolygonF({QPointF(14.5, 6.5), QPointF(14.5, 17.5), QPointF(20.5, 17.5)}));
    } else if (name == QLatin1String("effects")) {
        // Three slider tracks with their knobs.
        const qreal knobs[3] = {15, 8, 13};
        for (int i = 0; i < 3; ++i) {
            const qreal y = 6 + i * 6;
            p.drawLine(QPointF(4, y), QPointF(20, y));
            p.setBrush(color);
            p.drawEllipse(QPointF(knobs[i], y), 2.2, 2.2);
            p.setBrush(Qt::NoBrush);
        }
    } else if (name == QLatin1String("export")) {
        p.drawPolyline(QPolygonF({QPointF(5, 14), QPointF(5, 19), QPointF(19, 19), QPointF(19, 14)}));
        p.drawLine(QPointF(12, 4), QPointF(12, 15));
        p.drawPolyline(QPolygonF({QPointF(8, 8), QPointF(12, 4), QPointF(16, 8)}));
    }
}

const QStringList &glyphNames()
{
    static const QStringList names = {"add",        "remove",      "check", "clear",  "folder", "reparse",
                                      "stop",       "help",        "small", "middle", "large",  "export",
                                      "rotateleft", "rotateright", "fliph", "flipv",  "effects"};
    return names;
}

} // namespace

namespace DrawnIcons {

QImage drawnImage(const QString &name, int edge, const QColor &color)
{
    if (edge <= 0)
        return {};
    if (name == QLatin1String("app"))
        return applicationImage(edge);
    if (!glyphNames().contains(name))
        return {};
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(edge / 24.0, edge / 24.0);
    drawGlyph(p, name, color);
    return image;
}

QIcon icon(const QString &name)
{
    QIcon result;
    const qreal dpr = qApp ? qApp->devicePixelRatio() : 1.0;
    for (int edge : {16, 20, 24, 32, 48}) {
        const int px = qRound(edge * dpr);
        auto pixmap = [&](const QColor &color) {
            QPixmap pm = QPixmap::fromImage(drawnImage(name, px, color));
            pm.setDevicePixelRatio(dpr);
            return pm;
        };
        result.addPixmap(pixmap(QColor(214, 214, 214)), QIcon::Normal);
        result.addPixmap(pixmap(QColor(255, 255, 255)), QIcon::Active);
        result.addPixmap(pixmap(QColor(255, 255, 255)), QIcon::Selected);
        result.addPixmap(pixmap(QColor(110, 110, 110)), QIcon::Disabled);
    }
    return result;
}

QPixmap buttonPicture(const QString &name, const QSize &size, bool selected, qreal devicePixelRatio)
{
    const QSize px = size * devicePixelRatio;
    QImage image(px, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF tile = QRectF(QPointF(0, 0), QSizeF(px)).adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = 5 * devicePixelRatio;
        QLinearGradient fill(tile.topLeft(), tile.bottomLeft());
        if (selected) {
            fill.setColorAt(0, QColor(74, 128, 196));
            fill.setColorAt(1, QColor(52, 98, 160));
        } else {
            fill.setColorAt(0, QColor(72, 72, 76));
            fill.setColorAt(1, QColor(58, 58, 62));
        }
        p.setBrush(fill);
        p.setPen(QPen(selected ? QColor(96, 150, 220) : QColor(40, 40, 43), devicePixelRatio));
        p.drawRoundedRect(tile, radius, radius);
        const int glyph = qMin(px.width(), px.height()) * 3 / 4;
        const QImage g = drawnImage(name, glyph, selected ? QColor(255, 255, 255) : QColor(214, 214, 214));
        p.drawImage(QPointF((px.width() - glyph) / 2.0, (px.height() - glyph) / 2.0), g);
    }
    QPixmap pm = QPixmap::fromImage(image);
    pm.setDevicePixelRatio(devicePixelRatio);
    return pm;
}

QImage spinnerImage(int edge)
{
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(edge / 2.0, edge / 2.0);
    const qreal r = edge / 2.0;
    for (int i = 0; i < 12; ++i) {
        QColor c(235, 235, 235);
        c.setAlphaF(0.15 + 0.85 * (i + 1) / 12.0);
        p.setPen(QPen(c, edge / 14.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -r * 0.45), QPointF(0, -r * 0.9));
        p.rotate(30);
    }
    return image;
}

QImage applicationImage(int edge)
{
    // Drawn on the 256 x 256 grid of data/icons/zembrix.svg, which holds the
    // same shapes.
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(edge / 256.0, edge / 256.0);
    QLinearGradient bg(0, 8, 0, 248);
    bg.setColorAt(0, QColor(0x3b, 0x4a, 0x5c));
    bg.setColorAt(1, QColor(0x23, 0x2b, 0x35));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 48, 48);
    QPainterPath page;
    page.moveTo(64, 36);
    page.lineTo(160, 36);
    page.lineTo(200, 76);
    page.lineTo(200, 220);
    page.lineTo(64, 220);
    page.closeSubpath();
    p.setBrush(QColor(0xf2, 0xf2, 0xf2));
    p.drawPath(page);
    p.setBrush(QColor(0xc9, 0xc9, 0xc9));
    p.drawPolygon(QPolygonF({QPointF(160, 36), QPointF(160, 76), QPointF(200, 76)}));
    p.setBrush(QColor(0x4a, 0x90, 0xd9));
    p.drawRect(QRectF(80, 104, 104, 80));
    p.setBrush(QColor(0xff, 0xd3, 0x4d));
    p.drawEllipse(QPointF(156, 128), 12, 12);
    p.setBrush(QColor(0x3c, 0x9a, 0x5f));
    p.drawPolygon(
        QPolygonF({QPointF(80, 184), QPointF(116, 140), QPointF(140, 166), QPointF(156, 150), QPointF(184, 184)}));
    p.setBrush(QColor(0xe8, 0x83, 0x3a));
    p.drawEllipse(QPointF(196, 196), 36, 36);
    p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(196, 176), QPointF(196, 212));
    p.drawPolyline(QPolygonF({QPointF(182, 198), QPointF(196, 212), QPointF(210, 198)}));
    return image;
}

} // namespace DrawnIcons

} // namespace zembrix
