#pragma once
// An item model over the object tree (core ObjectTree): one model row per
// tree item, the item handle as the index's internal id. The model follows
// every change of the tree through its observer and asks the view to expand,
// collapse or select when the tree's own operations do. User-interface
// thread only.

#include <QAbstractItemModel>

#include "core/object_tree.h"

namespace korvel::app {

class ObjectTreeModel : public QAbstractItemModel, private TreeObserver {
  Q_OBJECT
 public:
  // Roles beside the display text.
  enum Role {
    StateImageRole = Qt::UserRole + 1,  // int: 1 unchecked, 2 checked, 3 mixed, +4 disabled, +8 hot
    ItemDataRole,                       // int32: the item data
    ItemHandleRole,                     // TreeItem
    TooltipTextRole,                    // the item's own tooltip text
  };

  explicit ObjectTreeModel(ObjectTree& tree, QObject* parent = nullptr);
  ~ObjectTreeModel() override;

  ObjectTree& Tree() { return tree_; }
  QModelIndex IndexOf(TreeItem item) const;
  static TreeItem ItemOf(const QModelIndex& index);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  void ExpandRequested(const QModelIndex& index, bool expanded);
  void SelectRequested(const QModelIndex& index);

 private:
  void BeforeInsert(TreeItem parent, int row) override;
  void AfterInsert(TreeItem item) override;
  void BeforeReset() override;
  void AfterReset() override;
  void ItemChanged(TreeItem item) override;
  void ExpandChanged(TreeItem item, bool expanded) override;
  void SelectionChanged(TreeItem item) override;

  ObjectTree& tree_;
};

}  // namespace korvel::app
