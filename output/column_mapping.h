#pragma once
// The Column Mapping dialog without its window: shows the columns of the
// table selected in the object tree with their types, lets the user give a
// column another type, and rebuilds the table's create statement from the
// result. The dialog widget only displays this model and forwards clicks.

#include <string>
#include <vector>

#include "core/sqlite_base.h"
#include "core/tree_ops.h"

namespace korvel {

// The twelve types the dialog offers, in the order shown.
const std::vector<std::u16string>& MappingTypeChoices();

// The mapping fields of the main window; they outlive one dialog.
struct MappingState {
  std::u16string tableName;
  std::vector<std::u16string> columnNames;  // "[" clean name "]"
  std::vector<std::u16string> columnTypes;
  int selectedRow = -1;
};

// 1-based position of the table under the TABLES group whose text, without
// "[" and "]" and trimmed, equals the name treated the same way; 0 when no
// table carries that name.
int FindTablePosition(TreeOps& tree, const std::u16string& tableName);

// "Create Table [" clean table name "] (" + "name type" joined by " , " + " )".
std::u16string BuildMappedCreate(sqlite_base& engine, const MappingState& state);

class ColumnMappingModel {
 public:
  struct Row {
    std::u16string columnText;  // the descriptor's column text, "< P.K >" mark included
    std::u16string dataType;
    std::u16string mapping;
  };

  // Fills the model from the tree's selected item. Stays empty unless a
  // table item under TABLES is selected whose entry exists in every list.
  void Initialise(TreeOps& tree, sqlite_base& engine, ScanSettings& settings, MappingState& state);

  // A click on a list row (-1 for no row). Returns whether Change Column
  // type is enabled.
  bool ClickRow(int row);
  // Applies the combo box text to the selected row. Returns the message to
  // show, or an empty text.
  std::u16string ChangeColumnType(const std::u16string& comboText);
  // Replaces the table's create statement. Returns the message to show, or
  // an empty text when there was nothing to change.
  std::u16string SaveChanges();

  bool empty() const { return rows_.empty(); }
  const std::vector<Row>& rows() const { return rows_; }
  const std::u16string& selectedTableText() const { return selectedText_; }
  std::u16string columnNameLabel() const;   // "Column Name:" or the clicked column's name
  std::u16string comboSelection() const;    // the type of the clicked row
  int entryIndex() const { return entry_; }

 private:
  sqlite_base* engine_ = nullptr;
  MappingState* state_ = nullptr;
  std::vector<Row> rows_;
  std::u16string selectedText_;
  int entry_ = -1;
};

}  // namespace korvel
