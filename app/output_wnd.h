#pragma once
// The dockable "Output" pane: one list of lines and the log file behind it.
// WriteOutputLine inserts the line at the output line index and increments
// the index; Open sets the index back to 0 so a new run's lines stand above
// the earlier runs' lines, in their own order. The list is never emptied.
// User-interface thread only (workers go through the window's host).

#include <QDockWidget>
#include <QListWidget>

#include "app/output_log.h"

namespace korvel::app {

// The pane's list: no context menu.
class CDravintListCtrl : public QListWidget {
 public:
  using QListWidget::QListWidget;

 protected:
  void contextMenuEvent(QContextMenuEvent*) override {}
};

class COutputWnd : public QDockWidget {
  Q_OBJECT
 public:
  explicit COutputWnd(QWidget* parent = nullptr);

  void WriteOutputLine(const QString& text);
  void ResetLineIndex() { lineIndex_ = 0; }
  int LineIndex() const { return lineIndex_; }

  CDravintListCtrl* List() const { return list_; }
  QStringList Lines() const;
  OutputLog& Log() { return log_; }

 private:
  CDravintListCtrl* list_;
  OutputLog log_;
  int lineIndex_ = 0;
};

}  // namespace korvel::app
