#pragma once

#include "export/ExportJobResult.h"

#include <QString>

namespace zembrix {

// The line the status area shows when an export ends: "12 images written to
// FOLDER", what was cancelled, skipped or failed. A failure names its file,
// the folder and the system's reason ("Permission denied"); the details hold
// every failure, one a line.
struct ExportOutcome {
    QString text;
    QString details;
    bool wroteFiles = false; // the folder is worth showing
};

ExportOutcome exportOutcome(const ExportJobResult &result, const QString &folder);

} // namespace zembrix
