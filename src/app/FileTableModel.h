#pragma once

#include "ThumbnailSequence.h"

#include <QAbstractTableModel>

namespace zembrix {

// The PDF file list, row for row: column 0 the check box, 1 the file name, 2
// the image count ("-" for a row without a record). The model owns the list;
// the controller changes it through append, removeRecords and the refresh
// calls. A click on a check box is not applied here: it is handed on as
// checkToggleRequested, and the controller decides. Main thread.
class FileTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { CheckColumn = 0, NameColumn = 1, CountColumn = 2, ColumnCount = 3 };

    explicit FileTableModel(QObject *parent = nullptr);

    const FileRecordList &files() const { return m_files; }
    std::shared_ptr<PDFFileStruct> fileAt(int row) const;

    void append(const std::shared_ptr<PDFFileStruct> &file);
    // At `row` (clamped to the list).
    void insert(int row, const std::shared_ptr<PDFFileStruct> &file);
    // Removes the rows given (any order, duplicates allowed).
    void removeRecords(QList<int> rows);
    // The counts and read marks, or the check boxes, may have changed.
    void refreshCounts();
    void refreshChecks();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void checkToggleRequested(int row);

private:
    FileRecordList m_files;
};

} // namespace zembrix
