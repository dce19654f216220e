#include "images/ControllerInterface.h"

ControllerInterface::~ControllerInterface() = default;

void ControllerInterface::setStatusText(const QString &) {}
void ControllerInterface::startSpinAnimation() {}
void ControllerInterface::stopSpinAnimation() {}
void ControllerInterface::setToolsButtonState() {}
void ControllerInterface::updateIKDatasource() {}
void ControllerInterface::updateFileList() {}
void ControllerInterface::registerUndo(std::function<void()>) {}
void ControllerInterface::showAlert(const QString &, const QString &) {}
void ControllerInterface::showImageAlert(const QString &message, const QString &text)
{
    showAlert(message, text);
}
void ControllerInterface::logImageFailure(const QString &line)
{
    qWarning("%s", qPrintable(line));
}
void ControllerInterface::setSpinTitle(const QString &) {}
void ControllerInterface::exportProgress(int, int) {}
void ControllerInterface::fileReadEnded(std::shared_ptr<PDFFileStruct>) {}

namespace {

// Constant-initialised, so no start-up order question arises.
std::atomic<ControllerInterface *> g_mainController{nullptr};

// Never destroyed: detached parse threads may still ask for the controller
// while the process exits.
ControllerInterface *doNothingController()
{
    static ControllerInterface *const controller = new ControllerInterface;
    return controller;
}

} // namespace

ControllerInterface *mainController()
{
    ControllerInterface *controller = g_mainController.load(std::memory_order_acquire);
    return controller ? controller : doNothingController();
}

void setMainController(ControllerInterface *controller)
{
    g_mainController.store(controller, std::memory_order_release);
}
