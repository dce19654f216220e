#include "FileListInput.h"

#include "ArgumentPaths.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace zembrix {

std::optional<QStringList> readFileList(const QString &argument, bool nullSeparated, QString *error)
{
    const bool standardInput = argument == QLatin1String("-");
    const int fd = standardInput ? STDIN_FILENO : ::open(argumentBytes(argument).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    QByteArray bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        break;
    }
    if (!standardInput)
        ::close(fd);
    if (!error->isEmpty())
        return std::nullopt;
    QStringList files;
    for (const QByteArray &entry : bytes.split(nullSeparated ? '\0' : '\n'))
        if (!entry.isEmpty())
            files << argumentText(entry);
    return files;
}

} // namespace zembrix
