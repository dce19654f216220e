#pragma once

#include <QString>

namespace zembrix {

// Makes sure the export folder is there before a job writes into it: an
// existing folder is used as it is; when nothing or something other than a
// folder is at the path, a folder is created there. Parent folders are never
// created, so a mistyped path does not grow a tree of folders. False when no
// folder is there afterwards (empty path, missing parent, a file in the way,
// no permission). Any thread.
bool ensureExportFolder(const QString &folder);

// The alert a job shows when ensureExportFolder fails.
QString noFolderAlertMessage();                   // "Error"
QString noFolderAlertText(const QString &folder); // "No folder <path> found. Please set the export folder"

} // namespace zembrix
