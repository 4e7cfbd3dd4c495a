#include "output/column_mapping.h"

#include <gtest/gtest.h>

#include "core/object_tree.h"
#include "output/column_types.h"
#include "tests/support/recording_host.h"

namespace korvel {
namespace {

using testing::U8;

class NamingEngine : public sqlite_base {
 public:
  std::u16string CleanName(std::u16string name) override {
    return korvel::CleanName(std::move(name));
  }
};

// Tables t (a TEXT, b INTEGER) and [u v] (id INTEGER PRIMARY KEY), one index.
struct MappingFixture {
  ObjectTree tree;
  NamingEngine engine;
  ScanSettings settings;
  MappingState state;
  TreeItem root, tables, indexes, t, uv, idx;
  MappingFixture() {
    auto& m = engine.model;
    m.tableDescriptors = {u"t +a~b~#2", u"[u v] +id< P.K >~#3"};
    m.columnTypes = {{u"TEXT", u"INTEGER"}, {u"INTEGER"}};
    m.createStatements = {u"create Table [t] ( [a] TEXT, [b] INTEGER )",
                          u"create Table [uv] ( [id] INTEGER )"};
    root = tree.InsertItem(u"/x.db", kNoItem, InsertPosition::Last);
    tables = tree.InsertItem(u"TABLES  ", root, InsertPosition::Last);
    tree.SetItemData(tables, kTablesGroupData);
    indexes = tree.InsertItem(u"INDEXES  ", root, InsertPosition::Last);
    tree.SetItemData(indexes, kIndexesGroupData);
    uv = tree.InsertItem(u" [u v] ", tables, InsertPosition::First);
    tree.SetItemData(uv, 1);
    t = tree.InsertItem(u" t ", tables, InsertPosition::First);
    tree.SetItemData(t, 0);
    idx = tree.InsertItem(u" i ON t", indexes, InsertPosition::First);
    tree.SetItemData(idx, 0);
  }
  ColumnMappingModel Open(TreeItem selected) {
    tree.SelectItem(selected);
    ColumnMappingModel model;
    model.Initialise(tree, engine, settings, state);
    return model;
  }
};

TEST(ColumnMapping, FindTablePositionIgnoresBracketsAndBlanks) {
  MappingFixture f;
  EXPECT_EQ(FindTablePosition(f.tree, u"t"), 1);
  EXPECT_EQ(FindTablePosition(f.tree, u"u v"), 2);
  EXPECT_EQ(FindTablePosition(f.tree, u"[u v] "), 2);
  EXPECT_EQ(FindTablePosition(f.tree, u"T"), 0);  // case-sensitive
  EXPECT_EQ(FindTablePosition(f.tree, u"missing"), 0);
}

TEST(ColumnMapping, ShowsTheTablesColumnsAndTypes) {
  MappingFixture f;
  ColumnMappingModel model = f.Open(f.uv);
  ASSERT_EQ(model.rows().size(), 1u);
  EXPECT_EQ(U8(model.rows()[0].columnText), "id< P.K >");
  EXPECT_EQ(U8(model.rows()[0].dataType), "INTEGER");
  EXPECT_EQ(U8(model.selectedTableText()), " [u v] ");
  EXPECT_EQ(U8(f.state.columnNames[0]), "[id]");
  EXPECT_EQ(U8(f.state.tableName), "[u v]");
}

TEST(ColumnMapping, IndexRootOrGroupSelectionShowsNothing) {
  for (int which = 0; which < 3; ++which) {
    MappingFixture f;
    const TreeItem pick = which == 0 ? f.idx : which == 1 ? f.root : f.tables;
    ColumnMappingModel model = f.Open(pick);
    EXPECT_TRUE(model.empty());
    EXPECT_EQ(model.SaveChanges(), u"");
  }
}

TEST(ColumnMapping, MemoOnTheSecondColumnRebuildsTheDefinition) {
  MappingFixture f;
  ColumnMappingModel model = f.Open(f.t);
  EXPECT_TRUE(model.ClickRow(1));
  EXPECT_EQ(U8(model.columnNameLabel()), "[b]");
  EXPECT_EQ(U8(model.comboSelection()), "INTEGER");
  EXPECT_EQ(model.ChangeColumnType(u"Memo"), u"");
  EXPECT_EQ(U8(model.rows()[1].mapping), "Memo");
  EXPECT_EQ(U8(model.SaveChanges()), "Changes Done");
  EXPECT_EQ(U8(f.engine.model.createStatements[0]), "Create Table [t] ([a] TEXT , [b] Memo )");
  EXPECT_EQ(U8(f.engine.model.createStatements[1]), "create Table [uv] ( [id] INTEGER )");
}

TEST(ColumnMapping, EmptyComboIsRefusedAndKeepsTheShownType) {
  MappingFixture f;
  ColumnMappingModel model = f.Open(f.t);
  model.ClickRow(0);
  EXPECT_EQ(U8(model.ChangeColumnType(u"")), "please select column type from combo box");
  EXPECT_EQ(U8(model.rows()[0].mapping), "TEXT");
  EXPECT_EQ(U8(f.state.columnTypes[0]), "");
}

TEST(ColumnMapping, MissingListEntriesLeaveTheDialogEmpty) {
  MappingFixture f;
  f.engine.model.columnTypes.pop_back();  // the second table has no types
  EXPECT_TRUE(f.Open(f.uv).empty());
  f.tree.SetItemData(f.t, 7);  // data beyond every list
  EXPECT_TRUE(f.Open(f.t).empty());
  ColumnMappingModel model;
  EXPECT_FALSE(model.ClickRow(0));  // never initialised
  EXPECT_EQ(model.ChangeColumnType(u"TEXT"), u"");
}

TEST(ColumnMapping, TheTwelveChoices) {
  EXPECT_EQ(U8(MappingTypeChoices()),
            (std::vector<std::string>{"TEXT", "Memo", "Number", "INTEGER", "double", "CURRENCY",
                                      "AUTONUMBER", "date", "OLEOBJECT", "time", "YesNO",
                                      "BINARY"}));
}

}  // namespace
}  // namespace korvel
