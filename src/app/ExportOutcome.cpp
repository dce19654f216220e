#include "ExportOutcome.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "images/PDFImageStruct.h"

namespace zembrix {

namespace {

QString images(int count)
{
    return count == 1 ? QStringLiteral("1 image") : QStringLiteral("%1 images").arg(count);
}

// "NAME in FOLDER: REASON" for one failed image.
QString failureLine(const ExportedImage &image, const QString &folder)
{
    const QString name = !image.path.isEmpty() ? QFileInfo(image.path).fileName()
                         : image.record        ? image.record->imagename()
                                               : QStringLiteral("image %1").arg(image.position + 1);
    QString reason = image.result.message();
    // The writers say "Couldn't create file PATH: REASON"; the reason is what is new.
    const QString prefix = QStringLiteral("Couldn't create file %1: ").arg(image.path);
    if (!image.path.isEmpty() && reason.startsWith(prefix))
        reason = reason.mid(prefix.size());
    return QStringLiteral("%1 in %2: %3").arg(name, QDir::toNativeSeparators(folder), reason);
}

} // namespace

ExportOutcome exportOutcome(const ExportJobResult &result, const QString &folder)
{
    ExportOutcome outcome;
    const QString where = QDir::toNativeSeparators(folder);
    if (result.folderMissing) {
        outcome.text = QStringLiteral("Nothing written: there is no folder %1").arg(where);
        return outcome;
    }
    QStringList failures;
    for (const ExportedImage &image : result.images)
        if (image.result.isFailure())
            failures << failureLine(image, folder);
    outcome.wroteFiles = result.filesWritten > 0;
    outcome.text = result.cancelled ? QStringLiteral("Export cancelled: %1 of %2 written to %3")
                                          .arg(result.filesWritten)
                                          .arg(images(result.total), where)
                                    : QStringLiteral("%1 written to %2").arg(images(result.filesWritten), where);
    if (result.duplicates > 0)
        outcome.text += QStringLiteral("; %1 skipped (equal to earlier ones)").arg(images(result.duplicates));
    if (result.skipped > 0)
        outcome.text += QStringLiteral("; %1 skipped (files already there)").arg(images(result.skipped));
    if (!failures.isEmpty()) {
        outcome.text += QStringLiteral("; %1 not written: %2").arg(images(int(failures.size())), failures.first());
        if (failures.size() > 1)
            outcome.text += QStringLiteral(" (and %1 more)").arg(failures.size() - 1);
        outcome.details = failures.join(QLatin1Char('\n'));
    }
    return outcome;
}

} // namespace zembrix
