#include "GuiMain.h"

#include "Controller.h"
#include "DarkStyle.h"
#include "DesktopIntegration.h"
#include "FileIntake.h"
#include "MainWindow.h"
#include "Preferences.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextStream>

#include <memory>

namespace zembrix {

namespace {

// The command line's files, as the open dialog would give them: existing
// PDF files, as absolute paths. The others are said on standard error.
QStringList commandLineFiles(const QStringList &files)
{
    QTextStream err(stderr);
    QStringList paths;
    for (const QString &file : files) {
        const QFileInfo info(file);
        if (!info.isFile())
            err << "zembrix: " << file << ": no such file\n";
        else if (!FileIntake::isPdfFileName(file))
            err << "zembrix: " << file << ": not a PDF file (the name does not end in .pdf)\n";
        else
            paths << info.absoluteFilePath();
    }
    err.flush();
    return paths;
}

} // namespace

int runWindow(int argc, char *argv[], const CommandLine &commandLine)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zembrix"));
    QApplication::setApplicationName(QStringLiteral("Zembrix"));
    QApplication::setApplicationVersion(QStringLiteral(ZEMBRIX_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("zembrix"));
    QApplication::setWindowIcon(DesktopIntegration::applicationIcon());
    applyDarkStyle(app);

    // The controller outlives the window, which shows its models.
    auto controller = std::make_unique<Controller>();
    Preferences preferences;
    int status = 0;
    {
        MainWindow window(controller.get());
        controller->awakeFromNib(preferences);
        window.restoreFrame(preferences.windowFrame());
        window.show();
        controller->addPdfFiles(commandLineFiles(commandLine.files));
        QObject::connect(&app, &QCoreApplication::aboutToQuit, [&] {
            controller->applicationWillTerminate(preferences);
            preferences.setWindowFrame(window.saveGeometry());
        });
        status = app.exec();
        controller->setSpinView(nullptr);
    }
    controller.reset();
    return status;
}

} // namespace zembrix
