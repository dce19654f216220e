#include "ExportFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zembrix {

namespace {

constexpr qsizetype kChunk = qsizetype(1) << 20; // between two looks at `cancelled`

// Writes all bytes to an open descriptor; false with errno set on failure
// (ECANCELED when `cancelled` answered true between two chunks).
bool writeAll(int fd, const QByteArray &bytes, const std::function<bool()> &cancelled)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        if (cancelled && cancelled()) {
            errno = ECANCELED;
            return false;
        }
        const ssize_t n = ::write(fd, p, size_t(std::min(left, kChunk)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// A new file beside `target` that did not exist before and is not reached through a link
// (O_CREAT | O_EXCL never follows one). Gives its descriptor and name, or -1 with errno set.
// Its name is short and hidden (".zembrix-PID-N-HEX" in the target's folder), so that a
// target name of any length up to the limit has a temporary name too.
int createTemporaryBeside(const QByteArray &target, QByteArray *temporaryPath)
{
    const QByteArray folder = target.left(target.lastIndexOf('/') + 1);
    // The umask applies to the mode, as for any file the user makes.
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporaryPath = folder + ".zembrix-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt) + '-'
                         + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        const int fd = ::open(temporaryPath->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

WriteResult writeExportFile(const QString &path, const QByteArray &bytes, const std::function<bool()> &cancelled)
{
    const auto destinationFailure = [&](const QString &reason) {
        return WriteResult::failed(QString::fromLatin1(WriteResult::kDestinationDomain), WriteResult::kDestinationCode,
                                   QStringLiteral("Couldn't create file %1: %2").arg(path, reason));
    };
    const auto systemFailure = [&] { return destinationFailure(QString::fromLocal8Bit(std::strerror(errno))); };

    if (path.isEmpty())
        return destinationFailure(QStringLiteral("empty path"));

    const QByteArray target = QFile::encodeName(path);

    // The bytes go to a temporary file that is renamed into place once complete, so the
    // target name never holds a half-written file, not even after a crash mid-write.
    QByteArray temporary;
    const int fd = createTemporaryBeside(target, &temporary);
    if (fd < 0)
        return systemFailure();
    const bool complete = writeAll(fd, bytes, cancelled);
    const int saved = errno;
    const bool closed = ::close(fd) == 0;
    if (!complete || !closed || (cancelled && cancelled())) {
        const int reason = complete ? errno : saved;
        ::unlink(temporary.constData());
        if (cancelled && cancelled())
            return WriteResult::nothingWritten(QStringLiteral("cancelled"));
        errno = reason;
        return systemFailure();
    }
    // rename() replaces the directory entry itself: a symbolic link at the target is replaced,
    // never followed, and a folder at the target makes it fail.
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int saved = errno;
        ::unlink(temporary.constData());
        errno = saved;
        return systemFailure();
    }
    return WriteResult::written();
}

} // namespace zembrix
