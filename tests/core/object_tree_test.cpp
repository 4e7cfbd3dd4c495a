#include "core/object_tree.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

// root / TABLES (t1, t2, t3) / INDEXES (empty)
struct Fixture {
  ObjectTree tree;
  TreeItem root, tables, indexes, t1, t2, t3;
  Fixture() {
    root = tree.InsertItem(u"/x.db", kNoItem, InsertPosition::Last);
    tables = tree.InsertItem(u"TABLES  ", root, InsertPosition::Last);
    indexes = tree.InsertItem(u"INDEXES  ", root, InsertPosition::Last);
    t3 = tree.InsertItem(u"t3", tables, InsertPosition::First);
    t2 = tree.InsertItem(u"t2", tables, InsertPosition::First);
    t1 = tree.InsertItem(u"t1", tables, InsertPosition::First);
  }
};

TEST(ObjectTree, InsertFirstAndLastOrderChildren) {
  Fixture f;
  EXPECT_EQ(f.tree.GetChildItem(f.tables), f.t1);
  EXPECT_EQ(f.tree.GetNextSiblingItem(f.t1), f.t2);
  EXPECT_EQ(f.tree.GetNextSiblingItem(f.t2), f.t3);
  EXPECT_EQ(f.tree.GetNextSiblingItem(f.t3), kNoItem);
  EXPECT_EQ(f.tree.GetParentItem(f.t2), f.tables);
  EXPECT_EQ(f.tree.GetRootItem(), f.root);
  EXPECT_EQ(f.tree.GetItemText(f.t2), u"t2");
  EXPECT_EQ(f.tree.GetItemText(kNoItem), u"");
}

TEST(ObjectTree, CheckingAGroupChecksEveryChildAndUncheckingOneMakesItMixed) {
  Fixture f;
  f.tree.SetCheck(f.tables, 1);
  EXPECT_EQ(f.tree.GetCheck(f.t1), 1);
  EXPECT_EQ(f.tree.GetCheck(f.t3), 1);
  EXPECT_EQ(f.tree.GetCheck(f.tables), 1);
  EXPECT_EQ(f.tree.StateImage(f.tables), 2);

  f.tree.SetCheck(f.t2, 0);
  EXPECT_EQ(f.tree.GetCheck(f.tables), 0);
  EXPECT_TRUE(f.tree.IsMixed(f.tables));
  EXPECT_EQ(f.tree.StateImage(f.tables), 3);
  EXPECT_EQ(f.tree.GetCheckedCount(), 2);

  f.tree.SetCheck(f.t2, 1);
  EXPECT_EQ(f.tree.GetCheck(f.tables), 1);
  EXPECT_FALSE(f.tree.IsMixed(f.tables));
  EXPECT_EQ(f.tree.GetCheckedCount(), 4);  // the group and its three tables
}

TEST(ObjectTree, CheckingEveryChildByHandChecksTheGroupAndTheRootFollows) {
  Fixture f;
  f.tree.SetCheck(f.t1, 1);
  f.tree.SetCheck(f.t2, 1);
  EXPECT_EQ(f.tree.GetCheck(f.tables), 0);
  f.tree.SetCheck(f.t3, 1);
  EXPECT_EQ(f.tree.GetCheck(f.tables), 1);
  // The empty INDEXES group is a leaf of its own: the root stays mixed.
  EXPECT_EQ(f.tree.GetCheck(f.root), 0);
  f.tree.SetCheck(f.indexes, 1);
  EXPECT_EQ(f.tree.GetCheck(f.root), 1);
  EXPECT_EQ(f.tree.GetCheckedCount(), 6);
}

TEST(ObjectTree, NewUncheckedChildTurnsACheckedGroupMixed) {
  Fixture f;
  f.tree.SetCheck(f.tables, 1);
  const TreeItem t4 = f.tree.InsertItem(u"t4", f.tables, InsertPosition::Last);
  EXPECT_EQ(f.tree.GetCheck(t4), 0);
  EXPECT_EQ(f.tree.GetCheck(f.tables), 0);
  EXPECT_TRUE(f.tree.IsMixed(f.tables));
}

TEST(ObjectTree, EmptyGroupTogglesItsOwnFlagAndCounts) {
  Fixture f;
  f.tree.SetCheck(f.indexes, 1);
  EXPECT_EQ(f.tree.GetCheck(f.indexes), 1);
  EXPECT_EQ(f.tree.GetCheckedCount(), 1);
  f.tree.ToggleCheckByUser(f.indexes);
  EXPECT_EQ(f.tree.GetCheck(f.indexes), 0);
}

TEST(ObjectTree, DisabledItemsCannotBeCheckedOrSelected) {
  Fixture f;
  f.tree.SetEnabled(f.t2, false);
  f.tree.SetCheck(f.t2, 1);
  EXPECT_EQ(f.tree.GetCheck(f.t2), 0);
  f.tree.SelectItem(f.t1);
  f.tree.SelectItem(f.t2);
  EXPECT_EQ(f.tree.GetSelectedItem(), f.t1);
  EXPECT_EQ(f.tree.StateImage(f.t2), 5);
}

TEST(ObjectTree, UserToggleMarksTheImageHotUntilRecomputed) {
  Fixture f;
  f.tree.ToggleCheckByUser(f.t1);
  EXPECT_EQ(f.tree.GetCheck(f.t1), 1);
  EXPECT_EQ(f.tree.StateImage(f.t1), 2 + 8);
  f.tree.ToggleCheckByUser(f.tables);
  EXPECT_EQ(f.tree.StateImage(f.tables), 2 + 8);
  f.tree.SetCheck(f.t2, 0);  // recomputes the group's image: the hot mark goes
  EXPECT_EQ(f.tree.StateImage(f.tables), 3);
  f.tree.SetCheck(f.tables, 1);
  EXPECT_EQ(f.tree.StateImage(f.t1), 2);
  f.tree.readOnly = true;
  f.tree.ToggleCheckByUser(f.t1);
  EXPECT_EQ(f.tree.GetCheck(f.t1), 1);
}

TEST(ObjectTree, DeleteAllItemsEmptiesEverything) {
  Fixture f;
  f.tree.SetCheck(f.tables, 1);
  f.tree.DeleteAllItems();
  EXPECT_EQ(f.tree.GetRootItem(), kNoItem);
  EXPECT_EQ(f.tree.GetCheckedCount(), 0);
  EXPECT_EQ(f.tree.FindItemData(f.t1), nullptr);
  EXPECT_EQ(f.tree.GetCheck(f.t1), 0);
  // Handles are not reused: an old handle never names a new item.
  const TreeItem fresh = f.tree.InsertItem(u"new", kNoItem, InsertPosition::Last);
  EXPECT_NE(fresh, f.root);
  EXPECT_NE(fresh, f.t3);
}

TEST(ObjectTree, ItemDataAndVisibleNavigationFollowExpansion) {
  Fixture f;
  f.tree.SetItemData(f.tables, kTablesGroupData);
  EXPECT_EQ(f.tree.GetItemData(f.tables), -2);
  EXPECT_EQ(f.tree.GetNextVisibleItem(f.root), kNoItem);  // collapsed
  f.tree.Expand(f.root, ExpandAction::Expand);
  EXPECT_EQ(f.tree.GetNextVisibleItem(f.root), f.tables);
  EXPECT_EQ(f.tree.GetNextVisibleItem(f.tables), f.indexes);
  f.tree.Expand(f.tables, ExpandAction::Toggle);
  EXPECT_EQ(f.tree.GetNextVisibleItem(f.tables), f.t1);
  EXPECT_EQ(f.tree.GetNextVisibleItem(f.t3), f.indexes);
  EXPECT_EQ(f.tree.GetPrevVisibleItem(f.indexes), f.t3);
  EXPECT_EQ(f.tree.GetPrevVisibleItem(f.t1), f.tables);
  EXPECT_TRUE(f.tree.FindItemData(f.tables)->everExpanded);
  f.tree.Expand(f.t1, ExpandAction::Expand);  // no children: nothing happens
  EXPECT_FALSE(f.tree.IsExpanded(f.t1));
}

TEST(ObjectTree, EmptyTreeCountsNothing) {
  ObjectTree tree;
  EXPECT_EQ(tree.GetCheckedCount(), 0);
  EXPECT_EQ(tree.GetRootItem(), kNoItem);
  EXPECT_EQ(tree.GetSelectedItem(), kNoItem);
}

}  // namespace
}  // namespace korvel
