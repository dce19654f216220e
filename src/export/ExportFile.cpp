#include "ExportFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes all bytes to an open descriptor; false with errno set on failure.
bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
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
int createTemporaryBeside(const QByteArray &target, QByteArray *temporaryPath)
{
    // The umask applies to the mode, as for any file the user makes.
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporaryPath = target + ".zembrix-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt)
            + '-' + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        const int fd = ::open(temporaryPath->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

WriteResult writeExportFile(const QString &path, const QByteArray &bytes)
{
    const auto destinationFailure = [&](const QString &reason) {
        return WriteResult::failed(QString::fromLatin1(WriteResult::kDestinationDomain),
                                   WriteResult::kDestinationCode,
                                   QStringLiteral("Couldn't create file %1: %2").arg(path, reason));
    };
    const auto systemFailure = [&] { return destinationFailure(QString::fromLocal8Bit(std::strerror(errno))); };

    if (path.isEmpty())
        return destinationFailure(QStringLiteral("empty path"));

    const QByteArray target = QFile::encodeName(path);

    // A new file is created in place: O_EXCL makes sure nothing was there,
    // not even a link. A file that fails half-written is removed again.
    const int direct = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (direct >= 0) {
        if (!writeAll(direct, bytes) || ::close(direct) != 0) {
            const int saved = errno;
            ::unlink(target.constData());
            errno = saved;
            return systemFailure();
        }
        return WriteResult::written();
    }
    if (errno != EEXIST)
        return systemFailure();

    // Something is there: the bytes go to a temporary file that replaces it.
    QByteArray temporary;
    const int fd = createTemporaryBeside(target, &temporary);
    if (fd < 0)
        return systemFailure();
    if (!writeAll(fd, bytes) || ::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temporary.constData());
        errno = saved;
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
