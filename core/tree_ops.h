#pragma once
// The operations of the object tree that engines and workers use. The tree
// model (ObjectTree) implements them directly; the desktop window implements
// them by running each call on its user-interface thread.

#include <cstdint>
#include <string>

namespace korvel {

using TreeItem = uint32_t;
inline constexpr TreeItem kNoItem = 0;

enum class InsertPosition { First, Last };
enum class ExpandAction { Collapse, Expand, Toggle };

// Item data of the root item and the four group items.
inline constexpr int32_t kRootItemData = -1;
inline constexpr int32_t kTablesGroupData = -2;
inline constexpr int32_t kIndexesGroupData = -3;
inline constexpr int32_t kViewsGroupData = -4;
inline constexpr int32_t kTriggersGroupData = -5;

inline constexpr char16_t kTablesGroupText[] = u"TABLES  ";
inline constexpr char16_t kIndexesGroupText[] = u"INDEXES  ";
inline constexpr char16_t kViewsGroupText[] = u"VIEWS  ";
inline constexpr char16_t kTriggersGroupText[] = u"TRIGGERS  ";

class TreeOps {
 public:
  virtual ~TreeOps() = default;

  // parent kNoItem inserts a root item. Returns kNoItem on failure.
  virtual TreeItem InsertItem(const std::u16string& text, TreeItem parent,
                              InsertPosition position) = 0;
  virtual void SetItemData(TreeItem item, int32_t data) = 0;
  virtual int32_t GetItemData(TreeItem item) = 0;
  virtual void Expand(TreeItem item, ExpandAction action) = 0;
  virtual void DeleteAllItems() = 0;
  virtual std::u16string GetItemText(TreeItem item) = 0;  // empty for kNoItem
  // 1 when checked; a mixed item reads 0.
  virtual int GetCheck(TreeItem item) = 0;
  // Items of the whole tree (groups included) whose GetCheck is 1.
  virtual int GetCheckedCount() = 0;
  virtual void SetCheck(TreeItem item, int value) = 0;
  virtual void SelectItem(TreeItem item) = 0;

  virtual TreeItem GetRootItem() = 0;  // the first root item
  virtual TreeItem GetChildItem(TreeItem item) = 0;
  virtual TreeItem GetNextSiblingItem(TreeItem item) = 0;
  virtual TreeItem GetParentItem(TreeItem item) = 0;
  virtual TreeItem GetSelectedItem() = 0;
};

}  // namespace korvel
