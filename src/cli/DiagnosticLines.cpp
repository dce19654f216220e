#include "DiagnosticLines.h"

#include "raster/QuietImageReading.h"

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

namespace zembrix {

namespace {

constexpr char kPrefix[] = "zembrix: ";
constexpr size_t kPrefixLength = sizeof(kPrefix) - 1;
constexpr size_t kLongestLine = 64 * 1024; // a longer one is passed on in parts

void writeDiagnostic(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (QuietImageReading::active())
        return;
    QByteArray lines;
    for (const QString &line : message.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines += kPrefix + line.toLocal8Bit() + '\n';
    // One write per message, so that lines of several threads do not mix.
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stderr);
    std::fflush(stderr);
}

void writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // standard error is gone: the lines are dropped
        data += n;
        size -= size_t(n);
    }
}

void passLine(int out, const char *line, size_t size)
{
    if (size < kPrefixLength || std::memcmp(line, kPrefix, kPrefixLength) != 0)
        writeAll(out, kPrefix, kPrefixLength);
    writeAll(out, line, size);
}

// The child: reads lines from `in` until every writer has closed it and
// passes them to `out` with the prefix. Never returns.
[[noreturn]] void runPrefixer(int in, int out)
{
    // It ends when the program's standard error closes, never by a signal
    // meant for the program, so the program's last lines still go out and
    // its writes never meet a closed pipe.
    for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(sig, SIG_IGN);
    static char line[kLongestLine];
    size_t used = 0;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(in, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
            line[used++] = chunk[i];
            if (chunk[i] == '\n' || used == sizeof line) {
                passLine(out, line, used);
                used = 0;
            }
        }
    }
    if (used > 0) {
        line[used++] = '\n';
        passLine(out, line, used);
    }
    ::_exit(0);
}

} // namespace

DiagnosticLines::DiagnosticLines()
{
    qInstallMessageHandler(writeDiagnostic);
    std::fflush(stderr);
    // On a terminal the user reads along, and a progress line rewritten in
    // place needs the terminal itself: only Qt's messages are prefixed then.
    if (::isatty(STDERR_FILENO) == 1)
        return;
    int ends[2];
    if (::pipe(ends) != 0)
        return;
    const int saved = ::dup(STDERR_FILENO);
    const pid_t child = saved < 0 ? -1 : ::fork();
    if (child == 0) {
        // Only the pipe's reading end and the real standard error stay open:
        // the child must not hold the program's standard output, nor the
        // pipe's writing end, which would never let it see the end.
        ::dup2(ends[0], STDIN_FILENO);
        ::dup2(saved, STDOUT_FILENO);
        if (::close_range(STDERR_FILENO, ~0U, 0) != 0)
            for (int fd = STDERR_FILENO; fd < 1024; ++fd)
                ::close(fd);
        runPrefixer(STDIN_FILENO, STDOUT_FILENO);
    }
    if (child > 0 && ::dup2(ends[1], STDERR_FILENO) >= 0) {
        m_savedError = saved;
        m_prefixer = child;
    }
    ::close(ends[0]);
    ::close(ends[1]);
    if (m_prefixer < 0) {
        if (child > 0)
            ::waitpid(child, nullptr, 0);
        if (saved >= 0)
            ::close(saved);
    }
}

DiagnosticLines::~DiagnosticLines()
{
    if (m_prefixer < 0)
        return;
    std::fflush(stderr);
    ::dup2(m_savedError, STDERR_FILENO); // closes the pipe: the child drains it and ends
    ::close(m_savedError);
    while (::waitpid(m_prefixer, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace zembrix
