#include "FileIntake.h"

#include <QDragEnterEvent>
#include <QDropEvent>
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

bool acceptPdfDrag(QDragEnterEvent *event)
{
    if (pdfPathsFromMime(event->mimeData()).isEmpty() || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

QStringList takePdfDrop(QDropEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return pdfPathsFromMime(event->mimeData());
}

} // namespace FileIntake
