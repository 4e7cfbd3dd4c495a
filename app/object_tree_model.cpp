#include "app/object_tree_model.h"

namespace korvel::app {

ObjectTreeModel::ObjectTreeModel(ObjectTree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree) {
  tree_.SetObserver(this);
}

ObjectTreeModel::~ObjectTreeModel() { tree_.SetObserver(nullptr); }

TreeItem ObjectTreeModel::ItemOf(const QModelIndex& index) {
  return index.isValid() ? static_cast<TreeItem>(index.internalId()) : kNoItem;
}

QModelIndex ObjectTreeModel::IndexOf(TreeItem item) const {
  if (item == kNoItem) return {};
  const int row = tree_.RowOf(item);
  if (row < 0) return {};
  return createIndex(row, 0, static_cast<quintptr>(item));
}

QModelIndex ObjectTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  const auto& children = tree_.Children(ItemOf(parent));
  if (static_cast<size_t>(row) >= children.size()) return {};
  return createIndex(row, 0, static_cast<quintptr>(children[row]));
}

QModelIndex ObjectTreeModel::parent(const QModelIndex& child) const {
  return IndexOf(tree_.GetParentItem(ItemOf(child)));
}

int ObjectTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() && parent.column() != 0) return 0;
  return static_cast<int>(tree_.Children(ItemOf(parent)).size());
}

int ObjectTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant ObjectTreeModel::data(const QModelIndex& index, int role) const {
  const TreeItem item = ItemOf(index);
  if (item == kNoItem) return {};
  switch (role) {
    case Qt::DisplayRole: {
      const std::u16string text = tree_.GetItemText(item);
      return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    }
    case StateImageRole: return tree_.StateImage(item);
    case ItemDataRole: return tree_.GetItemData(item);
    case ItemHandleRole: return static_cast<uint>(item);
    case TooltipTextRole: {
      const XHTMLTREEDATA* record = tree_.FindItemData(item);
      if (record == nullptr) return QString();
      return QString::fromUtf16(record->tooltipText.data(),
                                static_cast<qsizetype>(record->tooltipText.size()));
    }
    default: return {};
  }
}

Qt::ItemFlags ObjectTreeModel::flags(const QModelIndex& index) const {
  const XHTMLTREEDATA* record = tree_.FindItemData(ItemOf(index));
  if (record == nullptr) return Qt::NoItemFlags;
  if (!record->enabled || record->separator) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void ObjectTreeModel::BeforeInsert(TreeItem parent, int row) {
  beginInsertRows(IndexOf(parent), row, row);
}

void ObjectTreeModel::AfterInsert(TreeItem) { endInsertRows(); }

void ObjectTreeModel::BeforeReset() { beginResetModel(); }

void ObjectTreeModel::AfterReset() { endResetModel(); }

void ObjectTreeModel::ItemChanged(TreeItem item) {
  const QModelIndex index = IndexOf(item);
  if (index.isValid()) emit dataChanged(index, index);
}

void ObjectTreeModel::ExpandChanged(TreeItem item, bool expanded) {
  const QModelIndex index = IndexOf(item);
  if (index.isValid()) emit ExpandRequested(index, expanded);
}

void ObjectTreeModel::SelectionChanged(TreeItem item) {
  emit SelectRequested(IndexOf(item));
}

}  // namespace korvel::app
