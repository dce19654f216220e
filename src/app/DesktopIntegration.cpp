#include "DesktopIntegration.h"

#include "widgets/DrawnIcons.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QUrl>

namespace zembrix {

namespace DesktopIntegration {

QString helpPagePath()
{
    const QString binDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        QDir(binDir).filePath(QStringLiteral("../share/zembrix/help/main.html")),
#ifdef ZEMBRIX_SOURCE_DIR
        QStringLiteral(ZEMBRIX_SOURCE_DIR "/data/help/main.html"),
#endif
    };
    for (const QString &candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    return {};
}

bool openHelp()
{
    const QString page = helpPagePath();
    if (page.isEmpty()) {
        qWarning("The help page main.html is not installed.");
        return false;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

QIcon applicationIcon()
{
    QIcon icon;
    for (int edge : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(DrawnIcons::applicationImage(edge)));
    return icon;
}

} // namespace DesktopIntegration

} // namespace zembrix
