#pragma once
// The object tree control: a tree view over ObjectTreeModel that draws its
// own tri-state check boxes with the style's check-box primitive and keeps
// the mouse and keyboard rules of the object pane:
//   - a left click on an item's label selects it and asks for its preview
//     (PreviewRequested, also when it is already selected); clicks on the
//     check box, the expand button, the image or beside the label do not;
//   - a click on the check box toggles it (and selects the item);
//   - space toggles the selected item's check box;
//   - up and down skip disabled items; right and left expand and collapse;
//   - keypad * expands the selected item and all below it, + and - expand
//     and collapse it;
//   - the tooltip shows an item's text (at most 78 characters) only when the
//     item has its own tooltip text or its text is cut off at the right edge.
// User-interface thread only; workers reach the tree through the window.

#include <QTreeView>

#include <memory>

#include "app/object_tree_model.h"

namespace korvel::app {

class CXHtmlTree : public QTreeView {
  Q_OBJECT
 public:
  enum class HitPart { Nowhere, Indent, CheckBox, Image, Label, RightOfLabel };
  static constexpr int kCheckBoxSize = 16;
  static constexpr int kImageSize = 16;
  static constexpr int kTooltipMaxChars = 78;

  explicit CXHtmlTree(QWidget* parent = nullptr);
  ~CXHtmlTree() override;

  ObjectTree& Tree() { return tree_; }
  ObjectTreeModel& Model() { return *model_; }

  // Where a point in the viewport falls on its item.
  HitPart HitTest(const QPoint& viewportPos, TreeItem* item = nullptr) const;
  // The parts of an item's row, in viewport coordinates.
  QRect CheckBoxRect(TreeItem item) const;
  QRect LabelRect(TreeItem item) const;
  // The tooltip the tree shows for an item, or an empty string for none.
  QString TooltipFor(TreeItem item) const;

 signals:
  void PreviewRequested(korvel::TreeItem item);
  void CheckBoxClicked(korvel::TreeItem item, int value);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  friend class XHtmlTreeDelegate;
  void ExpandAll(TreeItem item);
  int TextWidth(const QString& text) const;

  ObjectTree tree_;
  std::unique_ptr<ObjectTreeModel> model_;
};

}  // namespace korvel::app
