#pragma once
// The centre of the main window: the view CDravintHalvorkProjView and the
// record area CDravintStatic inside it, which holds the record list (a table
// of a recovered table's records: one 120-pixel column per table column,
// then the 1500-pixel filler column) and the read-only statement box that
// shows an index's, view's or trigger's statement. One of the two is shown
// at a time; the shown one fills the area. User-interface thread only.

#include <QTableView>
#include <QTextEdit>
#include <QWidget>

#include "app/record_list_model.h"

namespace korvel::app {

class CDravintStatic : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kColumnWidth = 120;
  static constexpr int kFillerWidth = 1500;

  explicit CDravintStatic(QWidget* parent = nullptr);

  QTableView* RecordList() const { return list_; }
  QTextEdit* StatementBox() const { return statement_; }
  RecordListModel& Records() { return *model_; }

  void AddColumn(const QString& title);
  void RemoveAddedColumns();
  void ShowRecordList(bool shown);
  void ShowStatementBox(bool shown);
  void SetStatementText(const QString& text);
  QString StatementText() const;

 private:
  void ApplyColumnWidths();
  RecordListModel* model_;
  QTableView* list_;
  QTextEdit* statement_;
};

class CDravintHalvorkProjView : public QWidget {
  Q_OBJECT
 public:
  explicit CDravintHalvorkProjView(QWidget* parent = nullptr);
  CDravintStatic* RecordArea() const { return area_; }

 private:
  CDravintStatic* area_;
};

}  // namespace korvel::app
