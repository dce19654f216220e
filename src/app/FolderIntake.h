#pragma once

#include <QString>
#include <QStringList>

namespace zembrix {

// The PDF files inside a folder, for a dropped folder and File > Add Folder.
// The walk goes into subfolders (symbolic links to folders included) down to
// a depth limit, visits each real folder once (so a link back to a parent
// ends there), takes each real file once, and stops at a count of files and
// of entries looked at, so a drop of "/" or of a huge tree ends soon.
namespace FolderIntake {

struct Limits {
    int depth = 16;       // subfolder levels below the folder
    int files = 2000;     // PDF files taken
    int entries = 200000; // directory entries looked at
};

struct Found {
    QStringList paths; // absolute paths, in name order, folder by folder
    bool limitReached = false;
};

Found pdfFilesIn(const QString &folder, const Limits &limits = {});
// What the window says when a limit cut the walk short.
QString limitText(const QString &folder, const Found &found);

} // namespace FolderIntake

} // namespace zembrix
