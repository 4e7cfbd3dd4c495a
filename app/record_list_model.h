#pragma once
// The rows of the record list, kept compactly: all cell texts of all rows in
// one character pool, with one offset per cell and one per row. A row may
// hold fewer cells than there are columns (a record cut short by damage);
// its missing cells read empty. Columns: the titles of the current table,
// then the filler column with an empty title, which always stays last.
//
// Rows arrive in batches (RowBatch) built on the worker thread and appended
// on the user-interface thread.

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <vector>

#include "core/engine_host.h"

namespace korvel::app {

// Rows in the same compact form, filled by a worker.
struct RowBatch {
  std::vector<char16_t> chars;
  std::vector<uint64_t> cellEnds;  // end offset in chars of every cell
  std::vector<uint64_t> rowEnds;   // end index in cellEnds of every row
  void Add(const RecordRow& row);
  size_t RowCount() const { return rowEnds.size(); }
  bool Empty() const { return rowEnds.empty(); }
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

  void Append(const RowBatch& batch);
  void Clear();
  uint64_t RowCount() const { return rowEnds_.size(); }
  QString Cell(uint64_t row, int column) const;
  // Bytes held for the rows (for the memory figure of the benchmark).
  size_t RowMemoryBytes() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QStringList titles_;
  std::vector<char16_t> chars_;
  std::vector<uint64_t> cellEnds_;
  std::vector<uint64_t> rowEnds_;
};

}  // namespace korvel::app
