#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace zembrix {

// The window's pictures, drawn in code so that no icon theme is needed and no
// picture can be missing. Names: "add", "remove", "check", "clear", "folder",
// "reparse", "stop", "help", "small", "middle", "large", "export",
// "rotateleft", "rotateright", "fliph", "flipv", "effects", "app".
// Main thread (pixmaps); drawnImage may be called from any thread.
namespace DrawnIcons {

// The glyph `name` in `color` on a transparent square of `edge` pixels; an
// empty image for an unknown name.
QImage drawnImage(const QString &name, int edge, const QColor &color);

// The glyph as an icon for menus and buttons: light grey, with a dimmed
// disabled mode and a white active/selected mode.
QIcon icon(const QString &name);

// A button picture: the glyph on a rounded tile, in the normal ("off") or the
// selected ("on") look.
QPixmap buttonPicture(const QString &name, const QSize &size, bool selected, qreal devicePixelRatio = 1.0);

// The busy spinner's picture: a ring of twelve strokes, fading.
QImage spinnerImage(int edge);

// The application picture (the same drawing as the installed SVG icon).
QImage applicationImage(int edge);

} // namespace DrawnIcons

} // namespace zembrix
