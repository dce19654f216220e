#pragma once

#include "images/ControllerInterface.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace imagestest {

// A controller that records what the core asks of it and keeps the undo steps on a stack, so a
// test can undo. Single-threaded use only.
class RecordingController : public ControllerInterface
{
public:
    void setStatusText(const QString &text) override { statusTexts.append(text); }
    void updateIKDatasource() override { ++datasourceUpdates; }
    void updateFileList() override { ++fileListUpdates; }
    void registerUndo(std::function<void()> undo) override { undoSteps.push_back(std::move(undo)); }
    void showAlert(const QString &message, const QString &text) override { alerts.append(message + QLatin1Char('|') + text); }

    // Pops the newest undo step and runs it (a step it registers in turn, the redo, lands on the
    // stack). False when the stack is empty.
    bool undo()
    {
        if (undoSteps.empty())
            return false;
        std::function<void()> step = std::move(undoSteps.back());
        undoSteps.pop_back();
        step();
        return true;
    }

    QStringList statusTexts, alerts;
    int datasourceUpdates = 0;
    int fileListUpdates = 0;
    std::vector<std::function<void()>> undoSteps;
};

// Installs a controller as the main controller for its lifetime.
struct MainControllerScope {
    explicit MainControllerScope(ControllerInterface *controller) { setMainController(controller); }
    ~MainControllerScope() { setMainController(nullptr); }
    MainControllerScope(const MainControllerScope &) = delete;
    MainControllerScope &operator=(const MainControllerScope &) = delete;
};

} // namespace imagestest
