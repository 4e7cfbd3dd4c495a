#pragma once
// The Column Mapping dialog: the columns of the table selected in the
// object tree with their types, a combo box of the twelve types to give the
// clicked column another one, and Save Changes to rebuild the table's
// create statement. The work is done by ColumnMappingModel; the dialog
// shows it and forwards the clicks.
//
//   group box  "Select column name  to change its mapping:"
//   "Selected Table:"  [read-only edit: the selected tree item's text]
//   list        "Column Name" | "Column DataType" | "Column Mapping"
//   "Column Name:" (the clicked column's name)  [combo]  [Change Column type]  [Save Changes]
//                          [OK]  [Cancel]
//
// Unless a table under TABLES is selected whose entry exists in the
// engine's lists, the dialog stays empty and changes nothing.

#include <QDialog>

#include <functional>

#include "core/engine_host.h"
#include "core/sqlite_base.h"
#include "core/tree_ops.h"
#include "output/column_mapping.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace korvel {

class MappingDlg : public QDialog {
  Q_OBJECT
 public:
  // Shows a message box with the product title as its caption.
  using MessageFunction = std::function<void(QWidget* owner, const QString& text)>;

  // engine may be null (no database open): the dialog is empty.
  MappingDlg(TreeOps& tree, sqlite_base* engine, ScanSettings& settings, MappingState& state,
             MessageFunction message, QWidget* parent = nullptr);

  // Handlers, also reached by the controls.
  void OnListClick(int row);  // -1: the click hit no row
  void OnChangeColumnType();
  void OnSaveChanges();

  QLineEdit* TableEdit() const { return tableEdit_; }
  QTableWidget* ColumnList() const { return list_; }
  QLabel* ColumnNameLabel() const { return columnName_; }
  QComboBox* TypeCombo() const { return combo_; }
  QPushButton* ChangeButton() const { return change_; }
  QPushButton* SaveButton() const { return save_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  const ColumnMappingModel& Model() const { return model_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fill();
  void ShowComboType(const std::u16string& type);

  ColumnMappingModel model_;
  MessageFunction message_;
  QLineEdit* tableEdit_;
  QTableWidget* list_;
  QLabel* columnName_;
  QComboBox* combo_;
  QPushButton* change_;
  QPushButton* save_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace korvel
