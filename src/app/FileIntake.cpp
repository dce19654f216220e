#include "FileIntake.h"
#include "FolderIntake.h"
#include "ImageDragOut.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace zembrix {

namespace FileIntake {

bool isPdfFileName(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
}

QStringList pdfPathsFromMime(const QMimeData *mime, const Alert &alert)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl &url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (QFileInfo(path).isDir()) {
            const FolderIntake::Found found = FolderIntake::pdfFilesIn(path);
            if (found.limitReached && alert)
                alert(QStringLiteral("Add Folder"), FolderIntake::limitText(path, found));
            paths << found.paths;
        } else if (isPdfFileName(path)) {
            paths << path;
        }
    }
    return paths;
}

bool offersPdfFiles(const QMimeData *mime)
{
    // Thumbnails dragged out pass over the window: asking for their files
    // would wait for them to be written, and they are no PDF files.
    if (!mime || qobject_cast<const ImageDragOut *>(mime) || !mime->hasUrls())
        return false;
    for (const QUrl &url : mime->urls())
        if (url.isLocalFile() && (isPdfFileName(url.toLocalFile()) || QFileInfo(url.toLocalFile()).isDir()))
            return true;
    return false;
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
    if (!offersPdfFiles(event->mimeData()) || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

QStringList takePdfDrop(QDropEvent *event, const Alert &alert)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return pdfPathsFromMime(event->mimeData(), alert);
}

} // namespace FileIntake

} // namespace zembrix
