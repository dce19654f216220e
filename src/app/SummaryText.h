#pragma once

#include <QString>
#include <QtGlobal>

namespace zembrix {

// The summary of files and images shown in the status area.
struct SummaryCounts {
    qint64 files = 0;              // files in the list
    qint64 selectedRows = 0;       // rows selected in the file table
    qint64 images = 0;             // images of the checked files
    qint64 selectedThumbnails = 0; // thumbnails selected in the browser
};

// Header, the files and images lines, the rule of 56 hyphens, then `detail`
// (the information text of the selected file or image, or nothing).
QString summaryText(const SummaryCounts &counts, const QString &detail);

// The detail for one selected image: "Name: <name>", a blank line, its text.
QString imageDetail(const QString &name, const QString &info);

} // namespace zembrix
