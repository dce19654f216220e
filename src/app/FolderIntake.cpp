#include "FolderIntake.h"

#include "FileIntake.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <vector>

namespace zembrix {

namespace FolderIntake {

Found pdfFilesIn(const QString &folder, const Limits &limits)
{
    Found found;
    const QFileInfo top(folder);
    if (!top.isDir())
        return found;
    QSet<QString> seenFolders, seenFiles; // canonical paths
    struct Pending {
        QString path;
        int depth;
    };
    // Depth first, in name order: a folder's files, then its subfolders.
    std::vector<Pending> stack{{top.absoluteFilePath(), 0}};
    int entries = 0;
    while (!stack.empty()) {
        const Pending at = stack.back();
        stack.pop_back();
        const QString canonical = QFileInfo(at.path).canonicalFilePath();
        if (canonical.isEmpty() || seenFolders.contains(canonical))
            continue;
        seenFolders.insert(canonical);
        const QFileInfoList list =
            QDir(at.path).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::DirsLast);
        std::vector<Pending> subfolders;
        for (const QFileInfo &entry : list) {
            if (++entries > limits.entries) {
                found.limitReached = true;
                return found;
            }
            if (entry.isDir()) {
                if (at.depth < limits.depth)
                    subfolders.push_back({entry.absoluteFilePath(), at.depth + 1});
                else
                    found.limitReached = true;
            } else if (entry.isFile() && FileIntake::isPdfFileName(entry.fileName())) {
                const QString real = entry.canonicalFilePath();
                if (real.isEmpty() || seenFiles.contains(real))
                    continue;
                if (found.paths.size() >= limits.files) {
                    found.limitReached = true;
                    return found;
                }
                seenFiles.insert(real);
                found.paths << entry.absoluteFilePath();
            }
        }
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
            stack.push_back(*it);
    }
    return found;
}

QString limitText(const QString &folder, const Found &found)
{
    const Limits limits;
    return QStringLiteral("Only part of %1 was searched: %2 PDF files were found before the limits of the search "
                          "(%3 folder levels, %4 files, %5 entries) were reached.")
        .arg(folder)
        .arg(found.paths.size())
        .arg(limits.depth)
        .arg(limits.files)
        .arg(limits.entries);
}

} // namespace FolderIntake

} // namespace zembrix
