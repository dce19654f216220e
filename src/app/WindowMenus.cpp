#include "WindowMenus.h"

#include "Actions.h"

#include <QMenu>
#include <QMenuBar>

namespace zembrix {

namespace WindowMenus {

QList<QMenu *> fillMenuBar(QMenuBar *bar, Actions *a)
{
    QMenu *file = bar->addMenu(QMenuBar::tr("&File"));
    file->addAction(a->addFiles);
    file->addAction(a->addFolder);
    file->addAction(a->chooseExportFolder);
    file->addAction(a->openExportFolder);
    file->addSeparator();
    file->addAction(a->exportSelected);
    file->addAction(a->exportAll);
    QMenu *exportAs = file->addMenu(QMenuBar::tr("Export Selected &As"));
    exportAs->addActions({a->exportJpg, a->exportTif, a->exportPng, a->exportIcns});
    file->addSeparator();
    file->addAction(a->reparseFiles);
    file->addAction(a->removeFiles);
    file->addSeparator();
    file->addAction(a->quit);

    QMenu *edit = bar->addMenu(QMenuBar::tr("&Edit"));
    edit->addAction(a->undo);
    edit->addAction(a->redo);
    edit->addSeparator();
    edit->addAction(a->copyImage);
    edit->addAction(a->paste);
    edit->addSeparator();
    edit->addAction(a->selectAllImages);
    edit->addAction(a->selectAllFiles);
    edit->addAction(a->clearSelection);
    edit->addAction(a->checkFiles);
    edit->addSeparator();
    edit->addAction(a->stop);

    QMenu *image = bar->addMenu(QMenuBar::tr("&Image"));
    image->addActions({a->rotateLeft, a->rotateRight, a->flipHorizontal, a->flipVertical});
    image->addSeparator();
    image->addActions({a->resetAngle, a->resetFlip, a->resetEffects});

    QMenu *view = bar->addMenu(QMenuBar::tr("&View"));
    view->addActions({a->zoomSmall, a->zoomMiddle, a->zoomLarge});
    view->addSeparator();
    view->addActions({a->colorManagement, a->allImages, a->skipDuplicates});
    view->addSeparator();
    view->addActions({a->hideSmallImages, a->smallImageSize});

    QMenu *window = bar->addMenu(QMenuBar::tr("&Window"));
    window->addAction(a->minimize);
    window->addSeparator();
    window->addAction(a->showEffectsPanel);

    QMenu *help = bar->addMenu(QMenuBar::tr("&Help"));
    help->addAction(a->help);
    help->addAction(a->about);
    return {file, exportAs, edit, image, view, window, help};
}

QMenu *thumbnailMenu(Actions *a, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->addActions({a->rotateLeft, a->rotateRight, a->flipHorizontal, a->flipVertical});
    menu->addSeparator();
    menu->addActions({a->resetAngle, a->resetFlip, a->resetEffects});
    menu->addSeparator();
    menu->addActions({a->copyImage, a->exportSelected});
    QMenu *exportAs = menu->addMenu(QMenu::tr("Export Selected &As"));
    exportAs->addActions({a->exportJpg, a->exportTif, a->exportPng, a->exportIcns});
    menu->addSeparator();
    menu->addActions({a->selectAllImages, a->stop, a->showEffectsPanel});
    return menu;
}

QMenu *fileTableMenu(Actions *a, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->addActions({a->addFiles, a->checkFiles, a->reparseFiles, a->removeFiles});
    menu->addSeparator();
    menu->addActions({a->selectAllFiles, a->clearSelection, a->stop});
    menu->addSeparator();
    menu->addActions({a->exportAll, a->openExportFolder});
    return menu;
}

} // namespace WindowMenus

} // namespace zembrix
