#pragma once

#include "PdfDropArea.h"

#include <QTableView>

namespace zembrix {

// The PDF file table. It is also a drop area: PDF files dropped on it are
// announced by pdfFilesDropped, and a highlight frame shows while such a
// drag is over it. Main thread.
class FileTableView : public QTableView
{
    Q_OBJECT
public:
    explicit FileTableView(QWidget *parent = nullptr);

    // Column widths once the model is set.
    void setUpColumns();

signals:
    void pdfFilesDropped(const QStringList &paths);
    // A dropped folder held more files than are taken (FileIntake).
    void alertRequested(const QString &message, const QString &text);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    PdfDropArea m_drop{this};
};

} // namespace zembrix
