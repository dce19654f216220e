#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The file names one export job has taken. Two images of a job with the same
// name must not overwrite each other: the first keeps "<name>.<ext>", later
// ones get " (2)", " (3)", ... before the extension. Only the job's own files
// count; a file some earlier export left at a path is replaced as before.
// One per job, used by its thread only.
class ExportPathClaims
{
public:
    // "<folder>/<name><suffix>.<extension>" not yet claimed by this job, now
    // claimed. The name is made one path component first (exportFileName), so
    // the path is always directly inside the folder. Empty for a format index
    // outside the table; for Original, the stem claimStem() gives for all of
    // its extensions.
    QString claim(const QString &folder, const QString &name, int formatIndex);
    // The same with an explicit extension (without the dot).
    QString claimWithExtension(const QString &folder, const QString &name, const QString &extension);

    // "<folder>/<name><suffix>" (no extension) such that the path with each
    // of `extensions` is not yet claimed by this job, all of them now claimed:
    // for a file whose extension is chosen later.
    QString claimStem(const QString &folder, const QString &name, const QStringList &extensions);

private:
    QSet<QString> m_claimed; // cleaned absolute paths
};

