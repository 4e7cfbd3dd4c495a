#include "output/column_mapping.h"

#include "core/text_codec.h"
#include "output/column_types.h"

namespace korvel {
namespace {

std::u16string WithoutBrackets(const std::u16string& text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c != u'[' && c != u']') out.push_back(c);
  }
  return out;
}

std::u16string TrimWhite(const std::u16string& text) { return TrimBlanks(text); }

TreeItem TablesGroup(TreeOps& tree) { return tree.GetChildItem(tree.GetRootItem()); }

}  // namespace

const std::vector<std::u16string>& MappingTypeChoices() {
  static const std::vector<std::u16string> kChoices = {
      u"TEXT", u"Memo",       u"Number", u"INTEGER",   u"double", u"CURRENCY",
      u"AUTONUMBER", u"date", u"OLEOBJECT", u"time", u"YesNO",  u"BINARY"};
  return kChoices;
}

int FindTablePosition(TreeOps& tree, const std::u16string& tableName) {
  const std::u16string wanted = TrimWhite(WithoutBrackets(tableName));
  int position = 0;
  for (TreeItem item = tree.GetChildItem(TablesGroup(tree)); item != kNoItem;
       item = tree.GetNextSiblingItem(item)) {
    ++position;
    if (TrimWhite(WithoutBrackets(tree.GetItemText(item))) == wanted) return position;
  }
  // Not found: no position, rather than the last table, so that a change is
  // never applied to another table.
  return 0;
}

std::u16string BuildMappedCreate(sqlite_base& engine, const MappingState& state) {
  std::u16string out = u"Create Table [" + engine.CleanName(state.tableName) + u"] (";
  for (size_t i = 0; i < state.columnNames.size(); ++i) {
    if (i > 0) out += u" , ";
    out += state.columnNames[i] + u" ";
    if (i < state.columnTypes.size()) out += state.columnTypes[i];
  }
  return out + u" )";
}

void ColumnMappingModel::Initialise(TreeOps& tree, sqlite_base& engine, ScanSettings& settings,
                                    MappingState& state) {
  engine_ = &engine;
  state_ = &state;
  rows_.clear();
  selectedText_.clear();
  entry_ = -1;
  state.columnNames.clear();
  state.columnTypes.clear();
  state.selectedRow = -1;

  const TreeItem item = tree.GetSelectedItem();
  const TreeItem parent = tree.GetParentItem(item);
  if (parent == kNoItem || tree.GetItemData(parent) != kTablesGroupData) return;
  selectedText_ = tree.GetItemText(item);

  // The item's data names its entry, which also indexes its column types
  // and rebuilt definition; a table whose entry is missing from any of them
  // shows nothing.
  const int32_t index = tree.GetItemData(item);
  const RecoveredModel& m = engine.model;
  if (index < 0 || static_cast<size_t>(index) >= m.tableDescriptors.size() ||
      static_cast<size_t>(index) >= m.columnTypes.size() ||
      static_cast<size_t>(index) >= m.createStatements.size()) {
    return;
  }
  const TableDescriptorParts parts = ParseTableDescriptor(m.tableDescriptors[index]);
  const std::vector<std::u16string>& types = m.columnTypes[index];
  for (size_t i = 0; i < parts.columnNames.size(); ++i) {
    settings.scanFlag = true;
    const std::u16string clean = engine.CleanName(parts.columnNames[i]);
    settings.scanFlag = false;
    state.columnNames.push_back(u"[" + clean + u"]");
    const std::u16string type = i < types.size() ? types[i] : std::u16string();
    state.columnTypes.push_back(type);
    rows_.push_back({parts.columnNames[i], type, type});
  }
  state.tableName = TrimWhite(parts.tableName);
  entry_ = index;
}

bool ColumnMappingModel::ClickRow(int row) {
  if (state_ == nullptr) return false;
  state_->selectedRow = (row >= 0 && static_cast<size_t>(row) < rows_.size()) ? row : -1;
  return state_->selectedRow >= 0;
}

std::u16string ColumnMappingModel::columnNameLabel() const {
  if (state_ == nullptr || state_->selectedRow < 0) return u"Column Name:";
  return state_->columnNames[state_->selectedRow];
}

std::u16string ColumnMappingModel::comboSelection() const {
  if (state_ == nullptr || state_->selectedRow < 0) return {};
  return state_->columnTypes[state_->selectedRow];
}

std::u16string ColumnMappingModel::ChangeColumnType(const std::u16string& comboText) {
  if (state_ == nullptr || state_->selectedRow < 0) return {};
  const int row = state_->selectedRow;
  state_->columnTypes[row] = comboText;
  if (comboText.size() < 2) return u"please select column type from combo box";
  state_->tableName = u"[" + WithoutBrackets(state_->tableName) + u"]";
  rows_[row].mapping = comboText;
  return {};
}

std::u16string ColumnMappingModel::SaveChanges() {
  if (rows_.empty() || engine_ == nullptr || entry_ < 0) return {};
  std::vector<std::u16string>& creates = engine_->model.createStatements;
  if (static_cast<size_t>(entry_) >= creates.size()) return {};
  state_->tableName = WithoutBrackets(state_->tableName);
  creates[entry_] = BuildMappedCreate(*engine_, *state_);
  return u"Changes Done";
}

}  // namespace korvel
