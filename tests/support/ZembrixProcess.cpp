#include "ZembrixProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

std::vector<char *> pointers(std::vector<QByteArray> &strings)
{
    std::vector<char *> out;
    for (QByteArray &s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

// posix_spawn and wait4 rather than QProcess: wait4 gives the child's own peak resident size.
// The output goes to temporary files, so a child that writes much never blocks on a pipe.
ProcessResult runProcess(const QString &program, const QStringList &args, int timeoutMs,
                         const QProcessEnvironment &env)
{
    ProcessResult r;
    QTemporaryFile out, err;
    if (!out.open() || !err.open())
        return r;
    std::vector<QByteArray> argBytes{QFile::encodeName(program)}, envBytes;
    for (const QString &a : args)
        argBytes.push_back(a.toLocal8Bit());
    for (const QString &e : env.toStringList())
        envBytes.push_back(e.toLocal8Bit());
    std::vector<char *> argv = pointers(argBytes), envp = pointers(envBytes);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.handle(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.handle(), 2);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return r;

    QElapsedTimer clock;
    clock.start();
    bool killed = false;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(pid, &status, killed ? 0 : WNOHANG, &usage);
        if (done == pid || (done < 0 && errno != EINTR))
            break;
        if (clock.elapsed() > timeoutMs) {
            ::kill(pid, SIGKILL);
            killed = true;
        } else {
            QThread::msleep(5);
        }
    }
    r.status = killed ? -2 : WIFEXITED(status) ? WEXITSTATUS(status)
                                               : -1;
    r.peakRssKiB = killed ? 0 : usage.ru_maxrss;
    out.seek(0);
    err.seek(0);
    r.out = QString::fromUtf8(out.readAll());
    r.err = QString::fromUtf8(err.readAll());
    return r;
}
