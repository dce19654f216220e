#include "FileTableModel.h"

#include "pdf/PDFFileStruct.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>

namespace zembrix {

FileTableModel::FileTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

std::shared_ptr<PDFFileStruct> FileTableModel::fileAt(int row) const
{
    return row >= 0 && row < m_files.size() ? m_files[row] : nullptr;
}

void FileTableModel::append(const std::shared_ptr<PDFFileStruct> &file)
{
    const int row = int(m_files.size());
    beginInsertRows({}, row, row);
    m_files.append(file);
    endInsertRows();
}

void FileTableModel::insert(int row, const std::shared_ptr<PDFFileStruct> &file)
{
    row = std::clamp(row, 0, int(m_files.size()));
    beginInsertRows({}, row, row);
    m_files.insert(row, file);
    endInsertRows();
}

void FileTableModel::removeRecords(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the end, so the rows still to go keep their numbers.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        if (*it < 0 || *it >= m_files.size())
            continue;
        beginRemoveRows({}, *it, *it);
        m_files.removeAt(*it);
        endRemoveRows();
    }
}

void FileTableModel::refreshCounts()
{
    if (!m_files.isEmpty())
        emit dataChanged(index(0, NameColumn), index(int(m_files.size()) - 1, CountColumn));
}

void FileTableModel::refreshChecks()
{
    if (!m_files.isEmpty())
        emit dataChanged(index(0, CheckColumn), index(int(m_files.size()) - 1, CheckColumn), {Qt::CheckStateRole});
}

int FileTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_files.size());
}

int FileTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_files.size())
        return {};
    const std::shared_ptr<PDFFileStruct> &file = m_files[index.row()];
    switch (index.column()) {
    case CheckColumn:
        if (role == Qt::CheckStateRole)
            return file && file->IsSelected() ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::ToolTipRole)
            return file && file->isThreading() ? tr("Parsing\u2026") : tr("Show this file's images");
        return {};
    case NameColumn:
        if (role == Qt::DisplayRole)
            return file ? file->fileName() : QString();
        if (role == Qt::ToolTipRole) {
            if (!file)
                return QString();
            const QString problem = file->readStatus().text();
            return problem.isEmpty() ? file->filePath() : QStringLiteral("%1\n%2").arg(file->filePath(), problem);
        }
        if (role == Qt::DecorationRole && file && !file->isThreading()) {
            using State = PDFFileStruct::ReadStatus::State;
            const State state = file->readStatus().state;
            if (state != State::Fine)
                return QApplication::style()->standardIcon(state == State::Failed ? QStyle::SP_MessageBoxCritical
                                                                                  : QStyle::SP_MessageBoxWarning);
        }
        return {};
    case CountColumn:
        if (role == Qt::DisplayRole && file && !file->isThreading()
            && file->readStatus().state == PDFFileStruct::ReadStatus::State::Locked)
            return tr("locked");
        if (role == Qt::ToolTipRole && file)
            return file->readStatus().text();
        if (role == Qt::DisplayRole)
            return file ? QString::number(file->imageCount()) : QStringLiteral("-");
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default: return {};
    }
}

bool FileTableModel::setData(const QModelIndex &index, const QVariant &, int role)
{
    if (!index.isValid() || index.column() != CheckColumn || role != Qt::CheckStateRole)
        return false;
    emit checkToggleRequested(index.row());
    return false;
}

Qt::ItemFlags FileTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == CheckColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant FileTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case NameColumn: return tr("PDF File");
        case CountColumn: return tr("Images");
        default: return QString();
        }
    }
    if (role == Qt::TextAlignmentRole)
        return int(section == CountColumn ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

} // namespace zembrix
