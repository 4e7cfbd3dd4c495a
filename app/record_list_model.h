#pragma once
// The rows of the record list, kept compactly in the batches they arrived
// in: each batch holds all cell texts of its rows in one character pool,
// with one offset per cell and one per row. Appending a batch moves it in
// without copying, so the user-interface thread does almost no work per
// row. A row may hold fewer cells than there are columns (a record cut short
// by damage); its missing cells read empty. Columns: the titles of the
// current table, then the filler column with an empty title, which always
// stays last.

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <vector>

#include "core/engine_host.h"

namespace korvel::app {

// Rows in the compact form, filled by a worker.
struct RowBatch {
  // A batch holds at most this many characters, so offsets fit 32 bits.
  static constexpr size_t kMaxChars = size_t{1} << 30;
  std::vector<char16_t> chars;
  std::vector<uint32_t> cellEnds;  // end offset in chars of every cell
  std::vector<uint32_t> rowEnds;   // end index in cellEnds of every row
  // Adds a row; a text beyond the batch's room is cut to what fits.
  void Add(const RecordRow& row);
  size_t RowCount() const { return rowEnds.size(); }
  bool Empty() const { return rowEnds.empty(); }
  bool Full() const { return chars.size() >= kMaxChars / 2; }
  // Gives back the spare room of the vectors (done on the worker).
  void Compact();
  size_t Bytes() const;
  QString Cell(size_t row, int column) const;
};

class RecordListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit RecordListModel(QObject* parent = nullptr);

  // Added columns, not counting the filler column.
  void SetColumns(const QStringList& titles);
  void AddColumn(const QString& title);
  void RemoveAddedColumns();
  int AddedColumnCount() const { return static_cast<int>(titles_.size()); }

  void Append(RowBatch batch);
  void Clear();
  uint64_t RowCount() const { return rows_; }
  QString Cell(uint64_t row, int column) const;
  // Bytes held for the rows (for the memory figure of the benchmark).
  size_t RowMemoryBytes() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QStringList titles_;
  std::vector<RowBatch> batches_;
  std::vector<uint64_t> batchStarts_;  // first row of every batch
  uint64_t rows_ = 0;
};

}  // namespace korvel::app
