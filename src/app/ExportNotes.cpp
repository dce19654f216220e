#include "ExportNotes.h"

#include "images/PDFImageStruct.h"

#include <QStringList>

namespace zembrix {

QString exportNotesText(const ExportJobResult &result, int maxLines)
{
    QStringList lines;
    int more = 0;
    for (const ExportedImage &image : result.images) {
        if (image.note.isEmpty())
            continue;
        if (lines.size() >= maxLines) {
            ++more;
            continue;
        }
        const QString name = image.record ? image.record->imagename() : QStringLiteral("An image");
        lines << QStringLiteral("%1: %2").arg(name, image.note);
    }
    if (more > 0)
        lines << (more == 1 ? QStringLiteral("and 1 more image") : QStringLiteral("and %1 more images").arg(more));
    return lines.join(QLatin1Char('\n'));
}

} // namespace zembrix
