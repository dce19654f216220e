#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QDragEnterEvent;
class QDropEvent;
class QMimeData;

namespace zembrix {

// The rules every way of adding PDF files shares.
namespace FileIntake {

// A PDF by its name: the last extension, in any letter case, is "pdf".
bool isPdfFileName(const QString &path);

// The local files of a drag that pass isPdfFileName, in drag order, and the
// PDF files inside its folders (FolderIntake; a limit reached is said through
// `alert`: a message and its text).
using Alert = std::function<void(const QString &message, const QString &text)>;
QStringList pdfPathsFromMime(const QMimeData *mime, const Alert &alert);
// Whether a drag carries a PDF file or a folder, without looking inside.
bool offersPdfFiles(const QMimeData *mime);

// The views that take dropped PDF files: a drag that carries one is accepted
// as a copy (true), any other is ignored (false).
bool acceptPdfDrag(QDragEnterEvent *event);
// Accepts a drop as a copy and gives its PDF files (maybe none).
QStringList takePdfDrop(QDropEvent *event, const Alert &alert);

// The name filter of the open-files dialog.
QString openDialogFilter();

// The spinner title pushed before a batch of files is added.
QString parsingTitle(); // "Parsing PDF file(s)..."

} // namespace FileIntake

} // namespace zembrix
