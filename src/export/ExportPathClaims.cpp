#include "ExportPathClaims.h"

#include "ExportFileName.h"
#include "ExportFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zembrix {

namespace {

// How far a name is numbered on disk before the planned path is used as it is.
constexpr int kMostCopiesOnDisk = 10000;

QString folderPrefix(const QString &folder)
{
    QString base = QDir::cleanPath(folder);
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base;
}

QString claimKey(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString copyTail(int copy, const QString &dotExtension)
{
    return copy == 1 ? dotExtension : QStringLiteral(" (%1)%2").arg(QString::number(copy), dotExtension);
}

} // namespace

ExportPathClaims::~ExportPathClaims()
{
    endOnDisk();
}

QString ExportPathClaims::claim(const QString &folder, const QString &name, int formatIndex)
{
    if (!ExportFormat::isValidIndex(formatIndex))
        return {};
    if (formatIndex == ExportFormat::Original)
        return claimStem(folder, name, ExportFormat::originalExtensions());
    return claimWithExtension(folder, name, ExportFormat::extension(formatIndex));
}

QString ExportPathClaims::planned(const PlannedName &name, int copy) const
{
    return name.folder + fittedFileName(name.base, copyTail(copy, name.dotExtension));
}

QString ExportPathClaims::claimStem(const QString &folder, const QString &name, const QStringList &extensions)
{
    std::lock_guard lock(m_mutex);
    const QString prefix = folderPrefix(folder);
    const QString base = exportFileName(name);
    // The stem is cut to leave room for the longest extension.
    qsizetype longest = 0;
    for (const QString &extension : extensions)
        longest = std::max(longest, extension.size() + 1);
    for (int copy = 1;; ++copy) {
        const QString tail = copyTail(copy, {});
        const QString stem = prefix + fittedFileName(base, tail + QString(longest, QLatin1Char('x'))).chopped(longest);
        bool free = true;
        for (const QString &extension : extensions)
            free = free && !m_claimed.contains(claimKey(stem + QLatin1Char('.') + extension));
        if (!free)
            continue;
        const QString stemBase = stem.mid(prefix.size()).chopped(tail.size());
        for (const QString &extension : extensions) {
            const QString path = stem + QLatin1Char('.') + extension;
            m_claimed.insert(claimKey(path));
            m_names.insert(path, {prefix, stemBase, QLatin1Char('.') + extension, copy});
        }
        return stem;
    }
}

QString ExportPathClaims::claimWithExtension(const QString &folder, const QString &name, const QString &extension)
{
    std::lock_guard lock(m_mutex);
    const PlannedName planName{folderPrefix(folder), exportFileName(name), QLatin1Char('.') + extension, 1};
    for (int copy = 1;; ++copy) {
        const QString path = planned(planName, copy);
        // "a/./b.png" and "a/b.png" are one file; compare cleaned absolute paths.
        const QString key = claimKey(path);
        if (!m_claimed.contains(key)) {
            m_claimed.insert(key);
            PlannedName claimed = planName;
            claimed.copy = copy;
            m_names.insert(path, claimed);
            return path;
        }
    }
}

void ExportPathClaims::reserve(const QString &path)
{
    std::lock_guard lock(m_mutex);
    m_claimed.insert(claimKey(path));
}

void ExportPathClaims::beginOnDisk(const QString &folder, bool replaceOlderFiles)
{
    std::lock_guard lock(m_mutex);
    if (m_folderLock >= 0)
        return;
    m_replaceOlderFiles = replaceOlderFiles;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    m_startSeconds = now.tv_sec;
    m_startNanoseconds = now.tv_nsec;
    m_folderLock = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderLock < 0)
        return; // no lock to be had: files of earlier exports are replaced, as without one
    // Alone when no other job holds the folder. The exclusive lock becomes the
    // shared one without a moment between (a downgrade never waits), so
    // another job starting now either sees this one or is seen by it.
    m_alone = ::flock(m_folderLock, LOCK_EX | LOCK_NB) == 0;
    while (::flock(m_folderLock, LOCK_SH) != 0 && errno == EINTR) {
    }
}

bool ExportPathClaims::takenByAnotherExport(const QByteArray &path) const
{
    if (!m_alone && !m_replaceOlderFiles)
        return true;
    struct stat info {
    };
    if (::lstat(path.constData(), &info) != 0)
        return true;
    // Made or changed since this job began: by an export that started later.
    return info.st_mtim.tv_sec > m_startSeconds
           || (info.st_mtim.tv_sec == m_startSeconds && info.st_mtim.tv_nsec >= m_startNanoseconds);
}

QString ExportPathClaims::claimOnDisk(const QString &path)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_names.constFind(path);
    if (found == m_names.cend())
        return path;
    const PlannedName &name = *found;
    for (int copy = name.copy; copy < name.copy + kMostCopiesOnDisk; ++copy) {
        const QString candidate = copy == name.copy ? path : planned(name, copy);
        if (copy != name.copy && m_claimed.contains(claimKey(candidate)))
            continue;
        const QByteArray bytes = QFile::encodeName(candidate);
        const int fd = ::open(bytes.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            struct stat info {
            };
            if (::fstat(fd, &info) == 0)
                m_placeholders.insert(candidate, {info.st_dev, info.st_ino});
            ::close(fd);
        } else if (errno != EEXIST) {
            return path;
        } else if (takenByAnotherExport(bytes) || m_existing == ExistingFiles::KeepBoth) {
            continue;
        } else if (m_existing == ExistingFiles::Skip) {
            return QString();
        }
        m_claimed.insert(claimKey(candidate));
        return candidate;
    }
    return path;
}

void ExportPathClaims::release(const QString &path)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_placeholders.constFind(path);
    if (found == m_placeholders.cend())
        return;
    const QByteArray bytes = QFile::encodeName(path);
    struct stat info {
    };
    // Still the empty file this job made: no writer has renamed a file over it.
    if (::lstat(bytes.constData(), &info) == 0 && info.st_dev == found->device && info.st_ino == found->inode
        && info.st_size == 0)
        ::unlink(bytes.constData());
    m_placeholders.erase(found);
}

void ExportPathClaims::endOnDisk()
{
    QStringList left;
    {
        std::lock_guard lock(m_mutex);
        left = m_placeholders.keys();
    }
    for (const QString &path : left)
        release(path);
    std::lock_guard lock(m_mutex);
    if (m_folderLock >= 0) {
        ::close(m_folderLock); // lets go of the lock
        m_folderLock = -1;
    }
}

} // namespace zembrix
