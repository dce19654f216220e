#pragma once

#include <QList>

class QMenu;
class QMenuBar;
class QWidget;

namespace zembrix {

class Actions;

// The window's menus, made of the shared actions: the menu bar (File, Edit,
// Image, View, Window, Help) and the context menus of the thumbnails and of
// the file table. Their items' states are set by Actions::applyState; the
// caller refreshes it when a menu is about to show. Main thread.
namespace WindowMenus {
// Fills the bar and returns its menus.
QList<QMenu *> fillMenuBar(QMenuBar *bar, Actions *actions);
QMenu *thumbnailMenu(Actions *actions, QWidget *parent);
QMenu *fileTableMenu(Actions *actions, QWidget *parent);
} // namespace WindowMenus

} // namespace zembrix
