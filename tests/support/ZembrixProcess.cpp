#include "ZembrixProcess.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// posix_spawn and wait4 rather than QProcess: wait4 gives the child's own peak resident size.
ProcessResult runProcess(const QString &program, const QStringList &args, int timeoutMs,
                         const QProcessEnvironment &env)
{
    ProcessResult r;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return r;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return r;
    }

    std::vector<QByteArray> argBytes{QFile::encodeName(program)};
    for (const QString &a : args)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> envBytes;
    for (const QString &e : env.toStringList())
        envBytes.push_back(e.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &e : envBytes)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (spawned != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return r;
    }

    QByteArray out;
    QByteArray err;
    QElapsedTimer clock;
    clock.start();
    bool killed = false;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 && !killed) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
        const int ready = ::poll(fds, 2, killed ? 1000 : int(std::min<qint64>(left, 1000)));
        if (ready < 0 && errno != EINTR)
            break;
        for (pollfd &fd : fds) {
            if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            const ssize_t n = ::read(fd.fd, buffer, sizeof buffer);
            if (n > 0) {
                (fd.fd == outPipe[0] ? out : err).append(buffer, n);
            } else if (n == 0 || errno != EINTR) {
                ::close(fd.fd);
                fd.fd = -1;
                --open;
            }
        }
    }
    for (pollfd &fd : fds)
        if (fd.fd >= 0)
            ::close(fd.fd);

    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (killed)
        r.status = -2;
    else
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peakRssKiB = killed ? 0 : usage.ru_maxrss;
    r.out = QString::fromUtf8(out);
    r.err = QString::fromUtf8(err);
    return r;
}
