// The format-3 scan over databases built with the library and over damaged
// copies of them: lists, descriptors, output lines, messages and the tree.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "core/app_title.h"
#include "core/database_detection.h"
#include "core/scan_worker.h"
#include "core/text_codec.h"
#include "format3/page_layout.h"
#include "format3/sqlite_ver3.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_database.h"

namespace korvel {
namespace {

using testing::RecordingHost;
using testing::TempDir;
using testing::U8;

// A scan as the scan worker runs it: detection's settings, the reader, the
// page count, the root and the four groups, then the engine's Scan.
struct ScanRun {
  RecordingHost host;
  OpenDatabase db;
  ScanOutcome outcome = ScanOutcome::NoReader;

  sqlite_ver3& engine() { return static_cast<sqlite_ver3&>(*db.engine); }
  const RecoveredModel& m() { return engine().model; }

  // The texts of a group's items, in tree order.
  std::vector<std::string> Items(TreeItem group) {
    std::vector<std::string> out;
    for (TreeItem i : host.tree.Children(group)) out.push_back(U8(host.tree.GetItemText(i)));
    return out;
  }
  std::vector<int> Data(TreeItem group) {
    std::vector<int> out;
    for (TreeItem i : host.tree.Children(group)) out.push_back(host.tree.GetItemData(i));
    return out;
  }
  std::vector<std::string> Tables() { return Items(host.settings.tablesGroup); }
  std::vector<std::string> Indexes() { return Items(host.settings.indexesGroup); }
  std::vector<std::string> Views() { return Items(host.settings.viewsGroup); }
  std::vector<std::string> Triggers() { return Items(host.settings.triggersGroup); }
  std::vector<std::string> Messages() { return U8(host.MessageTexts()); }
};

struct ScanOptions {
  std::optional<uint64_t> pageSize;  // instead of the detected one
  std::optional<bool> utf8;
  std::optional<bool> utf16;
};

std::unique_ptr<ScanRun> Scan(const std::string& path, const ScanOptions& options = {}) {
  auto run = std::make_unique<ScanRun>();
  const DetectionResult d = DetectDatabaseFile(path);
  ScanSettings& s = run->host.settings;
  s.inputPath = path;
  s.version = d.version;
  s.startOffset = d.startOffset;
  s.pageSize = options.pageSize.value_or(d.pageSize);
  s.utf8Chosen = options.utf8.value_or(d.utf8Chosen);
  s.utf16Chosen = options.utf16.value_or(d.utf16Chosen);
  run->outcome = RunScanWorker(
      run->host,
      [](int version) -> std::unique_ptr<sqlite_base> {
        if (version == 2) return std::make_unique<sqlite_ver3>();
        return nullptr;
      },
      run->db);
  return run;
}

const std::string kCompleted = "Scanning process for selected file has been completed successfully.";
const std::string kEndedWithErrors = "Scanning process for selected file has ended with errors.";

const char kFourKinds[] =
    "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT);"
    "CREATE INDEX i1 ON t1(name);"
    "CREATE VIEW vw AS SELECT 1;"
    "CREATE TRIGGER g1 AFTER INSERT ON t1 BEGIN SELECT 1; END;";

TEST(Format3Scan, FindsTheFourKindsOnALeafPageOne) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024);
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  const RecoveredModel& m = run->m();
  EXPECT_EQ(U8(m.tableDescriptors), (std::vector<std::string>{"t1 +id< P.K >~name~#2"}));
  EXPECT_EQ(m.tableStatements8,
            (std::vector<std::string>{"CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT"}));
  EXPECT_EQ(m.indexStatements8, (std::vector<std::string>{"CREATE INDEX i1 ON t1(name"}));
  EXPECT_EQ(m.viewStatements8, (std::vector<std::string>{"CREATE VIEW vw AS SELECT 1"}));
  EXPECT_EQ(m.triggerStatements8,
            (std::vector<std::string>{"CREATE TRIGGER g1 AFTER INSERT ON t1 BEGIN SELECT 1; END"}));
  EXPECT_EQ(m.pageTable.size(), run->host.settings.pageCount);
  EXPECT_EQ(m.pageTable[0].pageType, 13);

  EXPECT_EQ(U8(run->host.lines),
            (std::vector<std::string>{" File is Parsing ", "File page_header is reading",
                                      "Searching File DDL ", "Table t1 is found",
                                      "INDEX i1 is found", kCompleted}));
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{kCompleted}));

  EXPECT_EQ(run->Tables(), (std::vector<std::string>{" t1 "}));
  EXPECT_EQ(run->Indexes(), (std::vector<std::string>{" i1 ON t1"}));
  EXPECT_EQ(run->Views(), (std::vector<std::string>{" vw"}));
  EXPECT_EQ(run->Triggers(), (std::vector<std::string>{"g1"}));
  for (TreeItem g : {run->host.settings.tablesGroup, run->host.settings.indexesGroup,
                     run->host.settings.viewsGroup, run->host.settings.triggersGroup}) {
    EXPECT_EQ(run->Data(g), (std::vector<int>{0}));
    EXPECT_TRUE(run->host.tree.IsExpanded(g));
  }
  EXPECT_EQ(run->host.settings.nameMaps[0].at(u" t1 "), (std::vector<int>{0}));
  EXPECT_EQ(run->host.settings.startOffset, 0u);
}

TEST(Format3Scan, Utf16FileFillsTheWideListsAndRefersItemsToTheirEntries) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path,
                        std::string(kFourKinds) +
                            "CREATE TABLE t2 (a); CREATE UNIQUE INDEX i2 ON t2(a);",
                        4096, "UTF-16le");
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  const RecoveredModel& m = run->m();
  EXPECT_TRUE(m.tableStatements8.empty());
  EXPECT_EQ(U8(m.tableDescriptors),
            (std::vector<std::string>{"t1  +id< P.K >~name~#2", "t2  +a~#4"}));
  EXPECT_EQ(U8(m.tableStatements16[0]), "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT");
  EXPECT_EQ(U8(m.createStatements[0]), "create Table [t1] ( [id]  INTEGER , [name]  TEXT )");
  EXPECT_EQ(U8(m.indexStatements16),
            (std::vector<std::string>{"CREATE INDEX i1 ON t1(name", "CREATE UNIQUE INDEX i2 ON t2(a"}));
  EXPECT_EQ(U8(m.viewStatements16), (std::vector<std::string>{"CREATE VIEW vw AS SELECT 1"}));
  EXPECT_EQ(m.triggerStatements16.size(), 1u);
  EXPECT_EQ(U8(run->host.lines),
            (std::vector<std::string>{" File is Parsing ", "Reading File page header ",
                                      "Table t1    is found", "Index i1 is found",
                                      "Table t2    is found", kCompleted}));
  // Tables are listed from the last entry to the first, each with its own index.
  EXPECT_EQ(run->Tables(), (std::vector<std::string>{" t2 ", " t1 "}));
  EXPECT_EQ(run->Data(run->host.settings.tablesGroup), (std::vector<int>{1, 0}));
  EXPECT_EQ(run->Indexes(), (std::vector<std::string>{" i1 ON t1", " i2 ON t2"}));
  EXPECT_EQ(run->Data(run->host.settings.indexesGroup), (std::vector<int>{0, 1}));
  EXPECT_EQ(run->Views(), (std::vector<std::string>{" vw"}));
  EXPECT_EQ(run->Data(run->host.settings.viewsGroup), (std::vector<int>{0}));
  EXPECT_EQ(run->Triggers(), (std::vector<std::string>{"g1"}));
  EXPECT_EQ(run->Data(run->host.settings.triggersGroup), (std::vector<int>{0}));
  EXPECT_TRUE(run->host.settings.nameMaps[0].empty());
}

struct PageSizeCase {
  int pageSize;
  const char* encoding;
};

class Format3PageSizes : public ::testing::TestWithParam<PageSizeCase> {};

TEST_P(Format3PageSizes, EveryValidPageSizeAndEncodingIsRead) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path,
                        "CREATE TABLE a (x INTEGER, y TEXT); CREATE TABLE b (z BLOB);"
                        "CREATE INDEX ia ON a(x, y); INSERT INTO a VALUES (1, 'one');",
                        GetParam().pageSize, GetParam().encoding);
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  EXPECT_EQ(run->host.settings.pageSize, static_cast<uint64_t>(GetParam().pageSize));
  EXPECT_EQ(run->m().pageTable.size(),
            testing::ReadBytes(path).size() / static_cast<size_t>(GetParam().pageSize));
  ASSERT_EQ(run->m().tableDescriptors.size(), 2u);
  const bool wide = std::string(GetParam().encoding) != "UTF-8";
  const std::string blank = wide ? " " : "";
  EXPECT_EQ(U8(run->m().tableDescriptors[0]), "a " + blank + "+x~y~#2");
  EXPECT_EQ(U8(run->m().tableDescriptors[1]), "b " + blank + "+z~#3");
  EXPECT_EQ(U8(run->m().columnTypes[1]), (std::vector<std::string>{"OLE Object"}));
  EXPECT_EQ(run->Indexes(), (std::vector<std::string>{" ia ON a"}));
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{kCompleted}));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Format3PageSizes,
    ::testing::Values(PageSizeCase{512, "UTF-8"}, PageSizeCase{1024, "UTF-8"},
                      PageSizeCase{2048, "UTF-16le"}, PageSizeCase{4096, "UTF-8"},
                      PageSizeCase{8192, "UTF-16le"}, PageSizeCase{16384, "UTF-8"},
                      PageSizeCase{32768, "UTF-8"}, PageSizeCase{65536, "UTF-8"},
                      PageSizeCase{65536, "UTF-16le"}, PageSizeCase{512, "UTF-16le"}),
    [](const auto& info) {
      return std::to_string(info.param.pageSize) +
             (std::string(info.param.encoding) == "UTF-8" ? "_utf8" : "_utf16");
    });

TEST(Format3Scan, HeaderInsideTheFileBecomesTheStartOffset) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024);
  const size_t length = testing::ReadBytes(path).size();
  testing::Prepend(path, std::vector<uint8_t>(4096, 0x41));
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  EXPECT_EQ(run->host.settings.startOffset, 4096u);
  EXPECT_EQ(run->host.settings.pageCount, length / 1024);
  EXPECT_EQ(run->m().pageTable.size(), length / 1024);
  EXPECT_EQ(U8(run->m().tableDescriptors), (std::vector<std::string>{"t1 +id< P.K >~name~#2"}));
  EXPECT_EQ(run->Views(), (std::vector<std::string>{" vw"}));
}

// Enough tables that the schema no longer fits on page 1.
std::string ManyTables(int count, int extraColumns) {
  std::string sql = "BEGIN;";
  for (int i = 0; i < count; ++i) {
    sql += "CREATE TABLE tab" + std::to_string(i) + " (id INTEGER PRIMARY KEY";
    for (int c = 0; c < extraColumns; ++c) sql += ", column_number_" + std::to_string(c) + " TEXT";
    sql += ");";
  }
  return sql + "COMMIT;";
}

std::vector<std::string> SortedTableNames(ScanRun& run) {
  std::vector<std::string> names = run.Tables();
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ExpectedNames(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(" tab" + std::to_string(i) + " ");
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Format3Scan, InteriorPageOneReadsEveryChild) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, ManyTables(40, 2), 1024);
  auto run = Scan(path);
  ASSERT_EQ(run->m().pageTable[0].pageType, 5);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  EXPECT_EQ(run->m().tableDescriptors.size(), 40u);
  EXPECT_EQ(SortedTableNames(*run), ExpectedNames(40));
  // Root pages come from the records: each table's descriptor ends with its own.
  const auto rows = testing::QueryRows(path, "SELECT name, rootpage FROM sqlite_master");
  for (const auto& row : rows) {
    bool found = false;
    for (const auto& d : run->m().tableDescriptors) {
      if (U8(d).rfind(row[0] + " +", 0) == 0) {
        found = true;
        EXPECT_EQ(U8(d).substr(U8(d).find('#') + 1), row[1]);
      }
    }
    EXPECT_TRUE(found) << row[0];
  }
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{kCompleted}));
}

TEST(Format3Scan, DeepSchemaIsDescendedDepthFirst) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, ManyTables(400, 3), 512);
  auto run = Scan(path);
  const RecoveredModel& m = run->m();
  ASSERT_EQ(m.pageTable[0].pageType, 5);
  // At least one child of page 1 is interior itself.
  const PageHeader& rightMost = m.pageTable[m.pageTable[0].rightMostChild - 1];
  ASSERT_EQ(rightMost.pageType, 5);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  EXPECT_EQ(m.tableDescriptors.size(), 400u);
  EXPECT_EQ(SortedTableNames(*run), ExpectedNames(400));
  // Depth first in cell order: the tables come in the order they were created.
  EXPECT_EQ(U8(m.tableDescriptors.front()).substr(0, 5), "tab0 ");
  EXPECT_EQ(U8(m.tableDescriptors.back()).substr(0, 7), "tab399 ");
}

TEST(Format3Scan, LongNamesAndOverflowingStatementsKeepTheirRootPages) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  const std::string longName(80, 'n');
  std::string wide = "CREATE TABLE wide (c0 INTEGER";
  for (int c = 1; c < 150; ++c) wide += ", c" + std::to_string(c) + " TEXT";
  wide += ");";
  testing::MakeDatabase(path,
                        "CREATE TABLE " + longName + " (a INTEGER, b TEXT);" + wide +
                            "CREATE INDEX " + longName + "_i ON " + longName + "(b);",
                        1024);
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  const RecoveredModel& m = run->m();
  ASSERT_EQ(m.tableDescriptors.size(), 2u);
  const auto rows = testing::QueryRows(
      path, "SELECT rootpage FROM sqlite_master WHERE type='table' ORDER BY rowid");
  EXPECT_EQ(U8(m.tableDescriptors[0]), longName + " +a~b~#" + rows[0][0]);
  EXPECT_EQ(m.tableStatements8[0], "CREATE TABLE " + longName + " (a INTEGER, b TEXT");
  EXPECT_EQ(m.columnTypes[1].size(), 150u);
  EXPECT_EQ(m.tableStatements8[1], wide.substr(0, wide.size() - 2));
  EXPECT_EQ(U8(m.tableDescriptors[1]).substr(U8(m.tableDescriptors[1]).find('#') + 1), rows[1][0]);
  EXPECT_EQ(m.indexStatements8,
            (std::vector<std::string>{"CREATE INDEX " + longName + "_i ON " + longName + "(b"}));
}

TEST(Format3Scan, NamesLongerThanTheCellTakeTheRootPageFromTheOverflowPages) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  const std::string longName(300, 'q');
  testing::MakeDatabase(path,
                        "CREATE TABLE small (a); CREATE TABLE " + longName +
                            " (a INTEGER, b TEXT); CREATE TABLE after (c);",
                        512);
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  const auto rows = testing::QueryRows(
      path, "SELECT rootpage FROM sqlite_master WHERE type='table' ORDER BY rowid");
  ASSERT_EQ(run->m().tableDescriptors.size(), 3u);
  EXPECT_EQ(U8(run->m().tableDescriptors[1]), longName + " +a~b~#" + rows[1][0]);
  EXPECT_EQ(U8(run->m().tableDescriptors[2]), "after +c~#" + rows[2][0]);
}

TEST(Format3Scan, AutomaticIndexesAndVirtualTablesStoreNothing) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, "CREATE TABLE u (a TEXT UNIQUE, b);", 1024);
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  EXPECT_EQ(run->m().tableDescriptors.size(), 1u);
  EXPECT_TRUE(run->m().indexStatements8.empty());
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{kCompleted}));
}

TEST(Format3Scan, TheSameNameTwiceGivesOneItemForTheLaterEntry) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path,
                        "CREATE TABLE t1 (a, c); CREATE TABLE t2 (b);"
                        "CREATE UNIQUE INDEX i2 ON t1(a, c);",
                        1024);
  const int64_t at = testing::FindInFile(path, "CREATE TABLE t2");
  ASSERT_GE(at, 0);
  testing::PatchText(path, at, "CREATE TABLE t1");
  auto run = Scan(path);
  EXPECT_EQ(run->Tables(), (std::vector<std::string>{" t1 "}));
  EXPECT_EQ(run->Data(run->host.settings.tablesGroup), (std::vector<int>{1}));
  EXPECT_EQ(run->host.settings.nameMaps[0].at(u" t1 "), (std::vector<int>{1, 0}));
  // A two-column unique index: one item, referring to its complete entry.
  EXPECT_EQ(run->m().indexStatements8.size(), 2u);
  EXPECT_EQ(run->Indexes(), (std::vector<std::string>{" i2 ON t1"}));
  EXPECT_EQ(run->Data(run->host.settings.indexesGroup), (std::vector<int>{1}));
}

// ---- damaged copies ----

TEST(Format3ScanDamage, AnExtraByteIsReportedAndTheWholePagesAreRead) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024);
  testing::AppendBytes(path, {0x00});
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->Messages(),
            (std::vector<std::string>{"The Database page_size is invalid", kEndedWithErrors}));
  EXPECT_EQ(U8(run->host.messages[0].caption), "File_Page_Size_Error");
  EXPECT_EQ(run->Tables(), (std::vector<std::string>{" t1 "}));
  EXPECT_EQ(run->Triggers(), (std::vector<std::string>{"g1"}));
}

TEST(Format3ScanDamage, ATruncatedFileKeepsWhatItsWholePagesHold) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path,
                        std::string(kFourKinds) +
                            "INSERT INTO t1(name) SELECT hex(randomblob(200)) FROM "
                            "(WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c "
                            "WHERE x < 50) SELECT x FROM c);",
                        1024);
  const size_t length = testing::ReadBytes(path).size();
  testing::Truncate(path, length - 1024 - 300);
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->m().pageTable.size(), length / 1024 - 2);
  EXPECT_EQ(run->Messages(),
            (std::vector<std::string>{"The Database page_size is invalid", kEndedWithErrors}));
  EXPECT_EQ(run->Tables(), (std::vector<std::string>{" t1 "}));
  EXPECT_EQ(run->Views(), (std::vector<std::string>{" vw"}));
}

TEST(Format3ScanDamage, AFileShorterThanOnePageEndsTheScan) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 4096);
  testing::Truncate(path, 3000);
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::EndedWithErrors);
  EXPECT_TRUE(run->Tables().empty());
}

struct PageSizeErrorCase {
  uint64_t pageSize;
};

class Format3InvalidPageSize : public ::testing::TestWithParam<uint64_t> {};

TEST_P(Format3InvalidPageSize, EndsTheScanWithItsMessage) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024);
  auto run = Scan(path, {GetParam(), {}, {}});
  EXPECT_EQ(run->outcome, ScanOutcome::EndedWithErrors);
  EXPECT_EQ(run->Messages(),
            (std::vector<std::string>{"The Database page_size is invalid", kEndedWithErrors}));
  EXPECT_EQ(U8(run->host.messages[0].caption), "File_Page_Size_Error");
  EXPECT_EQ(run->host.messages[0].icon, MessageIcon::None);
  EXPECT_TRUE(run->m().pageTable.empty());
  EXPECT_TRUE(run->Tables().empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, Format3InvalidPageSize,
                         ::testing::Values(1000u, 1536u + 1u, 131072u, 65536u + 512u));

TEST(Format3ScanDamage, AWrongPageSizeEndsTheScanWhenMostPagesAreRejected) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path,
                        "CREATE TABLE t (a TEXT);"
                        "INSERT INTO t SELECT replace(hex(zeroblob(2000)), '0', 'A') FROM "
                        "(WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c "
                        "WHERE x < 20) SELECT x FROM c);",
                        4096);
  auto run = Scan(path, {1024, {}, {}});
  EXPECT_EQ(run->outcome, ScanOutcome::EndedWithErrors);
  EXPECT_EQ(run->Messages(),
            (std::vector<std::string>{"Error in page size or in file", kEndedWithErrors}));
  EXPECT_EQ(U8(run->host.messages[0].caption), "Korvel Lumquist v22.0");
  EXPECT_EQ(run->host.messages[0].icon, MessageIcon::Exclamation);
  EXPECT_TRUE(run->Tables().empty());
}

TEST(Format3ScanDamage, AGarbagePageIsReportedOnceAndTheRestIsRead) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path,
                        std::string(kFourKinds) +
                            "CREATE TABLE big (a);"
                            "INSERT INTO big SELECT hex(randomblob(300)) FROM "
                            "(WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c "
                            "WHERE x < 40) SELECT x FROM c);",
                        1024);
  const size_t pages = testing::ReadBytes(path).size() / 1024;
  ASSERT_GT(pages, 8u);
  testing::PatchBytes(path, 5 * 1024, std::vector<uint8_t>(1024, 0xEE));
  testing::PatchBytes(path, 7 * 1024, std::vector<uint8_t>(1024, 0xEE));
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->Messages(),
            (std::vector<std::string>{"Error in page size or in file", kEndedWithErrors}));
  EXPECT_EQ(run->m().pageTable.size(), pages);
  EXPECT_EQ(run->m().pageTable[5].pageType, 0);  // kept as a page that is no b-tree page
  EXPECT_EQ(run->m().pageTable[5].cellCount, 0);
  EXPECT_EQ(SortedTableNames(*run), (std::vector<std::string>{" big ", " t1 "}));
}

TEST(Format3ScanDamage, AGarbagePageOneEndsTheScan) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024);
  testing::PatchBytes(path, 100, {0xEE});
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::EndedWithErrors);
  EXPECT_EQ(run->Messages(),
            (std::vector<std::string>{"Error in page size or in file", kEndedWithErrors}));
  EXPECT_TRUE(run->Tables().empty());
}

TEST(Format3ScanDamage, APageOneThatIsNoTablePageEndsTheScanInTheUtf16Pass) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024, "UTF-16le");
  testing::PatchBytes(path, 100, {0x00});
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::EndedWithErrors);
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{
                                 "The Database content is not in its appropriate form",
                                 kEndedWithErrors}));
  EXPECT_EQ(U8(run->host.messages[0].caption), "File_Corrupted");
}

TEST(Format3ScanDamage, ADamagedViewBeginningIsStillAView) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024);
  testing::PatchText(path, testing::FindInFile(path, "CREATE VIEW"), "%");
  testing::PatchText(path, testing::FindInFile(path, "CREATE TRIGGER"), "&");
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  EXPECT_EQ(run->m().viewStatements8, (std::vector<std::string>{"%REATE VIEW vw AS SELECT 1"}));
  EXPECT_EQ(run->Views(), (std::vector<std::string>{" vw"}));
  EXPECT_EQ(run->Triggers(), (std::vector<std::string>{"g1"}));
}

TEST(Format3ScanDamage, AnOverwrittenStatementLeavesTheOtherObjects) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, std::string(kFourKinds) + "CREATE TABLE t2 (b TEXT);", 1024);
  const int64_t at = testing::FindInFile(path, "CREATE TABLE t1");
  testing::PatchBytes(path, at, std::vector<uint8_t>(30, 'x'));
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->Messages(),
            (std::vector<std::string>{"Endian descriptor is corrupted or file is corrupted",
                                      kEndedWithErrors}));
  EXPECT_EQ(U8(run->host.messages[0].caption), "Korvel Lumquist v22.0");
  EXPECT_EQ(run->Tables(), (std::vector<std::string>{" t2 "}));
  EXPECT_EQ(run->Indexes(), (std::vector<std::string>{" i1 ON t1"}));
  EXPECT_EQ(run->Views(), (std::vector<std::string>{" vw"}));
  EXPECT_EQ(run->Triggers(), (std::vector<std::string>{"g1"}));
}

TEST(Format3ScanDamage, AViewWithoutAsIsSkipped) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024);
  testing::PatchText(path, testing::FindInFile(path, "vw AS SELECT"), "vw XX SELECT");
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{"File is corrupted", kEndedWithErrors}));
  EXPECT_TRUE(run->m().viewStatements8.empty());
  EXPECT_EQ(run->Tables(), (std::vector<std::string>{" t1 "}));
  EXPECT_EQ(run->Triggers(), (std::vector<std::string>{"g1"}));
}

TEST(Format3ScanDamage, AStatementCutInsideItsColumnsIsSkipped) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, "CREATE TABLE t1 (a TEXT, b TEXT); CREATE TABLE t2 (c);", 1024);
  // The closing parenthesis of t1 becomes a letter: its parse runs past the text.
  const int64_t at = testing::FindInFile(path, "b TEXT)");
  testing::PatchText(path, at + 6, "x");
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{"File is corrupted", kEndedWithErrors}));
  EXPECT_EQ(U8(run->m().tableDescriptors), (std::vector<std::string>{"t2 +c~#3"}));
  EXPECT_EQ(run->Tables(), (std::vector<std::string>{" t2 "}));
}

TEST(Format3ScanDamage, ABigEndianFieldOverUtf8TextsFindsNoStatement) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024);
  // The field says UTF-16be, which is read as it says: the UTF-8 texts then
  // spell nothing.
  testing::PatchBytes(path, 59, {3});
  auto run = Scan(path, {{}, false, false});
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{
                                 "Endian descriptor is corrupted or file is corrupted",
                                 kEndedWithErrors}));
  EXPECT_FALSE(run->m().pageTable.empty());
  EXPECT_TRUE(run->Tables().empty());
  EXPECT_TRUE(run->Indexes().empty());
}

TEST(Format3ScanDamage, AWrongMagicEndsTheScan) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, kFourKinds, 1024);
  auto run = std::make_unique<ScanRun>();
  // Settings as for a format-3 file whose header was found, but the magic is
  // damaged at the position given.
  testing::PatchText(path, 0, "SQLite formaX 3");
  ScanSettings& s = run->host.settings;
  s.inputPath = path;
  s.version = 2;
  s.startOffset = 1;
  s.pageSize = 1024;
  s.utf8Chosen = true;
  run->outcome = RunScanWorker(
      run->host, [](int) -> std::unique_ptr<sqlite_base> { return std::make_unique<sqlite_ver3>(); },
      run->db);
  EXPECT_EQ(run->outcome, ScanOutcome::EndedWithErrors);
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{
                                 "The Database content is not in its appropriate form",
                                 kEndedWithErrors}));
  EXPECT_EQ(U8(run->host.messages[0].caption), "File_Corrupted");
}

// Page 1 interior: where the child pointers are.
struct InteriorLayout {
  uint16_t cellCount;
  std::vector<uint16_t> cellPointers;
};

InteriorLayout ReadPageOne(const std::string& path) {
  const auto bytes = testing::ReadBytes(path);
  InteriorLayout l;
  l.cellCount = static_cast<uint16_t>((bytes[103] << 8) | bytes[104]);
  for (int k = 0; k < l.cellCount; ++k) {
    l.cellPointers.push_back(static_cast<uint16_t>((bytes[112 + 2 * k] << 8) | bytes[113 + 2 * k]));
  }
  return l;
}

TEST(Format3ScanDamage, AChildOutOfRangeIsSkipped) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, ManyTables(40, 2), 1024);
  const InteriorLayout l = ReadPageOne(path);
  ASSERT_GE(l.cellCount, 2);
  testing::PatchBytes(path, l.cellPointers[0], {0x00, 0xFF, 0xFF, 0xFF});
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{
                                 "The Database content is not in its appropriate form",
                                 kEndedWithErrors}));
  EXPECT_EQ(U8(run->host.messages[0].caption), "File_Corrupted");
  EXPECT_GT(run->Tables().size(), 20u);
  EXPECT_LT(run->Tables().size(), 40u);
}

TEST(Format3ScanDamage, ARightMostChildOutOfRangeIsSkipped) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, ManyTables(40, 2), 1024);
  testing::PatchBytes(path, 108, {0x7F, 0, 0, 0});
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->Messages(),
            (std::vector<std::string>{"you choose the wrong file please choose again",
                                      kEndedWithErrors}));
  EXPECT_EQ(U8(run->host.messages[0].caption), "File_Format_Not_Supported");
  EXPECT_GT(run->Tables().size(), 20u);
  EXPECT_LT(run->Tables().size(), 40u);
}

TEST(Format3ScanDamage, ASchemaTreeThatPointsBackIsWalkedOnce) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, ManyTables(40, 2), 1024);
  const InteriorLayout l = ReadPageOne(path);
  testing::PatchBytes(path, 108, {0, 0, 0, 1});                // right-most child: page 1
  testing::PatchBytes(path, l.cellPointers[1], {0, 0, 0, 1});  // a left child: page 1
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::CompletedWithDamage);
  EXPECT_EQ(run->Messages(), (std::vector<std::string>{kEndedWithErrors}));
  EXPECT_GT(run->Tables().size(), 0u);
  EXPECT_LT(run->Tables().size(), 40u);
}

// A schema leaf near the end of the file whose statement continues on
// overflow pages that stand before it.
TEST(Format3Scan, AStatementLongerThanTheRestOfTheFileIsReadFromItsOverflowPages) {
  const uint32_t pageSize = 512;
  std::vector<uint8_t> file(4 * pageSize, 0);
  const std::string magic = "SQLite format 3";
  std::copy(magic.begin(), magic.end(), file.begin());
  file[16] = 0x02;  // 512
  file[59] = 1;
  file[100] = 5;  // page 1: interior, no cells, right-most child 4
  file[100 + 8 + 3] = 4;

  std::string statement = "CREATE TABLE t (a TEXT";
  statement += std::string(1185 - statement.size() - 1, ' ') + ")";
  std::vector<uint8_t> payload = {7, 23, 15, 15, 1, 0x92, 0x4F};  // header: 2383 = text of 1185
  const std::string names = "tablett";
  payload.insert(payload.end(), names.begin(), names.end());
  payload.push_back(1);  // root page
  payload.insert(payload.end(), statement.begin(), statement.end());
  ASSERT_EQ(payload.size(), 1200u);
  // 184 bytes stay in the cell, 508 go to each of pages 2 and 3.
  const size_t cell = 300;
  const size_t page4 = 3 * pageSize;
  file[page4] = 13;
  file[page4 + 4] = 1;  // one cell
  file[page4 + 5] = cell >> 8;
  file[page4 + 6] = cell & 0xFF;
  file[page4 + 8] = cell >> 8;
  file[page4 + 9] = cell & 0xFF;
  std::vector<uint8_t> cellBytes;
  cellBytes.reserve(3 + 184 + 4);
  for (uint8_t b : {0x89, 0x30, 0x01}) cellBytes.push_back(b);  // payload 1200, row id 1
  cellBytes.insert(cellBytes.end(), payload.begin(), payload.begin() + 184);
  for (uint8_t b : {0, 0, 0, 2}) cellBytes.push_back(b);  // the first overflow page
  std::copy(cellBytes.begin(), cellBytes.end(), file.begin() + page4 + cell);
  file[pageSize + 3] = 3;  // page 2 continues on page 3
  std::copy(payload.begin() + 184, payload.begin() + 184 + 508, file.begin() + pageSize + 4);
  std::copy(payload.begin() + 692, payload.end(), file.begin() + 2 * pageSize + 4);

  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::WriteBytes(path, file);
  auto run = Scan(path);
  EXPECT_EQ(run->outcome, ScanOutcome::Completed);
  EXPECT_EQ(U8(run->m().tableDescriptors), (std::vector<std::string>{"t +a~#1"}));
  EXPECT_EQ(run->m().tableStatements8,
            (std::vector<std::string>{statement.substr(0, statement.size() - 1)}));
  EXPECT_EQ(run->engine().lastTextLength, 1185u);
}

TEST(Format3ScanDamage, AFreeBlockAtTheContentStartOfTheRightMostChildIsPassed) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, ManyTables(40, 2), 1024);
  auto bytes = testing::ReadBytes(path);
  const uint32_t rightMost = (uint32_t{bytes[108]} << 24) | (uint32_t{bytes[109]} << 16) |
                             (uint32_t{bytes[110]} << 8) | bytes[111];
  const size_t page = (rightMost - 1) * 1024;
  ASSERT_EQ(bytes[page], 13);
  // The first free block names the start of the content area, with fragments.
  bytes[page + 1] = bytes[page + 5];
  bytes[page + 2] = bytes[page + 6];
  bytes[page + 7] = 3;
  testing::WriteBytes(path, bytes);
  auto run = Scan(path);
  EXPECT_NE(run->outcome, ScanOutcome::EndedWithErrors);
  EXPECT_GT(run->Tables().size(), 20u);
}

TEST(Format3ScanDamage, GarbageInEverySchemaByteNeverReadsOutside) {
  // Each byte of page 1's cell area in turn replaced: the scan must end
  // normally whatever it finds (the sanitizer build checks every read).
  TempDir dir;
  const std::string clean = dir.File("clean.db");
  testing::MakeDatabase(clean, kFourKinds, 512);
  const auto bytes = testing::ReadBytes(clean);
  const uint16_t contentStart = static_cast<uint16_t>((bytes[105] << 8) | bytes[106]);
  const std::string path = dir.File("a.db");
  for (size_t at = 100; at < 512; at += (at < 120 || at >= contentStart) ? 1 : 37) {
    for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x81}}) {
      auto copy = bytes;
      copy[at] = value;
      testing::WriteBytes(path, copy);
      auto run = Scan(path);
      EXPECT_NE(run->outcome, ScanOutcome::NoReader);
    }
  }
}

TEST(Format3ScanDamage, RandomlyDamagedSchemaTreesEndWithoutAFault) {
  // Bytes of an interior schema tree replaced at random, in both encodings:
  // the scan must end normally whatever it meets (the sanitizer build checks
  // every read).
  TempDir dir;
  for (const char* encoding : {"UTF-8", "UTF-16le"}) {
    const std::string clean = dir.File(std::string("clean-") + encoding + ".db");
    testing::MakeDatabase(clean, ManyTables(30, 2) + kFourKinds, 512, encoding);
    const auto bytes = testing::ReadBytes(clean);
    const std::string path = dir.File("a.db");
    uint32_t seed = 20261211;
    auto next = [&seed] {
      seed = seed * 1664525u + 1013904223u;
      return seed >> 8;
    };
    for (int round = 0; round < 60; ++round) {
      auto copy = bytes;
      const int changes = 1 + static_cast<int>(next() % 24);
      for (int c = 0; c < changes; ++c) {
        // Mostly the page headers and cell pointers, where damage reaches furthest.
        const size_t page = next() % (copy.size() / 512);
        const size_t at = page * 512 + (next() % 3 == 0 ? next() % 512 : next() % 24);
        copy[at] = static_cast<uint8_t>(next());
      }
      copy[100] = bytes[100];  // keep page 1 a table page, so the walk runs
      testing::WriteBytes(path, copy);
      auto run = Scan(path);
      EXPECT_NE(run->outcome, ScanOutcome::NoReader);
    }
  }
}

}  // namespace
}  // namespace korvel
