#pragma once

// Runs the zembrix binary of the test program (ZEMBRIX_BINARY) and collects what it printed.
// A run past its time limit is killed and reported with status -2; a crash gives -1.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

struct ProcessResult {
    int status = -1;
    QString out;
    QString err;
    qint64 peakRssKiB = 0; // of the child, from wait4; 0 when it was killed
};

ProcessResult runProcess(const QString &program, const QStringList &args, int timeoutMs = 120000,
                         const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

#ifdef ZEMBRIX_BINARY
inline ProcessResult runZembrix(const QStringList &args, int timeoutMs = 120000,
                                const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    return runProcess(QStringLiteral(ZEMBRIX_BINARY), args, timeoutMs, env);
}
#endif
