#include "ExportPathClaims.h"

#include "ExportFileName.h"
#include "ExportFormat.h"

#include <QDir>
#include <QFileInfo>

QString ExportPathClaims::claim(const QString &folder, const QString &name, int formatIndex)
{
    if (!ExportFormat::isValidIndex(formatIndex))
        return {};
    return claimWithExtension(folder, name, ExportFormat::extension(formatIndex));
}

QString ExportPathClaims::claimWithExtension(const QString &folder, const QString &name, const QString &extension)
{
    QString base = QDir::cleanPath(folder);
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    base += exportFileName(name);
    const QString dotExtension = QLatin1Char('.') + extension;
    for (int copy = 1;; ++copy) {
        const QString path = copy == 1 ? base + dotExtension
                                       : QStringLiteral("%1 (%2)%3").arg(base, QString::number(copy), dotExtension);
        // "a/./b.png" and "a/b.png" are one file; compare cleaned absolute paths.
        const QString key = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        if (!m_claimed.contains(key)) {
            m_claimed.insert(key);
            return path;
        }
    }
}

