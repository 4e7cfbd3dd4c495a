#include "app/record_list_model.h"

#include <algorithm>
#include <climits>

namespace korvel::app {

void RowBatch::Add(const RecordRow& row) {
  for (const std::u16string& cell : row) {
    const size_t room = chars.size() < kMaxChars ? kMaxChars - chars.size() : 0;
    const size_t take = std::min(cell.size(), room);
    chars.insert(chars.end(), cell.begin(), cell.begin() + static_cast<std::ptrdiff_t>(take));
    cellEnds.push_back(static_cast<uint32_t>(chars.size()));
  }
  rowEnds.push_back(static_cast<uint32_t>(cellEnds.size()));
}

void RowBatch::Compact() {
  chars.shrink_to_fit();
  cellEnds.shrink_to_fit();
  rowEnds.shrink_to_fit();
}

size_t RowBatch::Bytes() const {
  return chars.capacity() * sizeof(char16_t) + cellEnds.capacity() * sizeof(uint32_t) +
         rowEnds.capacity() * sizeof(uint32_t);
}

QString RowBatch::Cell(size_t row, int column) const {
  if (row >= rowEnds.size() || column < 0) return {};
  const size_t firstCell = row == 0 ? 0 : rowEnds[row - 1];
  const size_t cell = firstCell + static_cast<size_t>(column);
  if (cell >= rowEnds[row]) return {};
  const size_t begin = cell == 0 ? 0 : cellEnds[cell - 1];
  return QString::fromUtf16(chars.data() + begin, static_cast<qsizetype>(cellEnds[cell] - begin));
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

void RecordListModel::Append(RowBatch batch) {
  if (batch.Empty()) return;
  // The view counts rows in int; rows beyond that stay stored but unshown.
  const uint64_t first = rows_;
  const uint64_t shownBefore = std::min<uint64_t>(first, INT_MAX);
  const uint64_t shownAfter = std::min<uint64_t>(first + batch.RowCount(), INT_MAX);
  if (shownAfter > shownBefore) {
    beginInsertRows({}, static_cast<int>(shownBefore), static_cast<int>(shownAfter - 1));
  }
  rows_ += batch.RowCount();
  batchStarts_.push_back(first);
  batches_.push_back(std::move(batch));
  if (shownAfter > shownBefore) endInsertRows();
}

void RecordListModel::Clear() {
  if (rows_ == 0) return;
  beginResetModel();
  std::vector<RowBatch>().swap(batches_);
  std::vector<uint64_t>().swap(batchStarts_);
  rows_ = 0;
  endResetModel();
}

QString RecordListModel::Cell(uint64_t row, int column) const {
  if (row >= rows_) return {};
  const auto it = std::upper_bound(batchStarts_.begin(), batchStarts_.end(), row);
  const size_t b = static_cast<size_t>(it - batchStarts_.begin()) - 1;
  return batches_[b].Cell(static_cast<size_t>(row - batchStarts_[b]), column);
}

size_t RecordListModel::RowMemoryBytes() const {
  size_t bytes = batches_.capacity() * sizeof(RowBatch) + batchStarts_.capacity() * sizeof(uint64_t);
  for (const RowBatch& b : batches_) bytes += b.Bytes();
  return bytes;
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(std::min<uint64_t>(rows_, INT_MAX));
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
