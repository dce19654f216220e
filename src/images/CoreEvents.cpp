#include "images/CoreEvents.h"

#include <QtGlobal>

namespace zembrix {

CoreEvents::~CoreEvents() = default;

void CoreEvents::setStatusText(const QString &)
{
}
void CoreEvents::startSpinAnimation()
{
}
void CoreEvents::stopSpinAnimation()
{
}
void CoreEvents::setToolsButtonState()
{
}
void CoreEvents::updateIKDatasource()
{
}
void CoreEvents::updateFileList()
{
}
void CoreEvents::registerUndo(std::function<void()>)
{
}
void CoreEvents::showAlert(const QString &, const QString &)
{
}
void CoreEvents::showImageAlert(const QString &message, const QString &text)
{
    showAlert(message, text);
}
void CoreEvents::logImageFailure(const QString &line)
{
    qWarning("%s", qPrintable(line));
}
void CoreEvents::setSpinTitle(const QString &)
{
}
void CoreEvents::exportProgress(int, int)
{
}
void CoreEvents::fileReadEnded(std::shared_ptr<PDFFileStruct>)
{
}

} // namespace zembrix
