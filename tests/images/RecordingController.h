#pragma once

#include "images/ControllerInterface.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace imagestest {

// A controller that counts every call and keeps the undo steps on a stack,
// so a test can undo. Single-threaded use only.
class RecordingController : public ControllerInterface
{
public:
    void setStatusText(const QString &text) override { statusTexts.append(text); }
    void startSpinAnimation() override { ++spinStarts; }
    void stopSpinAnimation() override { ++spinStops; }
    void setToolsButtonState() override { ++toolsButtonUpdates; }
    void updateIKDatasource() override { ++datasourceUpdates; }
    void updateFileList() override { ++fileListUpdates; }
    void registerUndo(std::function<void()> undo) override { undoSteps.push_back(std::move(undo)); }
    void showAlert(const QString &message, const QString &text) override
    {
        alerts.append(message + QLatin1Char('|') + text);
    }

    // Pops the newest undo step and runs it (a step it registers in turn, the
    // redo, lands on the stack). False when the stack is empty.
    bool undo();

    QStringList statusTexts;
    int spinStarts = 0;
    int spinStops = 0;
    int toolsButtonUpdates = 0;
    int datasourceUpdates = 0;
    int fileListUpdates = 0;
    std::vector<std::function<void()>> undoSteps;
    QStringList alerts;
};

// Installs a controller as the main controller for its lifetime.
class MainControllerScope
{
public:
    explicit MainControllerScope(ControllerInterface *controller) { setMainController(controller); }
    ~MainControllerScope() { setMainController(nullptr); }
    MainControllerScope(const MainControllerScope &) = delete;
    MainControllerScope &operator=(const MainControllerScope &) = delete;
};

} // namespace imagestest
