#include "ArgumentPaths.h"
#include "CommandLine.h"
#include "DiagnosticLines.h"
#include "FileListInput.h"
#include "GuiMain.h"
#include "HeadlessEvents.h"
#include "HeadlessModes.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <malloc.h>
#include <optional>

using namespace zembrix;

namespace {

// True when a window can be shown: a platform plugin was chosen explicitly
// (offscreen, for instance), or an X11 or Wayland display is there.
bool displayAvailable()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << argumentText(QByteArray(argv[i]));
    CommandLine cl = parseCommandLine(arguments);
    if (!cl.filesFrom.isEmpty()) {
        QString error;
        const std::optional<QStringList> listed = readFileList(cl.filesFrom, cl.nullSeparated, &error);
        if (!listed) {
            QTextStream(stderr) << "zembrix: " << QString::fromUtf8(argumentBytes(cl.filesFrom))
                                << ": the file list cannot be read (" << error << ")\n";
            return 1;
        }
        cl.files << *listed;
    }
    if (cl.mode == CommandLine::Mode::Window || cl.mode == CommandLine::Mode::UsageError)
        cl.paths = cl.files;
    else
        resolveArgumentPaths(cl);

    std::optional<DiagnosticLines> diagnostics;
    if (cl.mode == CommandLine::Mode::Info || cl.mode == CommandLine::Mode::List
        || cl.mode == CommandLine::Mode::Extract)
        diagnostics.emplace();
    QTextStream out(stdout);
    QTextStream err(stderr);
    switch (cl.mode) {
    case CommandLine::Mode::UsageError: err << usageErrorText(cl.error); return 2;
    case CommandLine::Mode::Help:
        out << "Zembrix extracts the raster images of PDF files.\n\n" << usageText();
        return 0;
    case CommandLine::Mode::Version: out << "zembrix " << ZEMBRIX_VERSION << "\n"; return 0;
    case CommandLine::Mode::Info: {
        QCoreApplication app(argc, argv);
        return runInfo(cl, out, err);
    }
    case CommandLine::Mode::List: {
        QCoreApplication app(argc, argv);
        HeadlessEvents events(err);
        return runList(cl, events.context(), out, err);
    }
    case CommandLine::Mode::Extract: {
        // Freed memory is kept up to 32 MB a heap rather than given back
        // after every image (thousands of small ones give thousands of
        // system calls otherwise).
        mallopt(M_TRIM_THRESHOLD, 32 << 20);
        QCoreApplication app(argc, argv);
        HeadlessEvents events(err);
        return runExtract(cl, events.context(), out, err);
    }
    case CommandLine::Mode::Window: break;
    }
    if (!displayAvailable()) {
        err << "zembrix: no display found (DISPLAY and WAYLAND_DISPLAY are not set), so the window cannot open.\n"
               "The headless modes work without a display:\n\n"
            << usageText();
        return 1;
    }
    return runWindow(argc, argv, cl);
}
