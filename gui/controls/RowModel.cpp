#include "gui/controls/RowModel.h"

#include <algorithm>

namespace xqt::detail {

RowModel::RowModel(CellDataSource cellData, QObject* parent)
    : QAbstractTableModel(parent), cellData_(std::move(cellData)) {}

int RowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headings_.size());
}

QVariant RowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= columnCount()) return {};
    return cellData_(index.row(), index.column(), role);
}

QVariant RowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return headings_[section].text;
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(headings_[section].alignment);
    return {};
}

Qt::ItemFlags RowModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (data(index, Qt::CheckStateRole).isValid()) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

void RowModel::InsertColumn(int column, const QString& heading, Qt::Alignment alignment) {
    column = std::clamp(column, 0, columnCount());
    beginInsertColumns(QModelIndex(), column, column);
    headings_.insert(headings_.begin() + column, Heading{heading, alignment | Qt::AlignVCenter});
    endInsertColumns();
}

void RowModel::RowsAppended(int count) {
    if (count <= rows_) return;
    beginInsertRows(QModelIndex(), rows_, count - 1);
    rows_ = count;
    endInsertRows();
}

void RowModel::RowRemoved(int row) {
    if (row < 0 || row >= rows_) return;
    beginRemoveRows(QModelIndex(), row, row);
    --rows_;
    endRemoveRows();
}

void RowModel::RowsReset(int count) {
    beginResetModel();
    rows_ = count;
    endResetModel();
}

void RowModel::RowsChanged() {
    if (rows_ == 0 || columnCount() == 0) return;
    emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
}

}  // namespace xqt::detail
