#include "app/record_list_model.h"

#include <algorithm>
#include <climits>

namespace korvel::app {

void RowBatch::Add(const RecordRow& row) {
  for (const std::u16string& cell : row) {
    chars.insert(chars.end(), cell.begin(), cell.end());
    cellEnds.push_back(chars.size());
  }
  rowEnds.push_back(cellEnds.size());
}

RecordListModel::RecordListModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordListModel::SetColumns(const QStringList& titles) {
  beginResetModel();
  titles_ = titles;
  endResetModel();
}

void RecordListModel::AddColumn(const QString& title) {
  const int at = static_cast<int>(titles_.size());
  beginInsertColumns({}, at, at);
  titles_ << title;
  endInsertColumns();
}

void RecordListModel::RemoveAddedColumns() {
  if (titles_.isEmpty()) return;
  beginRemoveColumns({}, 0, static_cast<int>(titles_.size()) - 1);
  titles_.clear();
  endRemoveColumns();
}

void RecordListModel::Append(const RowBatch& batch) {
  if (batch.Empty()) return;
  // The view counts rows in int; rows beyond that stay stored but unshown.
  const uint64_t first = rowEnds_.size();
  const uint64_t shownBefore = std::min<uint64_t>(first, INT_MAX);
  const uint64_t shownAfter = std::min<uint64_t>(first + batch.RowCount(), INT_MAX);
  if (shownAfter > shownBefore) {
    beginInsertRows({}, static_cast<int>(shownBefore), static_cast<int>(shownAfter - 1));
  }
  const uint64_t charBase = chars_.size();
  const uint64_t cellBase = cellEnds_.size();
  chars_.insert(chars_.end(), batch.chars.begin(), batch.chars.end());
  cellEnds_.reserve(cellEnds_.size() + batch.cellEnds.size());
  for (uint64_t end : batch.cellEnds) cellEnds_.push_back(charBase + end);
  rowEnds_.reserve(rowEnds_.size() + batch.rowEnds.size());
  for (uint64_t end : batch.rowEnds) rowEnds_.push_back(cellBase + end);
  if (shownAfter > shownBefore) endInsertRows();
}

void RecordListModel::Clear() {
  if (rowEnds_.empty()) return;
  beginResetModel();
  std::vector<char16_t>().swap(chars_);
  std::vector<uint64_t>().swap(cellEnds_);
  std::vector<uint64_t>().swap(rowEnds_);
  endResetModel();
}

QString RecordListModel::Cell(uint64_t row, int column) const {
  if (row >= rowEnds_.size() || column < 0) return {};
  const uint64_t firstCell = row == 0 ? 0 : rowEnds_[row - 1];
  const uint64_t cell = firstCell + static_cast<uint64_t>(column);
  if (cell >= rowEnds_[row]) return {};
  const uint64_t begin = cell == 0 ? 0 : cellEnds_[cell - 1];
  const uint64_t end = cellEnds_[cell];
  return QString::fromUtf16(chars_.data() + begin, static_cast<qsizetype>(end - begin));
}

size_t RecordListModel::RowMemoryBytes() const {
  return chars_.capacity() * sizeof(char16_t) + cellEnds_.capacity() * sizeof(uint64_t) +
         rowEnds_.capacity() * sizeof(uint64_t);
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(std::min<uint64_t>(rowEnds_.size(), INT_MAX));
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(titles_.size()) + 1;
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  if (index.column() >= static_cast<int>(titles_.size())) return QString();
  return Cell(static_cast<uint64_t>(index.row()), index.column());
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (section < static_cast<int>(titles_.size())) return titles_[section];
  return QString();
}

}  // namespace korvel::app
