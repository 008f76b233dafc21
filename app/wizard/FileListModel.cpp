#include "FileListModel.h"

#include <algorithm>

#include "FileNames.h"

TFileListModel::TFileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TFileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : FileListColumnCount; }

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= FileListColumnCount) return {};
    const TFileRow& row = Row(index.row());
    if (role == TrackCaptionRole) return row.Track ? QVariant(row.Cells[NxTextColumnFileMinName]) : QVariant();
    if (index.column() == NxGraphicColumnMainImage) {
        if (role == Qt::DecorationRole) return row.Picture;
        // The values the row has no room for, for the curious.
        if (role == Qt::ToolTipRole) {
            QStringList lines{DisplayName(row.Cells[NxTextColumnFileFullName])};
            if (row.Track) lines.prepend(row.Cells[NxTextColumnFileMinName]);
            for (int c = NxTextColumnFileSize; c <= NxTextColumnFrameRate; ++c) lines << row.Cells[static_cast<size_t>(c)];
            return lines.join('\n');
        }
        return {};
    }
    if (role == Qt::DisplayRole) return row.Cells[static_cast<size_t>(index.column())];
    return {};
}

// Rows are dragged whole to a new place; nothing is dropped onto a row.
Qt::ItemFlags TFileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

Qt::DropActions TFileListModel::supportedDropActions() const { return Qt::MoveAction; }

bool TFileListModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount()) return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    for (int i = row; i < row + count; ++i) Count(rows_[static_cast<size_t>(i)], -1);
    rows_.erase(rows_.begin() + row, rows_.begin() + row + count);
    endRemoveRows();
    return true;
}

bool TFileListModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                              const QModelIndex& destinationParent, int destinationChild) {
    if (sourceParent.isValid() || destinationParent.isValid() || count <= 0 || sourceRow < 0 ||
        sourceRow + count > rowCount() || destinationChild < 0 || destinationChild > rowCount())
        return false;
    // Refuses moves onto the rows themselves, which change nothing.
    if (!beginMoveRows(QModelIndex(), sourceRow, sourceRow + count - 1, QModelIndex(), destinationChild)) return false;
    const auto first = rows_.begin() + sourceRow;
    const auto last = first + count;
    if (destinationChild < sourceRow) std::rotate(rows_.begin() + destinationChild, first, last);
    else std::rotate(first, last, rows_.begin() + destinationChild);
    endMoveRows();
    return true;
}

void TFileListModel::AppendRow(TFileRow row) {
    const int index = rowCount();
    beginInsertRows(QModelIndex(), index, index);
    Count(row, 1);
    rows_.push_back(std::move(row));
    endInsertRows();
}

void TFileListModel::ResetRows(std::vector<TFileRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    knownDuration_ = 0;
    unknownDurations_ = 0;
    for (const TFileRow& row : rows_) Count(row, 1);
    endResetModel();
}

void TFileListModel::Clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    knownDuration_ = 0;
    unknownDurations_ = 0;
    endResetModel();
}

void TFileListModel::Count(const TFileRow& row, int sign) {
    const int64_t duration = row.Cells[NxTextColumnRealDuration].toLongLong();
    if (duration > 0) knownDuration_ += sign * duration;
    else unknownDurations_ += sign;
}
