#pragma once
// The object tree as a model without any window: items with text and data,
// and a record per item with its own check flag and the counts that make the
// tri-state display work. Checking an item checks all its descendants;
// ancestors read checked when all their countable descendants are checked,
// mixed when some are (GetCheck of a mixed item is 0).
//
// The desktop tree draws this model; the command-line tool uses it directly.
// It is not thread-safe: one thread at a time calls it.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/tree_ops.h"

namespace korvel {

// Per-item record; the fields the tri-state rules work on.
struct XHTMLTREEDATA {
  int32_t checked = 0;
  int32_t enabled = 1;
  int32_t separator = 0;
  int32_t expanded = 0;
  int32_t everExpanded = 0;
  int32_t descendantCount = 0;
  int32_t checkedDescendantCount = 0;
  int32_t excludedDescendantCount = 0;
  std::u16string tooltipText;
  int32_t tooltipWidth = 0;
  int32_t hotImage = 0;  // 1 after a check-box click until the image is recomputed
};

// Told about every change so that a view can follow the model.
class TreeObserver {
 public:
  virtual ~TreeObserver() = default;
  virtual void BeforeInsert(TreeItem parent, int row) = 0;
  virtual void AfterInsert(TreeItem item) = 0;
  virtual void BeforeReset() = 0;
  virtual void AfterReset() = 0;
  virtual void ItemChanged(TreeItem item) = 0;  // check image, text or data
  virtual void ExpandChanged(TreeItem item, bool expanded) = 0;
  virtual void SelectionChanged(TreeItem item) = 0;
};

class ObjectTree final : public TreeOps {
 public:
  ObjectTree() = default;
  ObjectTree(const ObjectTree&) = delete;
  ObjectTree& operator=(const ObjectTree&) = delete;

  // TreeOps
  TreeItem InsertItem(const std::u16string& text, TreeItem parent,
                      InsertPosition position) override;
  void SetItemData(TreeItem item, int32_t data) override;
  int32_t GetItemData(TreeItem item) override;
  void Expand(TreeItem item, ExpandAction action) override;
  void DeleteAllItems() override;
  std::u16string GetItemText(TreeItem item) override;
  int GetCheck(TreeItem item) override;
  int GetCheckedCount() override;
  void SetCheck(TreeItem item, int value) override;
  void SelectItem(TreeItem item) override;
  TreeItem GetRootItem() override;
  TreeItem GetChildItem(TreeItem item) override;
  TreeItem GetNextSiblingItem(TreeItem item) override;
  TreeItem GetParentItem(TreeItem item) override;
  TreeItem GetSelectedItem() override;

  // Settings (all on by default, read-only off).
  bool checkBoxes = true;
  bool smartCheck = true;
  bool readOnly = false;

  // The item's record, or null for no item and while all items are deleted.
  XHTMLTREEDATA* FindItemData(TreeItem item);
  void SetEnabled(TreeItem item, bool enabled);
  void SetSeparator(TreeItem item, bool separator);

  // The state image index: 1 unchecked, 2 checked, 3 mixed; +4 disabled,
  // +8 hot. 0 for a separator or no item.
  int StateImage(TreeItem item);
  // Mixed: some but not all countable descendants checked.
  bool IsMixed(TreeItem item);

  TreeItem GetPrevSiblingItem(TreeItem item);
  const std::vector<TreeItem>& Children(TreeItem parent);  // kNoItem: the root items
  int RowOf(TreeItem item);                               // index among its siblings, -1 if none
  bool IsExpanded(TreeItem item);
  // The next and previous item in display order, descending only into
  // expanded items.
  TreeItem GetNextVisibleItem(TreeItem item);
  TreeItem GetPrevVisibleItem(TreeItem item);
  size_t ItemCount() const { return nodes_.size(); }

  // Toggles the check box as a click on it does: flips the own flag and
  // marks the image hot. Ignored for separators, disabled items and a
  // read-only tree.
  void ToggleCheckByUser(TreeItem item);

  void SetObserver(TreeObserver* observer) { observer_ = observer; }

 private:
  struct Node {
    std::u16string text;
    int32_t data = 0;
    TreeItem parent = kNoItem;
    std::vector<TreeItem> children;
    XHTMLTREEDATA record;
  };

  Node* Find(TreeItem item);
  bool Countable(const Node& node) const;
  void SetSubtree(TreeItem item, int value);
  void NotifyChanged(TreeItem item);

  std::unordered_map<TreeItem, Node> nodes_;
  std::vector<TreeItem> roots_;
  TreeItem nextHandle_ = 1;
  TreeItem selected_ = kNoItem;
  bool deleting_ = false;
  TreeObserver* observer_ = nullptr;
};

}  // namespace korvel
