#include "ExportFile.h"

#include <QSaveFile>

WriteResult writeExportFile(const QString &path, const QByteArray &bytes)
{
    const auto destinationFailure = [&](const QString &reason) {
        return WriteResult::failed(QString::fromLatin1(WriteResult::kDestinationDomain),
                                   WriteResult::kDestinationCode,
                                   QStringLiteral("Couldn't create file %1: %2").arg(path, reason));
    };

    if (path.isEmpty())
        return destinationFailure(QStringLiteral("empty path"));

    QSaveFile file(path);
    // Writing into a read-only folder must fail rather than fall back to
    // writing the target in place.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return destinationFailure(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return destinationFailure(reason);
    }
    if (!file.commit())
        return destinationFailure(file.errorString());
    return WriteResult::written();
}

