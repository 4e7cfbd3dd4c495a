#include "core/object_tree.h"

#include <algorithm>

namespace korvel {

ObjectTree::Node* ObjectTree::Find(TreeItem item) {
  if (item == kNoItem || deleting_) return nullptr;
  auto it = nodes_.find(item);
  return it == nodes_.end() ? nullptr : &it->second;
}

XHTMLTREEDATA* ObjectTree::FindItemData(TreeItem item) {
  Node* node = Find(item);
  return node ? &node->record : nullptr;
}

void ObjectTree::NotifyChanged(TreeItem item) {
  if (observer_) observer_->ItemChanged(item);
}

TreeItem ObjectTree::InsertItem(const std::u16string& text, TreeItem parent,
                                InsertPosition position) {
  if (deleting_) return kNoItem;
  if (parent != kNoItem && Find(parent) == nullptr) return kNoItem;
  std::vector<TreeItem>& siblings = parent == kNoItem ? roots_ : nodes_[parent].children;
  const int row = position == InsertPosition::First ? 0 : static_cast<int>(siblings.size());
  if (observer_) observer_->BeforeInsert(parent, row);

  const TreeItem item = nextHandle_++;
  Node node;
  node.text = text;
  node.parent = parent;
  nodes_.emplace(item, std::move(node));
  // The map may have rehashed: look the sibling list up again.
  std::vector<TreeItem>& list = parent == kNoItem ? roots_ : nodes_[parent].children;
  list.insert(list.begin() + row, item);

  if (smartCheck) {
    for (TreeItem a = parent; a != kNoItem; a = nodes_[a].parent) {
      Node& an = nodes_[a];
      an.record.descendantCount += 1;
      const int full = an.record.descendantCount - an.record.excludedDescendantCount;
      an.record.checked = an.record.checkedDescendantCount == full ? 1 : 0;
    }
  }
  if (observer_) {
    observer_->AfterInsert(item);
    for (TreeItem a = parent; a != kNoItem; a = nodes_[a].parent) observer_->ItemChanged(a);
  }
  return item;
}

void ObjectTree::SetItemData(TreeItem item, int32_t data) {
  if (Node* node = Find(item)) node->data = data;
}

int32_t ObjectTree::GetItemData(TreeItem item) {
  Node* node = Find(item);
  return node ? node->data : 0;
}

void ObjectTree::Expand(TreeItem item, ExpandAction action) {
  Node* node = Find(item);
  if (node == nullptr || node->children.empty() || !node->record.enabled) return;
  const int32_t old = node->record.expanded;
  switch (action) {
    case ExpandAction::Collapse: node->record.expanded = 0; break;
    case ExpandAction::Expand: node->record.expanded = 1; break;
    case ExpandAction::Toggle: node->record.expanded = old ? 0 : 1; break;
  }
  if (node->record.expanded) node->record.everExpanded = 1;
  if (old != node->record.expanded && observer_) {
    observer_->ExpandChanged(item, node->record.expanded != 0);
  }
}

void ObjectTree::DeleteAllItems() {
  if (observer_) observer_->BeforeReset();
  deleting_ = true;
  nodes_.clear();
  roots_.clear();
  selected_ = kNoItem;
  deleting_ = false;
  if (observer_) observer_->AfterReset();
}

std::u16string ObjectTree::GetItemText(TreeItem item) {
  Node* node = Find(item);
  return node ? node->text : std::u16string();
}

int ObjectTree::GetCheck(TreeItem item) {
  if (!checkBoxes) return 0;
  Node* node = Find(item);
  if (node == nullptr) return 0;
  const XHTMLTREEDATA& r = node->record;
  if (smartCheck && r.descendantCount > 0) {
    if (r.checkedDescendantCount == 0) return 0;
    return r.checkedDescendantCount == r.descendantCount - r.excludedDescendantCount ? 1 : 0;
  }
  return r.checked ? 1 : 0;
}

bool ObjectTree::IsMixed(TreeItem item) {
  Node* node = Find(item);
  if (node == nullptr || !smartCheck || node->record.descendantCount == 0) return false;
  const XHTMLTREEDATA& r = node->record;
  return r.checkedDescendantCount != 0 &&
         r.checkedDescendantCount != r.descendantCount - r.excludedDescendantCount;
}

int ObjectTree::StateImage(TreeItem item) {
  Node* node = Find(item);
  if (node == nullptr || node->record.separator) return 0;
  const XHTMLTREEDATA& r = node->record;
  int base;
  if (smartCheck && r.descendantCount > 0) {
    base = r.checkedDescendantCount == 0 ? 1 : (IsMixed(item) ? 3 : 2);
  } else {
    base = r.checked ? 2 : 1;
  }
  if (!r.enabled) base += 4;
  if (r.hotImage) base += 8;
  return base;
}

int ObjectTree::GetCheckedCount() {
  int count = 0;
  // Pre-order walk without recursion, so a deep tree cannot exhaust the stack.
  std::vector<TreeItem> stack(roots_.rbegin(), roots_.rend());
  while (!stack.empty()) {
    const TreeItem item = stack.back();
    stack.pop_back();
    if (GetCheck(item) == 1) ++count;
    const auto& children = nodes_[item].children;
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return count;
}

bool ObjectTree::Countable(const Node& node) const {
  return node.record.enabled && !node.record.separator;
}

void ObjectTree::SetSubtree(TreeItem item, int value) {
  std::vector<TreeItem> stack{item};
  while (!stack.empty()) {
    const TreeItem current = stack.back();
    stack.pop_back();
    Node& node = nodes_[current];
    if (!node.record.enabled) continue;  // a disabled item keeps its flags
    if (!node.record.separator) {
      node.record.checked = value;
      node.record.checkedDescendantCount =
          value ? std::max(0, node.record.descendantCount - node.record.excludedDescendantCount)
                : 0;
    }
    node.record.hotImage = 0;
    NotifyChanged(current);
    stack.insert(stack.end(), node.children.rbegin(), node.children.rend());
  }
}

void ObjectTree::SetCheck(TreeItem item, int value) {
  if (!checkBoxes) return;
  Node* node = Find(item);
  if (node == nullptr || !Countable(*node)) return;
  value = value ? 1 : 0;
  const int32_t old = node->record.checked;
  node->record.checked = value;
  node->record.hotImage = 0;
  if (smartCheck && old != value) {
    int change = value ? node->record.descendantCount - node->record.checkedDescendantCount + 1
                       : -(node->record.checkedDescendantCount + 1);
    SetSubtree(item, value);
    for (TreeItem a = nodes_[item].parent; a != kNoItem; a = nodes_[a].parent) {
      XHTMLTREEDATA& r = nodes_[a].record;
      r.hotImage = 0;  // its image is recomputed now
      r.checkedDescendantCount = std::max(0, r.checkedDescendantCount + change);
      const int32_t before = r.checked;
      r.checked = r.checkedDescendantCount == r.descendantCount - r.excludedDescendantCount;
      if (before == 0 && r.checked == 1) {
        change += 1;
      } else if (before == 1 && r.checked == 0) {
        change -= 1;
      }
      NotifyChanged(a);
    }
  } else {
    NotifyChanged(item);
  }
}

void ObjectTree::ToggleCheckByUser(TreeItem item) {
  Node* node = Find(item);
  if (node == nullptr || readOnly || !Countable(*node)) return;
  SetCheck(item, node->record.checked ? 0 : 1);
  if (Node* again = Find(item)) {
    again->record.hotImage = 1;
    NotifyChanged(item);
  }
}

void ObjectTree::SelectItem(TreeItem item) {
  Node* node = Find(item);
  if (node == nullptr || !node->record.enabled) return;
  if (selected_ != item) {
    selected_ = item;
    if (observer_) observer_->SelectionChanged(item);
  }
}

void ObjectTree::SetEnabled(TreeItem item, bool enabled) {
  if (Node* node = Find(item)) {
    node->record.enabled = enabled ? 1 : 0;
    NotifyChanged(item);
  }
}

void ObjectTree::SetSeparator(TreeItem item, bool separator) {
  if (Node* node = Find(item)) {
    node->record.separator = separator ? 1 : 0;
    NotifyChanged(item);
  }
}

TreeItem ObjectTree::GetRootItem() { return roots_.empty() ? kNoItem : roots_.front(); }

TreeItem ObjectTree::GetChildItem(TreeItem item) {
  Node* node = Find(item);
  return (node && !node->children.empty()) ? node->children.front() : kNoItem;
}

const std::vector<TreeItem>& ObjectTree::Children(TreeItem parent) {
  static const std::vector<TreeItem> kNone;
  if (parent == kNoItem) return roots_;
  Node* node = Find(parent);
  return node ? node->children : kNone;
}

int ObjectTree::RowOf(TreeItem item) {
  Node* node = Find(item);
  if (node == nullptr) return -1;
  const auto& siblings = Children(node->parent);
  const auto it = std::find(siblings.begin(), siblings.end(), item);
  return it == siblings.end() ? -1 : static_cast<int>(it - siblings.begin());
}

TreeItem ObjectTree::GetNextSiblingItem(TreeItem item) {
  const int row = RowOf(item);
  if (row < 0) return kNoItem;
  const auto& siblings = Children(nodes_[item].parent);
  return static_cast<size_t>(row + 1) < siblings.size() ? siblings[row + 1] : kNoItem;
}

TreeItem ObjectTree::GetPrevSiblingItem(TreeItem item) {
  const int row = RowOf(item);
  if (row <= 0) return kNoItem;
  return Children(nodes_[item].parent)[row - 1];
}

TreeItem ObjectTree::GetParentItem(TreeItem item) {
  Node* node = Find(item);
  return node ? node->parent : kNoItem;
}

TreeItem ObjectTree::GetSelectedItem() { return Find(selected_) ? selected_ : kNoItem; }

bool ObjectTree::IsExpanded(TreeItem item) {
  Node* node = Find(item);
  return node && node->record.expanded;
}

TreeItem ObjectTree::GetNextVisibleItem(TreeItem item) {
  Node* node = Find(item);
  if (node == nullptr) return kNoItem;
  if (node->record.expanded && !node->children.empty()) return node->children.front();
  for (TreeItem current = item; current != kNoItem; current = GetParentItem(current)) {
    const TreeItem next = GetNextSiblingItem(current);
    if (next != kNoItem) return next;
  }
  return kNoItem;
}

TreeItem ObjectTree::GetPrevVisibleItem(TreeItem item) {
  if (Find(item) == nullptr) return kNoItem;
  TreeItem prev = GetPrevSiblingItem(item);
  if (prev == kNoItem) return GetParentItem(item);
  // The last visible descendant of the previous sibling.
  for (;;) {
    Node* node = Find(prev);
    if (!node->record.expanded || node->children.empty()) return prev;
    prev = node->children.back();
  }
}

}  // namespace korvel
