#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <limits>
#include <mutex>

#include <sys/types.h>

namespace zembrix {

// The file names one export job takes. Two images of a job with the same
// name must not overwrite each other: the first keeps "<name>.<ext>", later
// ones get " (2)", " (3)", ... before the extension. A name whose file name
// would pass the file system's limit of 255 bytes is shortened in its middle
// (fittedFileName; the counter and the extension stay).
//
// Names are planned in job order with claim() (no file system access), then
// taken on disk with claimOnDisk() just before each file is written: an empty
// placeholder file made exclusively at the path. So two exports into one
// folder at the same time (two jobs of the window, the window and a command
// line run, two runs) never replace each other's files; the later one numbers
// further. A file left by an export that ended before this job started (or
// any other file already there) is treated as setExistingFiles() says: kept,
// the image taking the next free " (N)" name (the default); replaced (a link
// is replaced, never followed); or kept with the image skipped. Every job
// holds a shared lock on the folder while it runs, and a job that found no
// other one there when it began takes files older than its start for such
// earlier files. Any thread.
class ExportPathClaims
{
public:
    enum class ExistingFiles { KeepBoth, Replace, Skip };

    ExportPathClaims() = default;
    ~ExportPathClaims();
    ExportPathClaims(const ExportPathClaims &) = delete;
    ExportPathClaims &operator=(const ExportPathClaims &) = delete;

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

    // Marks the path as claimed without planning it: no later claim gets it.
    void reserve(const QString &path);
    // What claimOnDisk does with a file an earlier export left; before the first one.
    void setExistingFiles(ExistingFiles policy) { m_existing = policy; }

    // Takes the folder's lock for the job; before the first claimOnDisk.
    // With `replaceOlderFiles`, a file made before the job began is replaced
    // even while another export runs in the folder (it is taken to be an
    // interrupted run's, which a resumed run finishes).
    void beginOnDisk(const QString &folder, bool replaceOlderFiles = false);
    // The path, planned by this object, as it is taken on disk: the planned
    // one, or the next free " (N)" of the same name when another export holds
    // it (or an earlier file is kept). Empty when an earlier file is there and
    // the policy is Skip. When no placeholder can be made for another reason
    // (no permission, a vanished folder), the planned path: its writer says
    // what is wrong.
    QString claimOnDisk(const QString &path);
    // Removes the placeholder at `path` unless a file was written there: for
    // a write that failed or was cancelled.
    void release(const QString &path);
    // Removes every placeholder still empty and lets go of the folder; at
    // the end of the job (the destructor does it too).
    void endOnDisk();

private:
    struct PlannedName {
        QString folder;       // ends in "/"
        QString base;         // the image name as one path component
        QString dotExtension; // ".png"; empty for a stem
        int copy = 1;
    };
    struct Placeholder {
        dev_t device = 0;
        ino_t inode = 0;
    };
    QString planned(const PlannedName &name, int copy) const;
    bool takenByAnotherExport(const QByteArray &path) const;

    mutable std::mutex m_mutex;
    QSet<QString> m_claimed;             // cleaned absolute paths
    QHash<QString, PlannedName> m_names; // by the path claim() gave
    QHash<QString, Placeholder> m_placeholders;
    int m_folderLock = -1;
    bool m_alone = true;
    bool m_replaceOlderFiles = false;
    ExistingFiles m_existing = ExistingFiles::KeepBoth;
    // When the job began; until beginOnDisk, every file found is an old one.
    qint64 m_startSeconds = std::numeric_limits<qint64>::max();
    long m_startNanoseconds = 0;
};

} // namespace zembrix
