#include "FileIntake.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace FileIntake {

bool isPdfFileName(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
}

QStringList pdfPathsFromMime(const QMimeData *mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl &url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (isPdfFileName(path))
            paths << path;
    }
    return paths;
}

QString openDialogFilter()
{
    return QStringLiteral("PDF files (*.pdf *.PDF *.Pdf)");
}

QString parsingTitle()
{
    return QStringLiteral("Parsing PDF file(s)...");
}

} // namespace FileIntake
