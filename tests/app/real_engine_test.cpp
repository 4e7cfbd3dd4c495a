// The window on the real format-3 engine and a database built with the
// SQLite library: open, tree, preview and save end to end.

#include <filesystem>

#include "app/engine_factory.h"
#include "tests/app/frame_fixture.h"

namespace korvel::testing {
namespace {

class RealEngineTest : public ::testing::Test {
 protected:
  RealEngineTest() : f(&app::MakeEngine) {}

  void SetUp() override {
    if (!app::MakeEngine(2)) GTEST_SKIP() << "the format-3 engine is not part of this build";
    path = f.data.File("shop.db");
    std::string sql =
        "BEGIN; CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT);"
        "CREATE TABLE t2 (a, b);"
        "CREATE INDEX i1 ON t1(name);"
        "CREATE VIEW vw AS SELECT 1;"
        "CREATE TRIGGER g1 AFTER INSERT ON t1 BEGIN SELECT 1; END;"
        "INSERT INTO t2 VALUES ('x', 1);";
    for (int i = 1; i <= 50; ++i) {
      sql += "INSERT INTO t1 VALUES (" + std::to_string(i) + ", 'name " + std::to_string(i) + "');";
    }
    MakeDatabase(path, sql + "COMMIT;", 1024);
    ASSERT_TRUE(f.OpenAndWait(path));
  }

  TreeItem Item(const std::u16string& group, const std::u16string& text) {
    return f.Child(f.Group(group), text);
  }

  FrameFixture f;
  std::string path;
};

TEST_F(RealEngineTest, TreeShowsEveryObjectUnderItsGroup) {
  EXPECT_TRUE(f.Messages().contains(Q(kScanCompleted)));
  EXPECT_EQ(Q(f.Tree().GetItemText(f.Tree().GetRootItem())), QString::fromStdString(path));
  EXPECT_NE(Item(kTablesGroupText, u" t1 "), kNoItem);
  EXPECT_NE(Item(kTablesGroupText, u" t2 "), kNoItem);
  EXPECT_NE(Item(kIndexesGroupText, u" i1 ON t1"), kNoItem);
  EXPECT_NE(Item(kViewsGroupText, u" vw"), kNoItem);
  EXPECT_NE(Item(kTriggersGroupText, u"g1"), kNoItem);
}

TEST_F(RealEngineTest, TablePreviewShowsRowsInFileOrder) {
  const TreeItem t1 = Item(kTablesGroupText, u" t1 ");
  ASSERT_NE(t1, kNoItem);
  ASSERT_TRUE(f.Preview(t1));
  auto& rows = f.frame->RecordArea()->Records();
  ASSERT_EQ(rows.RowCount(), 50u);
  EXPECT_EQ(rows.Cell(0, 1), QStringLiteral("name 1"));
  EXPECT_EQ(rows.Cell(49, 1), QStringLiteral("name 50"));
  EXPECT_EQ(f.Caption(), QStringLiteral(" t1 [50]"));
  EXPECT_EQ(f.GridColumnTitles().size(), 3);
}

TEST_F(RealEngineTest, IndexPreviewShowsItsStatement) {
  const TreeItem i1 = Item(kIndexesGroupText, u" i1 ON t1");
  ASSERT_NE(i1, kNoItem);
  ASSERT_TRUE(f.Preview(i1));
  EXPECT_TRUE(f.frame->RecordArea()->StatementText().contains("i1 ON t1"));
  EXPECT_EQ(f.Caption(), QStringLiteral(" i1 ON t1"));
}

TEST_F(RealEngineTest, SaveWritesCheckedTablesAndAsksBeforeReplacing) {
  f.ClickCheckBox(f.Group(kTablesGroupText));
  ASSERT_EQ(f.Tree().GetCheck(f.Group(kTablesGroupText)), 1);
  f.frame->OnSave();
  ASSERT_TRUE(f.WaitIdle());
  const std::string repaired = f.data.File("Repaired_shop.db");
  ASSERT_TRUE(std::filesystem::exists(repaired));
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM t1")[0][0], "50");

  f.platform.messages.answers = {MessageAnswer::No};
  f.frame->OnSave();
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_TRUE(f.Messages().last().startsWith("The Database File "));
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM t2")[0][0], "1");

  f.platform.messages.answers = {MessageAnswer::Yes};
  f.frame->OnSave();
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM t1")[0][0], "50");
}

}  // namespace
}  // namespace korvel::testing

namespace korvel::testing {
namespace {

// A format-2.1 file goes through the same window: its own engine scans it
// and its table previews in the grid.
TEST(RealFormat2Engine, OpensAndPreviewsAFormat21File) {
  if (!app::MakeEngine(1)) GTEST_SKIP() << "the format-2.1 engine is not part of this build";
  FrameFixture f(&app::MakeEngine);
  ASSERT_TRUE(f.OpenAndWait(FixturePath("format2/f2_contacts.db")));
  EXPECT_TRUE(f.Messages().contains(Q(kScanCompleted)));
  const TreeItem tables = f.Group(kTablesGroupText);
  ASSERT_EQ(f.Tree().Children(tables).size(), 1u);
  const TreeItem contacts = f.Tree().GetChildItem(tables);
  EXPECT_TRUE(Q(f.Tree().GetItemText(contacts)).contains("contacts"));
  ASSERT_TRUE(f.Preview(contacts));
  EXPECT_EQ(f.frame->RecordArea()->Records().RowCount(), 11u);
  EXPECT_EQ(f.GridColumnTitles().size(), 5);
  EXPECT_TRUE(f.Caption().endsWith("[11]"));
}

// A file whose header is wiped opens through the dialog's rebuilt header and
// previews and saves like the healthy file.
TEST(RealEngineWipedHeader, OpensPreviewsAndSaves) {
  FrameFixture f(&app::MakeEngine);
  if (!app::MakeEngine(2)) GTEST_SKIP() << "the format-3 engine is not part of this build";
  const std::string path = f.data.File("wiped.db");
  std::string sql = "BEGIN; CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT);";
  for (int i = 1; i <= 80; ++i) {
    sql += "INSERT INTO t1 VALUES (" + std::to_string(i) + ", 'name " + std::to_string(i) + "');";
  }
  MakeDatabase(path, sql + "COMMIT;", 1024);
  PatchBytes(path, 0, std::vector<uint8_t>(100, 0));
  ASSERT_TRUE(f.OpenAndWait(path));
  EXPECT_TRUE(f.Messages().contains(QStringLiteral(
      "No database header was found; the header was rebuilt from the pages (page size 1024, "
      "UTF-8).")));
  EXPECT_TRUE(f.Messages().contains(Q(kScanCompleted)));
  const TreeItem t1 = f.Child(f.Group(kTablesGroupText), u" t1 ");
  ASSERT_NE(t1, kNoItem);
  ASSERT_TRUE(f.Preview(t1));
  EXPECT_EQ(f.frame->RecordArea()->Records().RowCount(), 80u);

  f.ClickCheckBox(f.Group(kTablesGroupText));
  f.frame->OnSave();
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_EQ(QueryRows(f.data.File("Repaired_wiped.db"), "SELECT count(*), sum(id) FROM t1"),
            (std::vector<std::vector<std::string>>{{"80", "3240"}}));
}

}  // namespace
}  // namespace korvel::testing
