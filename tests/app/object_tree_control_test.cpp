// The object tree control: check boxes, label clicks, keyboard, tooltips.

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "app/xhtml_tree.h"

namespace korvel::testing {
namespace {

using app::CXHtmlTree;

// root / TABLES (t1, t2, t3) / INDEXES (i1) / VIEWS (empty)
class TreeControlTest : public ::testing::Test {
 protected:
  TreeControlTest() {
    view.resize(300, 400);
    ObjectTree& t = view.Tree();
    root = t.InsertItem(u"/data/shop.db", kNoItem, InsertPosition::Last);
    tables = t.InsertItem(kTablesGroupText, root, InsertPosition::Last);
    indexes = t.InsertItem(kIndexesGroupText, root, InsertPosition::Last);
    views = t.InsertItem(kViewsGroupText, root, InsertPosition::Last);
    t3 = t.InsertItem(u"t3", tables, InsertPosition::First);
    t2 = t.InsertItem(u"t2", tables, InsertPosition::First);
    t1 = t.InsertItem(u"t1", tables, InsertPosition::First);
    i1 = t.InsertItem(u" i1 ON t1", indexes, InsertPosition::First);
    for (TreeItem item : {root, tables, indexes}) t.Expand(item, ExpandAction::Expand);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
  }

  ObjectTree& T() { return view.Tree(); }
  void Click(const QPoint& at) { QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at); }
  void Key(int key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(&view, static_cast<Qt::Key>(key), mods); }
  QPoint ExpandButton(TreeItem item) {
    const QRect row = view.visualRect(view.Model().IndexOf(item));
    return QPoint(row.left() - view.indentation() / 2, row.center().y());
  }

  CXHtmlTree view;
  TreeItem root, tables, indexes, views, t1, t2, t3, i1;
};

TEST_F(TreeControlTest, ModelMirrorsTextsDataAndExpansion) {
  T().SetItemData(t2, 7);
  const QModelIndex index = view.Model().IndexOf(t2);
  EXPECT_EQ(index.data(Qt::DisplayRole).toString(), QStringLiteral("t2"));
  EXPECT_EQ(index.data(app::ObjectTreeModel::ItemDataRole).toInt(), 7);
  EXPECT_EQ(index.parent(), view.Model().IndexOf(tables));
  EXPECT_EQ(view.Model().rowCount(view.Model().IndexOf(tables)), 3);
  EXPECT_TRUE(view.isExpanded(view.Model().IndexOf(tables)));
  EXPECT_FALSE(view.isExpanded(view.Model().IndexOf(views)));
  T().DeleteAllItems();
  EXPECT_EQ(view.Model().rowCount(), 0);
  EXPECT_EQ(T().GetCheckedCount(), 0);
}

TEST_F(TreeControlTest, LabelClickAsksForPreviewEveryTimeOtherPartsNever) {
  QSignalSpy previews(&view, &CXHtmlTree::PreviewRequested);
  Click(view.LabelRect(t2).center());
  ASSERT_EQ(previews.size(), 1);
  EXPECT_EQ(previews[0][0].value<TreeItem>(), t2);
  EXPECT_EQ(T().GetSelectedItem(), t2);
  Click(view.LabelRect(t2).center());  // already selected
  EXPECT_EQ(previews.size(), 2);

  Click(view.CheckBoxRect(t3).center());
  Click(ExpandButton(indexes));
  Click(view.LabelRect(t1).topRight() + QPoint(30, 2));  // beside the label
  EXPECT_EQ(previews.size(), 2);
  EXPECT_FALSE(view.isExpanded(view.Model().IndexOf(indexes)));
  EXPECT_FALSE(T().IsExpanded(indexes));
}

TEST_F(TreeControlTest, CheckBoxClicksToggleSelectAndPropagate) {
  Click(view.CheckBoxRect(tables).center());
  EXPECT_EQ(T().GetCheck(tables), 1);
  for (TreeItem t : {t1, t2, t3}) EXPECT_EQ(T().GetCheck(t), 1);
  EXPECT_EQ(T().GetSelectedItem(), tables);
  EXPECT_EQ(T().GetCheckedCount(), 4);
  EXPECT_EQ(T().StateImage(tables), 2 + 8);  // hot after the click

  Click(view.CheckBoxRect(t2).center());
  EXPECT_EQ(T().GetCheck(tables), 0);
  EXPECT_TRUE(T().IsMixed(tables));
  EXPECT_EQ(view.Model().IndexOf(tables).data(app::ObjectTreeModel::StateImageRole).toInt() & 7, 3);
  EXPECT_EQ(T().GetCheckedCount(), 2);

  // A new unchecked object under a checked group turns the group mixed.
  Click(view.CheckBoxRect(t2).center());
  EXPECT_EQ(T().GetCheck(tables), 1);
  T().InsertItem(u"t4", tables, InsertPosition::Last);
  EXPECT_TRUE(T().IsMixed(tables));

  // An empty group behaves like a leaf.
  Click(view.CheckBoxRect(views).center());
  EXPECT_EQ(T().GetCheck(views), 1);
}

TEST_F(TreeControlTest, SpaceTogglesTheSelectedItem) {
  Click(view.LabelRect(t1).center());
  Key(Qt::Key_Space);
  EXPECT_EQ(T().GetCheck(t1), 1);
  Key(Qt::Key_Space);
  EXPECT_EQ(T().GetCheck(t1), 0);
}

TEST_F(TreeControlTest, UpAndDownSkipDisabledItems) {
  T().SetEnabled(t2, false);
  T().SelectItem(t1);
  Key(Qt::Key_Down);
  EXPECT_EQ(T().GetSelectedItem(), t3);
  Key(Qt::Key_Up);
  EXPECT_EQ(T().GetSelectedItem(), t1);
  // A disabled item cannot be checked or selected.
  Click(view.CheckBoxRect(t2).center());
  EXPECT_EQ(T().GetCheck(t2), 0);
  T().SelectItem(t2);
  EXPECT_EQ(T().GetSelectedItem(), t1);
}

TEST_F(TreeControlTest, ArrowsAndKeypadExpandAndCollapse) {
  T().SelectItem(tables);
  Key(Qt::Key_Left);
  EXPECT_FALSE(T().IsExpanded(tables));
  EXPECT_FALSE(view.isExpanded(view.Model().IndexOf(tables)));
  Key(Qt::Key_Right);
  EXPECT_TRUE(view.isExpanded(view.Model().IndexOf(tables)));

  Key(Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_FALSE(view.isExpanded(view.Model().IndexOf(tables)));
  Key(Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_TRUE(view.isExpanded(view.Model().IndexOf(tables)));

  T().Expand(root, ExpandAction::Collapse);
  T().Expand(tables, ExpandAction::Collapse);
  T().SelectItem(root);
  Key(Qt::Key_Asterisk, Qt::KeypadModifier);
  for (TreeItem item : {root, tables, indexes}) {
    EXPECT_TRUE(view.isExpanded(view.Model().IndexOf(item)));
    EXPECT_TRUE(T().IsExpanded(item));
  }
}

TEST_F(TreeControlTest, DoubleClickTogglesExpansion) {
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, view.LabelRect(tables).center());
  EXPECT_FALSE(T().IsExpanded(tables));
  EXPECT_FALSE(view.isExpanded(view.Model().IndexOf(tables)));
  EXPECT_EQ(T().FindItemData(tables)->everExpanded, 1);
}

TEST_F(TreeControlTest, TooltipOnlyForCutOffTextAtMost78Characters) {
  EXPECT_EQ(view.TooltipFor(t1), QString());
  const std::u16string longName(120, u'x');
  const TreeItem wide = T().InsertItem(longName, tables, InsertPosition::Last);
  EXPECT_EQ(view.TooltipFor(wide), QString(78, 'x'));
  T().FindItemData(t1)->tooltipText = u"own tip";
  EXPECT_EQ(view.TooltipFor(t1), QStringLiteral("own tip"));
}

}  // namespace
}  // namespace korvel::testing
