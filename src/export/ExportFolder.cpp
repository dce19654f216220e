#include "ExportFolder.h"

#include <QDir>
#include <QFileInfo>

namespace zembrix {

bool ensureExportFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    if (QFileInfo(folder).isDir())
        return true;
    // mkdir makes the last level only and fails when a file holds the name.
    return QDir().mkdir(folder) && QFileInfo(folder).isDir();
}

QString noFolderAlertMessage()
{
    return QStringLiteral("Error");
}

QString noFolderAlertText(const QString &folder)
{
    return QStringLiteral("%1 %2 %3")
        .arg(QStringLiteral("No folder"), folder, QStringLiteral("found. Please set the export folder"));
}

} // namespace zembrix
