// The scan of hand-made format-2.1 files: master records, statements, the
// object tree and damaged master pages.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/text_codec.h"
#include "tests/format2/format2_builder.h"
#include "tests/format2/format2_test_support.h"
#include "tests/support/test_database.h"

namespace korvel::testing::format2 {
namespace {

bool HasLine(const std::vector<std::u16string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), Utf8ToUtf16(line)) != lines.end();
}

class Format2Scan : public ::testing::Test {
 protected:
  std::unique_ptr<Session> Scan(const std::vector<uint8_t>& prefix = {}) {
    file.Save(path, prefix);
    return ScanFile(path);
  }
  TempDir dir;
  std::string path = dir.File("db2.db");
  Format2File file;
};

TEST_F(Format2Scan, TableIsFoundDescribedAndListed) {
  file.AddTable("t1", "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT)", {{1, {{}, "a"}}});
  auto s = Scan();
  EXPECT_EQ(s->outcome, ScanOutcome::Completed);
  const RecoveredModel& model = s->engine().model;
  EXPECT_TRUE(HasLine(s->host.lines, "Table t1 is found"));
  ASSERT_EQ(model.tableDescriptors.size(), 1u);
  EXPECT_EQ(U8(model.tableDescriptors[0]), "t1+id < P.K >~name ~#3");
  EXPECT_EQ(U8(model.createStatements[0]), "create Table [t1] ( [id] INTEGER , [name] TEXT )");
  EXPECT_EQ(model.rootPages, (std::vector<uint32_t>{3}));
  EXPECT_EQ(model.pageTable2.size(), 3u);
  EXPECT_EQ(model.pageTable2[1].firstCell, 8);
  // The tree item reads as the name with the blank on each side.
  EXPECT_EQ(GroupTexts(*s, s->host.settings.tablesGroup), (std::vector<std::string>{" t1 "}));
  EXPECT_EQ(s->host.tree.GetItemData(s->host.tree.GetChildItem(s->host.settings.tablesGroup)), 0);
}

TEST_F(Format2Scan, IndexesViewsAndTriggersIncludingDamagedFirstLetters) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT, b TEXT)", {});
  file.AddMasterRecord("index", "i2", "t1", 4, "CREATE INDEX i2 ON t1 (a, b)");
  file.AddMasterRecord("index", "u1", "t1", 5, "CREATE UNIQUE INDEX u1 ON t1 (b)");
  file.AddMasterRecord("view", "v", "v", 0, "%REATE VIEW v AS SELECT a FROM t1");
  file.AddMasterRecord("trigger", "g", "t1", 0,
                       "&REATE TRIGGER g AFTER INSERT ON t1 BEGIN SELECT 1; END");
  file.AddMasterRecord("view", "assets", "assets", 0, "CREATE VIEW assets AS SELECT b FROM t1");
  auto s = Scan();
  const RecoveredModel& model = s->engine().model;
  EXPECT_TRUE(HasLine(s->host.lines, "Index i2 is found"));
  EXPECT_EQ(model.indexStatements8,
            (std::vector<std::string>{"CREATE INDEX i2 ON t1 (a", "CREATE INDEX i2 ON t1 (a, b",
                                      "CREATE UNIQUE INDEX u1 ON t1 (b"}));
  EXPECT_EQ(model.viewStatements8[0], "%REATE VIEW v AS SELECT a FROM t1");
  EXPECT_EQ(model.triggerStatements8[0], "&REATE TRIGGER g AFTER INSERT ON t1 BEGIN SELECT 1; END");
  EXPECT_EQ(model.rootPages, (std::vector<uint32_t>{3, 4, 5, 0, 0, 0}));

  const ScanSettings& st = s->host.settings;
  EXPECT_EQ(GroupTexts(*s, st.indexesGroup), (std::vector<std::string>{" i2 ON t1 ", " u1 ON t1 "}));
  // The two-column index refers to its complete entry.
  EXPECT_EQ(s->host.tree.GetItemData(s->host.tree.GetChildItem(st.indexesGroup)), 1);
  EXPECT_EQ(GroupTexts(*s, st.viewsGroup), (std::vector<std::string>{" v", " assets"}));
  EXPECT_EQ(GroupTexts(*s, st.triggersGroup), (std::vector<std::string>{"g"}));
}

TEST_F(Format2Scan, FirstByteOverwrittenByAnyByteIsReadByTheRecordsKind) {
  file.AddTable("t1", "\x01REATE TABLE t1 (a TEXT)", {{1, {"x"}}});
  file.AddMasterRecord("index", "i1", "t1", 4, "#REATE INDEX i1 ON t1 (a)");
  file.AddMasterRecord("view", "v", "v", 0, "*REATE VIEW v AS SELECT a FROM t1");
  file.AddMasterRecord("trigger", "g", "t1", 0, "xREATE TRIGGER g AFTER INSERT ON t1 BEGIN SELECT 1; END");
  // The kind field disagrees: no statement is made up.
  file.AddMasterRecord("view", "w", "w", 0, "?REATE TABLE w (a TEXT)");
  auto s = Scan();
  const RecoveredModel& model = s->engine().model;
  ASSERT_EQ(model.tableStatements8.size(), 1u);
  EXPECT_EQ(model.tableStatements8[0], "CREATE TABLE t1 (a TEXT");
  EXPECT_EQ(model.indexStatements8, (std::vector<std::string>{"CREATE INDEX i1 ON t1 (a"}));
  EXPECT_EQ(model.viewStatements8, (std::vector<std::string>{"CREATE VIEW v AS SELECT a FROM t1"}));
  EXPECT_EQ(model.triggerStatements8.size(), 1u);
  EXPECT_EQ(GroupTexts(*s, s->host.settings.viewsGroup), (std::vector<std::string>{" v"}));
  EXPECT_EQ(Preview(*s, 0), (std::vector<RecordRow>{{u"x"}}));
}

TEST_F(Format2Scan, AutomaticIndexHasARootPageEntryButNoTreeItem) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT UNIQUE)", {});
  file.AddMasterRecord("index", "(t1 autoindex 1)", "t1", 4, std::nullopt);
  // A table whose name merely contains the word is still a table.
  file.AddTable("autoindex_log", "CREATE TABLE autoindex_log (a TEXT)", {});
  auto s = Scan();
  const RecoveredModel& model = s->engine().model;
  EXPECT_EQ(model.rootPages, (std::vector<uint32_t>{3, 0, 4}));
  EXPECT_TRUE(model.indexStatements8.empty());
  EXPECT_EQ(GroupTexts(*s, s->host.settings.indexesGroup), std::vector<std::string>{});
  EXPECT_EQ(GroupTexts(*s, s->host.settings.tablesGroup),
            (std::vector<std::string>{" t1 ", " autoindex_log "}));
}

TEST_F(Format2Scan, TwoTablesOfTheSameNameGiveOneItemForTheLaterOne) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT)", {});
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT, b TEXT)", {});
  auto s = Scan();
  EXPECT_EQ(s->engine().model.tableDescriptors.size(), 2u);
  EXPECT_EQ(GroupTexts(*s, s->host.settings.tablesGroup), (std::vector<std::string>{" t1 "}));
  EXPECT_EQ(s->host.tree.GetItemData(s->host.tree.GetChildItem(s->host.settings.tablesGroup)), 1);
  EXPECT_EQ(s->host.settings.nameMaps[0].at(u" t1 "), (std::vector<int>{1, 0}));
}

TEST_F(Format2Scan, LineBreaksInStatementsReadAsBlanksInTheTree) {
  file.AddTable("t1", "CREATE TABLE t1\n(\n  a TEXT\n)", {});
  file.AddMasterRecord("index", "i1", "t1", 4, "CREATE INDEX i1\nON t1 (a)");
  auto s = Scan();
  EXPECT_EQ(GroupTexts(*s, s->host.settings.tablesGroup), (std::vector<std::string>{" t1 "}));
  EXPECT_EQ(GroupTexts(*s, s->host.settings.indexesGroup), (std::vector<std::string>{" i1 ON t1 "}));
  EXPECT_EQ(s->engine().model.indexStatements8,
            (std::vector<std::string>{"CREATE INDEX i1\nON t1 (a"}));
}

TEST_F(Format2Scan, MasterPageWithoutFirstCellOffsetIsReadFromOffsetEight) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT)", {});
  file.Page(2)[4] = 0;
  file.Page(2)[5] = 0;
  auto s = Scan();
  EXPECT_EQ(s->engine().model.tableDescriptors.size(), 1u);
}

// A master record of a table whose statement is padded to give the record
// exactly `length` bytes.
struct PaddedMaster {
  std::string record, sql;
};
PaddedMaster MasterRecordOfLength(size_t length) {
  for (size_t pad = 0; pad < 4000; ++pad) {
    const std::string sql = "CREATE TABLE t (a" + std::string(pad, 'x') + " TEXT, b TEXT)";
    const std::string record = EncodeRecord({"table", "t", "t", "3", sql});
    if (record.size() == length) return {record, sql};
  }
  throw std::runtime_error("no such length");
}

class Format2MasterLength : public ::testing::TestWithParam<size_t> {};

TEST_P(Format2MasterLength, StatementIsReadWholeAcrossOverflowPages) {
  TempDir dir;
  Format2File file;
  file.NewPage();  // page 3, the table root
  const PaddedMaster master = MasterRecordOfLength(GetParam());
  file.AddRawMasterRecord(master.record);
  // The cell keeps 232 record bytes after the key; more go on overflow pages.
  EXPECT_EQ(!file.overflowPages[0].empty(), GetParam() > 232);
  file.Save(dir.File("m.db"));
  auto s = ScanFile(dir.File("m.db"));
  const RecoveredModel& model = s->engine().model;
  ASSERT_EQ(model.tableDescriptors.size(), 1u);
  EXPECT_EQ(model.tableStatements8[0], master.sql.substr(0, master.sql.size() - 1));
  EXPECT_EQ(model.columnTypes[0].size(), 2u);
  EXPECT_EQ(model.recordLengths[0], static_cast<int64_t>(master.record.size() + 4));
  EXPECT_EQ(s->outcome, ScanOutcome::Completed);
}

INSTANTIATE_TEST_SUITE_P(Lengths, Format2MasterLength,
                         ::testing::Values(100, 232, 233, 239, 240, 1252, 1253, 3000));

TEST_F(Format2Scan, DatabaseAfterAPrefixIsReadWhereItsHeaderIs) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT)", {{1, {"x"}}});
  auto s = Scan(std::vector<uint8_t>(777, 0x5a));
  EXPECT_EQ(s->engine().headerPosition, 777u);
  EXPECT_EQ(s->engine().model.tableDescriptors.size(), 1u);
  EXPECT_EQ(s->engine().model.pageTable2.size(), 3u);
  EXPECT_EQ(Preview(*s, 0), (std::vector<RecordRow>{{u"x"}}));
}

TEST_F(Format2Scan, FileShorterThanTwoPagesEndsTheScanCleanly) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT)", {});
  for (uint64_t length : {1024u, 1500u, 2047u}) {
    file.Save(path);
    Truncate(path, length);
    auto s = ScanFile(path);
    EXPECT_EQ(s->outcome, ScanOutcome::EndedWithErrors) << length;
    EXPECT_TRUE(s->engine().model.tableDescriptors.empty());
    EXPECT_EQ(s->engine().model.pageTable2.size(), 1u);
  }
}

TEST_F(Format2Scan, MasterTreeOfSeveralLevelsIsReadInKeyOrder) {
  // Page 2 is an interior page: its cell's left child and its right child
  // hold further master records, and the left child has a child of its own.
  const uint32_t left = file.NewPage();
  const uint32_t leftLeft = file.NewPage();
  const uint32_t right = file.NewPage();
  auto master = [](const std::string& name, uint32_t root) {
    return EncodeRecord({"table", name, name, std::to_string(root),
                         "CREATE TABLE " + name + " (a TEXT)"});
  };
  file.SetTreePage(leftLeft, {{0, 1, master("a", 10)}});
  file.SetTreePage(left, {{leftLeft, 2, master("b", 11)}});
  file.SetTreePage(2, {{left, 3, master("c", 12)}}, right);
  file.SetTreePage(right, {{0, 4, master("d", 13)}, {0, 5, master("e", 14)}});
  auto s = Scan();
  EXPECT_EQ(GroupTexts(*s, s->host.settings.tablesGroup),
            (std::vector<std::string>{" a ", " b ", " c ", " d ", " e "}));
  EXPECT_EQ(s->engine().model.rootPages, (std::vector<uint32_t>{10, 11, 12, 13, 14}));
  EXPECT_EQ(s->outcome, ScanOutcome::Completed);
}

TEST_F(Format2Scan, MasterChildrenPointingBackOrOutsideTheFileAreSkipped) {
  const uint32_t child = file.NewPage();
  auto master = [](const std::string& name) {
    return EncodeRecord({"table", name, name, "3", "CREATE TABLE " + name + " (a TEXT)"});
  };
  // The child points back to page 2 and to itself; page 2's right child and
  // a second cell point beyond the end of the file and to page 1.
  file.SetTreePage(child, {{2, 1, master("a")}, {child, 2, master("b")}}, 2);
  file.SetTreePage(2, {{child, 3, master("c")}, {1, 4, master("d")}}, 999);
  auto s = Scan();
  EXPECT_EQ(GroupTexts(*s, s->host.settings.tablesGroup),
            (std::vector<std::string>{" a ", " b ", " c ", " d "}));
  EXPECT_EQ(s->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_TRUE(s->engine().scanReportedDamage);
}

TEST_F(Format2Scan, CellChainThatLoopsEndsThePage) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT)", {});
  file.AddTable("t2", "CREATE TABLE t2 (a TEXT)", {});
  // The second cell's next offset points back at the first cell.
  uint8_t* page = file.Page(2);
  const uint16_t second = static_cast<uint16_t>(page[8 + 6] | (page[8 + 7] << 8));
  page[second + 6] = 8;
  page[second + 7] = 0;
  auto s = Scan();
  EXPECT_EQ(s->engine().model.tableDescriptors.size(), 2u);
  EXPECT_EQ(s->outcome, ScanOutcome::CompletedWithDamage);
}

TEST_F(Format2Scan, RecordWithDamagedHeaderIsSearchedForItsStatement) {
  std::string record = EncodeRecord({"table", "t9", "t9", "3", "CREATE TABLE t9 (a TEXT)"});
  record[0] = static_cast<char>(0xff);  // the first offset now lies past the record
  file.NewPage();
  file.AddRawMasterRecord(record);
  auto s = Scan();
  ASSERT_EQ(s->engine().model.tableDescriptors.size(), 1u);
  EXPECT_EQ(U8(s->engine().model.tableDescriptors[0]), "t9+a ~#3");
}

TEST_F(Format2Scan, GarbageMasterCellsDoNotReadOutsideThePage) {
  // A cell header at the very end of the page, one claiming 16 MB of data,
  // and one whose first offset is odd.
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT)", {});
  uint8_t* page = file.Page(2);
  const uint16_t second = static_cast<uint16_t>(page[8 + 6] | (page[8 + 7] << 8));
  ASSERT_EQ(second, 0);
  page[8 + 6] = 0xf8;  // next cell at 1016: its header would run past the page
  page[8 + 7] = 0x03;
  auto s = Scan();
  EXPECT_EQ(s->engine().model.tableDescriptors.size(), 1u);
  page[8 + 6] = 0;
  page[8 + 7] = 0;
  page[8 + 9] = 0xff;  // data length high byte
  auto t = Scan();
  EXPECT_EQ(t->outcome, ScanOutcome::CompletedWithDamage);
}

}  // namespace
}  // namespace korvel::testing::format2
