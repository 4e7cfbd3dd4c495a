#pragma once
// The dockable "SQLite Database Objects" pane: the object tree inset by one
// pixel inside a one-pixel frame. Focus given to the pane goes to the tree;
// the pane shows no context menu.

#include <QDockWidget>

#include "app/xhtml_tree.h"

namespace korvel::app {

class CFileView : public QDockWidget {
  Q_OBJECT
 public:
  explicit CFileView(QWidget* parent = nullptr);
  CXHtmlTree* TreeControl() const { return tree_; }

 protected:
  void contextMenuEvent(QContextMenuEvent*) override {}

 private:
  CXHtmlTree* tree_;
};

}  // namespace korvel::app
