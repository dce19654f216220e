#include "ExportPathClaims.h"

#include "ExportFileName.h"
#include "ExportFormat.h"

#include <QDir>
#include <QFileInfo>

QString ExportPathClaims::claim(const QString &folder, const QString &name, int formatIndex)
{
    if (!ExportFormat::isValidIndex(formatIndex))
        return {};
    if (formatIndex == ExportFormat::Original)
        return claimStem(folder, name, ExportFormat::originalExtensions());
    return claimWithExtension(folder, name, ExportFormat::extension(formatIndex));
}

namespace {

QString basePath(const QString &folder, const QString &name)
{
    QString base = QDir::cleanPath(folder);
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + exportFileName(name);
}

QString claimKey(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

QString ExportPathClaims::claimStem(const QString &folder, const QString &name, const QStringList &extensions)
{
    const QString base = basePath(folder, name);
    for (int copy = 1;; ++copy) {
        const QString stem = copy == 1 ? base : QStringLiteral("%1 (%2)").arg(base, QString::number(copy));
        bool free = true;
        for (const QString &extension : extensions)
            free = free && !m_claimed.contains(claimKey(stem + QLatin1Char('.') + extension));
        if (!free)
            continue;
        for (const QString &extension : extensions)
            m_claimed.insert(claimKey(stem + QLatin1Char('.') + extension));
        return stem;
    }
}

QString ExportPathClaims::claimWithExtension(const QString &folder, const QString &name, const QString &extension)
{
    const QString base = basePath(folder, name);
    const QString dotExtension = QLatin1Char('.') + extension;
    for (int copy = 1;; ++copy) {
        const QString path = copy == 1 ? base + dotExtension
                                       : QStringLiteral("%1 (%2)%3").arg(base, QString::number(copy), dotExtension);
        // "a/./b.png" and "a/b.png" are one file; compare cleaned absolute paths.
        const QString key = claimKey(path);
        if (!m_claimed.contains(key)) {
            m_claimed.insert(key);
            return path;
        }
    }
}

