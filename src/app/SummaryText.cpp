#include "SummaryText.h"

namespace zembrix {

QString summaryText(const SummaryCounts &counts, const QString &detail)
{
    QString text = QStringLiteral("\t\t\t\tAll\t\t  Selected\t\n");
    text += QStringLiteral("Pdf Files:\t\t\t%1\t\t\t%2\n").arg(counts.files).arg(counts.selectedRows);
    // The image count is written as a 32-bit number; from four digits on it
    // takes one tab less so the selected count stays in its column.
    const qint32 images = qint32(counts.images);
    if (counts.images < 1000)
        text += QStringLiteral("Preview Images:\t%1\t\t\t%2\n").arg(images).arg(counts.selectedThumbnails);
    else
        text += QStringLiteral("Preview Images:\t%1\t\t%2\n").arg(images).arg(counts.selectedThumbnails);
    text += QString(56, QLatin1Char('-')) + QLatin1Char('\n');
    text += detail;
    return text;
}

QString imageDetail(const QString &name, const QString &info)
{
    return QStringLiteral("Name: %1\n\n").arg(name) + info;
}

} // namespace zembrix
