#include "format3/tree_population.h"

#include <gtest/gtest.h>

#include "tests/support/recording_host.h"

namespace korvel {
namespace {

using testing::RecordingHost;
using testing::U8;

TEST(ObjectNames, AreTakenFromTheStatements) {
  struct Case {
    std::u16string statement;
    ObjectKind kind;
    std::optional<std::u16string> name;
  };
  const Case cases[] = {
      {u"CREATE TABLE t1 (a", ObjectKind::Table, u" t1 "},
      {u"create table [x y](a", ObjectKind::Table, u" [x y]"},
      {u"CREATE INDEX i1 ON t1(a", ObjectKind::Index, u" i1 ON t1"},
      {u"CREATE VIEW vw AS SELECT 1", ObjectKind::View, u" vw"},
      {u"%REATE VIEW \"as\" AS SELECT 1", ObjectKind::View, u" \"as\""},
      {u"CREATE VIEW vw", ObjectKind::View, u" vw"},
      {u"CREATE TRIGGER  g1 AFTER INSERT", ObjectKind::Trigger, u"g1"},
      {u"CREATE TRIGGER", ObjectKind::Trigger, u""},
      {u"no keyword here", ObjectKind::Table, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.statement));
    EXPECT_EQ(ObjectNameFromStatement(c.statement, c.kind), c.name);
  }
}

// A host whose tree holds the root and the four groups, as the scan worker
// leaves it before the engine's scan.
struct TreeRun {
  RecordingHost host;
  TreeRun() {
    ObjectTree& t = host.tree;
    const TreeItem root = t.InsertItem(u"db", kNoItem, InsertPosition::Last);
    ScanSettings& s = host.settings;
    s.tablesGroup = t.InsertItem(kTablesGroupText, root, InsertPosition::Last);
    s.indexesGroup = t.InsertItem(kIndexesGroupText, root, InsertPosition::Last);
    s.viewsGroup = t.InsertItem(kViewsGroupText, root, InsertPosition::Last);
    s.triggersGroup = t.InsertItem(kTriggersGroupText, root, InsertPosition::Last);
  }
  std::vector<std::pair<std::string, int>> Items(TreeItem group) {
    std::vector<std::pair<std::string, int>> out;
    for (TreeItem i : host.tree.Children(group)) {
      out.emplace_back(U8(host.tree.GetItemText(i)), host.tree.GetItemData(i));
    }
    return out;
  }
};

using Items = std::vector<std::pair<std::string, int>>;

TEST(TreePopulation, Utf8NamesOnceAtTheTopReferringToTheLastEntry) {
  TreeRun run;
  RecoveredModel m;
  m.tableStatements8 = {"CREATE TABLE a (x", "CREATE TABLE b (y", "CREATE TABLE a (z",
                        "garbage without the word"};
  m.indexStatements8 = {"CREATE UNIQUE INDEX i2 ON a(x", "CREATE UNIQUE INDEX i2 ON a(x, z"};
  m.viewStatements8 = {"CREATE VIEW v1 AS SELECT 1", "%REATE VIEW v2 as SELECT 2"};
  m.triggerStatements8 = {"CREATE TRIGGER g1 AFTER INSERT ON a BEGIN SELECT 1; END"};
  PopulateObjectTree(run.host, m, TextPass::Utf8);
  const ScanSettings& s = run.host.settings;
  EXPECT_EQ(run.Items(s.tablesGroup), (Items{{" b ", 1}, {" a ", 2}}));
  EXPECT_EQ(run.Items(s.indexesGroup), (Items{{" i2 ON a", 1}}));
  EXPECT_EQ(run.Items(s.viewsGroup), (Items{{" v1", 0}, {" v2", 1}}));
  EXPECT_EQ(run.Items(s.triggersGroup), (Items{{"g1", 0}}));
  EXPECT_EQ(s.nameMaps[0].at(u" a "), (std::vector<int>{2, 0}));
  EXPECT_EQ(s.nameMaps[0].at(u" b "), (std::vector<int>{1}));
  EXPECT_EQ(s.nameMaps[1].at(u" i2 ON a"), (std::vector<int>{1, 0}));
  EXPECT_EQ(s.nameMaps[2].size(), 2u);
  for (TreeItem g : {s.tablesGroup, s.indexesGroup, s.viewsGroup, s.triggersGroup}) {
    EXPECT_TRUE(run.host.tree.IsExpanded(g));
  }
}

TEST(TreePopulation, Utf16ItemsPerEntryWithTheirIndexes) {
  TreeRun run;
  RecoveredModel m;
  m.tableStatements16 = {u"CREATE TABLE a (x", u"CREATE TABLE b (y", u"CREATE TABLE a (z"};
  m.indexStatements16 = {u"CREATE INDEX i1 ON a(x", u"CREATE INDEX i1 ON a(x, z"};
  m.viewStatements16 = {u"CREATE VIEW v1 AS SELECT 1", u"CREATE VIEW v2 AS SELECT 2"};
  m.triggerStatements16 = {u"CREATE TRIGGER g1 AFTER INSERT", u"CREATE TRIGGER g2 BEFORE"};
  PopulateObjectTree(run.host, m, TextPass::Utf16);
  const ScanSettings& s = run.host.settings;
  EXPECT_EQ(run.Items(s.tablesGroup), (Items{{" a ", 2}, {" b ", 1}, {" a ", 0}}));
  EXPECT_EQ(run.Items(s.indexesGroup), (Items{{" i1 ON a", 1}}));
  EXPECT_EQ(run.Items(s.viewsGroup), (Items{{" v2", 1}, {" v1", 0}}));
  EXPECT_EQ(run.Items(s.triggersGroup), (Items{{"g2", 1}, {"g1", 0}}));
  EXPECT_TRUE(s.nameMaps[0].empty());
  EXPECT_EQ(s.nameMaps[1].at(u" i1 ON a"), (std::vector<int>{1, 0}));
}

}  // namespace
}  // namespace korvel
