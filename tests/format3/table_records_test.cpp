// The table record operation on databases built with the SQLite library:
// walks over leaf and interior pages, the record list, progress, the stop
// request, damaged copies and the counting operations. The engine's page
// table and descriptors are filled here from the file itself, so that these
// tests do not depend on the schema scan.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <random>
#include <string>
#include <vector>

#include "core/app_title.h"
#include "core/reader.h"
#include "core/text_codec.h"
#include "format3/page_layout.h"
#include "format3/record_reader.h"
#include "format3/sqlite_ver3.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_database.h"

namespace korvel {
namespace {

using testing::QueryRows;
using testing::RecordingHost;
using testing::U8;

enum class ReaderKind { Memory, Disk };

// An engine on a database file, set up as the scan would leave it.
struct Carver {
  Carver(const std::string& path, ReaderKind kind = ReaderKind::Memory, bool utf16 = false) {
    if (kind == ReaderKind::Memory) {
      reader = OpenReader(path);
    } else {
      reader = std::make_unique<Reader_Disk>();
      if (!reader->Open(path, 0)) reader.reset();
    }
    EXPECT_TRUE(reader != nullptr);
    const auto bytes = testing::ReadBytes(path);
    uint32_t pageSize = (bytes[16] << 8) | bytes[17];
    if (pageSize == 1) pageSize = 65536;
    ScanSettings& s = host.settings;
    s.inputPath = path;
    s.version = 2;
    s.startOffset = 0;
    s.pageSize = pageSize;
    s.pageCount = bytes.size() / pageSize;
    s.reader = reader.get();
    engine.owner = &host;
    engine.utf8Chosen = !utf16;
    engine.utf16Chosen = utf16;
    const PageGeometry g = GeometryOf(s);
    for (uint64_t page = 1; page <= g.pageCount; ++page) {
      PageHeader h;
      ReadPageHeader(*reader, g, page, h);
      engine.model.pageTable.push_back(h);
    }
  }

  static int64_t RootPage(const std::string& path, const std::string& table) {
    return std::stoll(
        QueryRows(path, "SELECT rootpage FROM sqlite_master WHERE name='" + table + "'")[0][0]);
  }

  // Previews a table as the preview worker does.
  void Preview(int64_t root, int columns, int marker = 0, const std::u16string& name = u"t") {
    engine.engineProgressCounter = 0;
    host.settings.saveMode = 0;
    engine.LoadTableRecords(host.settings.inputPath, root, columns, name, marker);
  }

  std::vector<std::vector<std::string>> Rows() const {
    std::vector<std::vector<std::string>> out;
    for (const auto& r : host.rows) out.push_back(U8(r));
    return out;
  }

  RecordingHost host;
  sqlite_ver3 engine;
  std::unique_ptr<Reader> reader;
};

// Collects what a save hands to the repaired database.
struct CollectingTarget : RecordInsertTarget {
  void ExecuteRecordInsert(const std::u16string& tableName,
                           const std::vector<RecordValue>& values) override {
    names.push_back(tableName);
    records.push_back(values);
  }
  std::vector<std::u16string> names;
  std::vector<std::vector<RecordValue>> records;
};

class TableRecordsTest : public ::testing::TestWithParam<ReaderKind> {
 protected:
  testing::TempDir dir;
};

TEST_P(TableRecordsTest, LeafRowsInFileOrderWithProgress) {
  const std::string db = dir.File("a.db");
  testing::MakeDatabase(db,
                        "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, score REAL, b BLOB);"
                        "INSERT INTO t VALUES(1,'r1',1.5,x'00');"
                        "INSERT INTO t VALUES(2,'O''Brien',-2.25,NULL);"
                        "INSERT INTO t VALUES(3,'r3',NULL,x'0102');");
  Carver c(db, GetParam());
  c.Preview(Carver::RootPage(db, "t"), 4, 10);
  EXPECT_EQ(c.Rows(), (std::vector<std::vector<std::string>>{
                          {"1", "r1", "1.500000", "< Blob Data >"},
                          {"2", "O''Brien", "-2.250000", "NULL"},
                          {"3", "r3", "NULL", "< Blob Data >"}}));
  EXPECT_EQ(c.host.progressRanges, (std::vector<uint64_t>{3}));
  EXPECT_EQ(c.host.progressPositions, (std::vector<uint64_t>{1, 2, 3}));
  EXPECT_TRUE(c.host.messages.empty());
}

TEST_P(TableRecordsTest, InteriorPagesWalkedDepthFirst) {
  const std::string db = dir.File("deep.db");
  std::string sql = "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);BEGIN;";
  for (int i = 1; i <= 3000; ++i) {
    sql += "INSERT INTO t VALUES(" + std::to_string(i) + ",'value " + std::to_string(i) + "');";
  }
  sql += "COMMIT;";
  testing::MakeDatabase(db, sql, 512);
  Carver c(db, GetParam());
  const int64_t root = Carver::RootPage(db, "t");
  ASSERT_EQ(c.engine.model.pageTable[root - 1].pageType, 5);
  EXPECT_EQ(c.engine.CountTableEntries(root), 3000u);
  EXPECT_EQ(c.engine.CountTableRows(db, root), 3000u);
  c.Preview(root, 2, 10);
  ASSERT_EQ(c.host.rows.size(), 3000u);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(U8(c.host.rows[i][0]), std::to_string(i + 1));
    ASSERT_EQ(U8(c.host.rows[i][1]), "value " + std::to_string(i + 1));
  }
  EXPECT_EQ(c.host.progressRanges, (std::vector<uint64_t>{3000}));
  EXPECT_EQ(c.host.progressPositions.back(), 3000u);
}

TEST_P(TableRecordsTest, StopKeepsTheRowsReadAndJumpsToTheEnd) {
  const std::string db = dir.File("stop.db");
  std::string sql = "CREATE TABLE t(v INTEGER);BEGIN;";
  for (int i = 0; i < 1000; ++i) sql += "INSERT INTO t VALUES(" + std::to_string(i) + ");";
  sql += "COMMIT;";
  testing::MakeDatabase(db, sql, 512);
  Carver c(db, GetParam());
  c.host.stopAfterRows = 250;
  c.Preview(Carver::RootPage(db, "t"), 1);
  ASSERT_EQ(c.host.rows.size(), 250u);
  EXPECT_EQ(U8(c.host.rows[249][0]), "249");
  EXPECT_EQ(c.host.progressPositions.back(), 1000u);  // the table's entry count
  // A stopped engine reads nothing more.
  c.engine.LoadTableRecords(db, Carver::RootPage(db, "t"), 1, u"t", 0);
  EXPECT_EQ(c.host.rows.size(), 250u);
}

INSTANTIATE_TEST_SUITE_P(Readers, TableRecordsTest,
                         ::testing::Values(ReaderKind::Memory, ReaderKind::Disk));

class DamagedTableTest : public ::testing::Test {
 protected:
  // One row whose 3000-byte text spills over two 1020-byte overflow pages
  // of a 1024-byte-page file, between two plain rows.
  void SetUp() override {
    db = dir.File("damaged.db");
    std::string text = "Zq9start";
    while (text.size() < 3000) text.push_back(static_cast<char>('a' + text.size() % 26));
    longText = text;
    testing::MakeDatabase(db,
                          "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
                          "INSERT INTO t VALUES(1,'first');"
                          "INSERT INTO t VALUES(2,'" + text + "');"
                          "INSERT INTO t VALUES(3,'last');",
                          1024);
    root = Carver::RootPage(db, "t");
    // Record: header of 4 bytes (size, NULL, 2-byte text type), then the text.
    const int64_t textAt = testing::FindInFile(db, "Zq9start");
    ASSERT_GT(textAt, 0);
    overflowPointerAt = textAt - 4 + format3::LocalPayloadSize(3004, 1024);
    const auto bytes = testing::ReadBytes(db);
    const uint8_t* p = bytes.data() + overflowPointerAt;
    firstOverflowPage = (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    ASSERT_GT(firstOverflowPage, 0u);
  }
  void Patch32(uint64_t at, uint32_t v) {
    testing::PatchBytes(db, at,
                        {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                         static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
  }

  testing::TempDir dir;
  std::string db;
  std::string longText;
  int64_t root = 0;
  int64_t overflowPointerAt = 0;
  uint32_t firstOverflowPage = 0;
};

TEST_F(DamagedTableTest, SoundCopyAssemblesTheOverflowChain) {
  Carver c(db);
  c.Preview(root, 2, 10);
  ASSERT_EQ(c.host.rows.size(), 3u);
  EXPECT_EQ(U8(c.host.rows[1][1]), longText);
  EXPECT_TRUE(c.host.messages.empty());
}

TEST_F(DamagedTableTest, BadFirstOverflowPageCutsTheRecordShort) {
  for (uint32_t bad : {0u, 100000u}) {
    Patch32(overflowPointerAt, bad);
    Carver c(db);
    c.Preview(root, 2, 10);
    EXPECT_EQ(U8(c.host.MessageTexts()),
              (std::vector<std::string>{"Corruption in file Cell content area"}))
        << bad;
    EXPECT_EQ(c.host.messages[0].caption, kAppTitle);
    ASSERT_EQ(c.host.rows.size(), 3u);
    EXPECT_EQ(U8(c.host.rows[0][1]), "first");
    // The local part of the text is kept.
    ASSERT_EQ(c.host.rows[1].size(), 2u);
    EXPECT_EQ(U8(c.host.rows[1][1]), longText.substr(0, 960));
    EXPECT_EQ(U8(c.host.rows[2]), (std::vector<std::string>{"3", "last"}));
  }
}

TEST_F(DamagedTableTest, BrokenChainIsAnErrorInReading) {
  Patch32((firstOverflowPage - 1) * 1024ull, 0x7FFFFFFF);
  Carver c(db);
  c.Preview(root, 2, 10);
  EXPECT_EQ(U8(c.host.MessageTexts()), (std::vector<std::string>{"Error in reading"}));
  ASSERT_EQ(c.host.rows.size(), 3u);
  EXPECT_EQ(U8(c.host.rows[1][1]), longText.substr(0, 960 + 1020));
  EXPECT_EQ(U8(c.host.rows[2][1]), "last");
}

TEST_F(DamagedTableTest, ChainPointingBackIsNotFollowedTwice) {
  // The first overflow page names itself as the next one.
  Patch32((firstOverflowPage - 1) * 1024ull, firstOverflowPage);
  Carver c(db);
  c.Preview(root, 2, 10);
  EXPECT_EQ(U8(c.host.MessageTexts()), (std::vector<std::string>{"Error in reading"}));
  EXPECT_EQ(c.host.rows.size(), 3u);
}

TEST(TableOverflowTest, Utf16BadOverflowPageCutsOnlyThatRecord) {
  // A UTF-16 database takes a bad first overflow page as a UTF-8 one does:
  // the record keeps its local part and the rows after it are still read.
  testing::TempDir dir;
  const std::string db = dir.File("u16o.db");
  std::string text = "Zq9start";
  while (text.size() < 3000) text.push_back(static_cast<char>('a' + text.size() % 26));
  testing::MakeDatabase(db,
                        "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
                        "INSERT INTO t VALUES(1,'first');"
                        "INSERT INTO t VALUES(2,'" + text + "');"
                        "INSERT INTO t VALUES(3,'last');",
                        1024, "UTF-16le");
  std::string marker;
  for (char ch : std::string("Zq9start")) marker += std::string{ch, '\0'};
  const int64_t textAt = testing::FindInFile(db, marker);
  ASSERT_GT(textAt, 0);
  // Header of 4 bytes, 6000 bytes of text: 904 payload bytes stay local.
  const int64_t pointerAt = textAt - 4 + format3::LocalPayloadSize(6004, 1024);
  for (uint32_t bad : {0u, 100000u}) {
    testing::PatchBytes(db, pointerAt,
                        {static_cast<uint8_t>(bad >> 24), static_cast<uint8_t>(bad >> 16),
                         static_cast<uint8_t>(bad >> 8), static_cast<uint8_t>(bad)});
    Carver c(db, ReaderKind::Memory, true);
    c.Preview(Carver::RootPage(db, "t"), 2, 10);
    EXPECT_EQ(U8(c.host.MessageTexts()),
              (std::vector<std::string>{"Corruption in file Cell content area"}));
    ASSERT_EQ(c.host.rows.size(), 3u);
    EXPECT_EQ(U8(c.host.rows[1][1]), text.substr(0, 450));
    EXPECT_EQ(U8(c.host.rows[2]), (std::vector<std::string>{"3", "last"}));
  }
}

TEST(TableOverflowTest, IntegerSplitAcrossTheOverflowBoundaryOfARealFile) {
  // 512-byte pages keep 39 payload bytes of this record on the leaf page:
  // the 5-byte header and the 32-byte text leave two bytes of the integer
  // there, and its other two bytes begin the first overflow page.
  testing::TempDir dir;
  const std::string db = dir.File("split.db");
  testing::MakeDatabase(db,
                        "CREATE TABLE t(s TEXT, i INTEGER, b BLOB);"
                        "INSERT INTO t VALUES('abcdefghijklmnopqrstuvwxyz012345', 305419896,"
                        " zeroblob(1000));",
                        512);
  const int64_t textAt = testing::FindInFile(db, "abcdefghijklmnopqrstuvwxyz012345");
  ASSERT_GT(textAt, 0);
  const auto bytes = testing::ReadBytes(db);
  ASSERT_EQ(bytes[textAt + 32], 0x12);
  ASSERT_EQ(bytes[textAt + 33], 0x34);
  ASSERT_FALSE(bytes[textAt + 34] == 0x56 && bytes[textAt + 35] == 0x78);
  Carver c(db);
  c.Preview(Carver::RootPage(db, "t"), 3);
  ASSERT_EQ(c.host.rows.size(), 1u);
  EXPECT_EQ(U8(c.host.rows[0]), (std::vector<std::string>{"abcdefghijklmnopqrstuvwxyz012345",
                                                           "305419896", "< Blob Data >"}));
  EXPECT_TRUE(c.host.messages.empty());
}

TEST(TableOverflowTest, ReservedBytesAtThePageEnd) {
  // Pages with 16 reserved bytes keep less payload per page; a header whose
  // fixed bytes are damaged is not trusted for the reserved count.
  testing::TempDir dir;
  const std::string db = dir.File("reserved.db");
  std::string text;
  for (int i = 0; i < 7000; ++i) text.push_back(static_cast<char>('a' + (i * 7) % 26));
  for (int reserve : {16, 0}) {
    std::remove(db.c_str());
    sqlite3* handle = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
    int n = reserve;
    sqlite3_exec(handle, "PRAGMA page_size=1024;", nullptr, nullptr, nullptr);
    sqlite3_file_control(handle, "main", SQLITE_FCNTL_RESERVE_BYTES, &n);
    ASSERT_EQ(sqlite3_exec(handle,
                           ("CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT, w INTEGER);"
                            "INSERT INTO t VALUES(1,'" + text + "',77);")
                               .c_str(),
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(handle);
    ASSERT_EQ(testing::ReadBytes(db)[20], reserve);
    const int64_t root = Carver::RootPage(db, "t");
    if (reserve == 0) {
      testing::PatchBytes(db, 20, {40, 0});  // a damaged reserved count and fraction
    }
    Carver c(db);
    c.Preview(root, 3, 10);
    ASSERT_EQ(c.host.rows.size(), 1u) << reserve;
    EXPECT_EQ(U8(c.host.rows[0][1]), text) << reserve;
    EXPECT_EQ(U8(c.host.rows[0][2]), "77") << reserve;
  }
}

TEST(TablePagesTest, RootBeyondTheFileOrOutsideThePageTable) {
  testing::TempDir dir;
  const std::string db = dir.File("small.db");
  testing::MakeDatabase(db, "CREATE TABLE t(v);INSERT INTO t VALUES(1);");
  Carver c(db);
  c.Preview(1000, 1);
  EXPECT_EQ(U8(c.host.MessageTexts()), (std::vector<std::string>{"File is corrupted"}));
  EXPECT_TRUE(c.host.rows.empty());
  Carver zero(db);
  zero.Preview(0, 1);
  EXPECT_TRUE(zero.host.messages.empty());
  EXPECT_TRUE(zero.host.rows.empty());
  EXPECT_EQ(zero.engine.CountTableEntries(0), 0u);
  EXPECT_EQ(zero.engine.CountTableEntries(-3), 0u);
  EXPECT_EQ(zero.engine.CountTableEntries(1000), 0u);
}

TEST(TablePagesTest, InteriorPageThatPointsBackEnds) {
  testing::TempDir dir;
  const std::string db = dir.File("loop.db");
  std::string sql = "CREATE TABLE t(v TEXT);BEGIN;";
  for (int i = 0; i < 500; ++i) sql += "INSERT INTO t VALUES('row " + std::to_string(i) + "');";
  sql += "COMMIT;";
  testing::MakeDatabase(db, sql, 512);
  const int64_t root = Carver::RootPage(db, "t");
  // The root's right-most child becomes the root itself.
  const uint64_t at = (root - 1) * 512ull + 8;
  testing::PatchBytes(db, at,
                      {static_cast<uint8_t>(root >> 24), static_cast<uint8_t>(root >> 16),
                       static_cast<uint8_t>(root >> 8), static_cast<uint8_t>(root)});
  Carver c(db);
  ASSERT_EQ(c.engine.model.pageTable[root - 1].pageType, 5);
  const uint64_t entries = c.engine.CountTableEntries(root);
  EXPECT_LT(entries, 500u);
  c.Preview(root, 1);
  EXPECT_EQ(c.host.rows.size(), entries);
}

TEST(TableSaveModeTest, RecordsGoToTheTargetTypedAndExact) {
  testing::TempDir dir;
  const std::string db = dir.File("save.db");
  testing::MakeDatabase(db,
                        "CREATE TABLE t(id INTEGER PRIMARY KEY, r REAL, s TEXT, b BLOB, n);"
                        "INSERT INTO t VALUES(5, 0.1, 'x', x'00ff', NULL);"
                        "INSERT INTO t VALUES(9, 1e300, '', x'', 8388608);");
  Carver c(db);
  CollectingTarget target;
  c.engine.insertTarget = &target;
  c.host.settings.saveMode = 2;
  c.host.settings.progressCounter = 1;
  c.host.settings.rowsInserted = 0;
  c.engine.LoadTableRecords(db, Carver::RootPage(db, "t"), 5, u"t", 10);
  EXPECT_TRUE(c.host.rows.empty());  // a save does not fill the record list
  EXPECT_TRUE(c.host.progressRanges.empty());
  EXPECT_EQ(c.host.progressPositions, (std::vector<uint64_t>{1, 2}));
  EXPECT_EQ(c.host.settings.rowsInserted, 2u);
  ASSERT_EQ(target.records.size(), 2u);
  EXPECT_EQ(target.names, (std::vector<std::u16string>{u"t", u"t"}));
  const auto& r0 = target.records[0];
  ASSERT_EQ(r0.size(), 5u);
  EXPECT_EQ(r0[0].kind, RecordValue::Kind::Integer);
  EXPECT_EQ(r0[0].integer, 5);
  EXPECT_EQ(r0[1].kind, RecordValue::Kind::Real);
  EXPECT_EQ(r0[1].real, 0.1);
  EXPECT_EQ(TextCharacters(r0[2]), u"x");
  EXPECT_EQ(r0[3].kind, RecordValue::Kind::Blob);
  EXPECT_EQ(r0[3].blob, std::string("\0\xff", 2));
  EXPECT_EQ(r0[4].kind, RecordValue::Kind::Null);
  const auto& r1 = target.records[1];
  EXPECT_EQ(r1[1].real, 1e300);
  EXPECT_EQ(r1[2].kind, RecordValue::Kind::Text);
  EXPECT_EQ(r1[3].kind, RecordValue::Kind::Blob);
  EXPECT_EQ(r1[3].blob, "");
  EXPECT_EQ(r1[4].integer, 8388608);
}

TEST(TableEncodingTest, Utf16TextsAndHeaderChoice) {
  testing::TempDir dir;
  const std::string db = dir.File("u16.db");
  testing::MakeDatabase(db,
                        "CREATE TABLE t(s TEXT);INSERT INTO t VALUES('h\xC3\xA9llo');"
                        "INSERT INTO t VALUES('\xE2\x82\xAC');",
                        0, "UTF-16le");
  Carver c(db, ReaderKind::Memory, true);
  c.Preview(Carver::RootPage(db, "t"), 1);
  ASSERT_EQ(c.host.rows.size(), 2u);
  EXPECT_EQ(c.host.rows[0][0], u"h\u00E9llo");
  EXPECT_EQ(c.host.rows[1][0], u"\u20AC");
  // With no encoding chosen, the file header decides.
  Carver unset(db);
  unset.engine.utf8Chosen = false;
  unset.Preview(Carver::RootPage(db, "t"), 1);
  ASSERT_EQ(unset.host.rows.size(), 2u);
  EXPECT_EQ(unset.host.rows[1][0], u"\u20AC");
}

TEST(CountCheckedEntriesTest, SumsTheCheckedTables) {
  testing::TempDir dir;
  const std::string db = dir.File("two.db");
  std::string sql = "CREATE TABLE a(v);CREATE TABLE b(v);";
  for (int i = 0; i < 10; ++i) sql += "INSERT INTO a VALUES(1);";
  for (int i = 0; i < 5; ++i) sql += "INSERT INTO b VALUES(1);";
  testing::MakeDatabase(db, sql);
  Carver c(db);
  auto& model = c.engine.model;
  model.tableDescriptors = {u"a+v~#" + ToU16(std::to_string(Carver::RootPage(db, "a"))),
                            u"b+v~#" + ToU16(std::to_string(Carver::RootPage(db, "b")))};
  auto& tree = c.host.tree;
  const TreeItem rootItem = tree.InsertItem(u"file", kNoItem, InsertPosition::Last);
  const TreeItem tables = tree.InsertItem(kTablesGroupText, rootItem, InsertPosition::Last);
  tree.SetItemData(tables, kTablesGroupData);
  const TreeItem a = tree.InsertItem(u"a", tables, InsertPosition::Last);
  tree.SetItemData(a, 0);
  const TreeItem b = tree.InsertItem(u"b", tables, InsertPosition::Last);
  tree.SetItemData(b, 1);
  const TreeItem bogus = tree.InsertItem(u"x", tables, InsertPosition::Last);
  tree.SetItemData(bogus, 7);  // no such descriptor
  EXPECT_EQ(c.engine.CountCheckedEntries(), 0u);
  tree.SetCheck(tables, 1);
  EXPECT_EQ(c.engine.CountCheckedEntries(), 15u);
  tree.SetCheck(a, 0);
  EXPECT_EQ(c.engine.CountCheckedEntries(), 5u);
}

}  // namespace
}  // namespace korvel

namespace korvel {
namespace {

// Random bytes of a database with overflow values and free blocks are
// damaged; every page read as a table root must end without a fault, and
// nothing may be counted that the walk did not reach.
TEST(TableDamageTest, RandomDamageIsSurvived) {
  testing::TempDir dir;
  const std::string db = dir.File("rnd.db");
  std::string sql = "CREATE TABLE t(id INTEGER PRIMARY KEY, a, b TEXT, c BLOB);BEGIN;";
  for (int i = 0; i < 120; ++i) {
    sql += "INSERT INTO t VALUES(" + std::to_string(i) + "," +
           (i % 3 == 0 ? "1.5" : i % 3 == 1 ? "1099511627776" : "NULL") +
           ",printf('%." + std::to_string((i * 37) % 1500) + "c','y'),randomblob(" +
           std::to_string((i * 53) % 1200) + "));";
  }
  sql += "COMMIT;DELETE FROM t WHERE id % 7 = 0;";
  testing::MakeDatabase(db, sql, 512);
  const auto original = testing::ReadBytes(db);
  std::mt19937 rng(20261211);
  for (int round = 0; round < 30; ++round) {
    auto bytes = original;
    const int hits = 1 + static_cast<int>(rng() % 24);
    for (int k = 0; k < hits; ++k) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
    testing::WriteBytes(db, bytes);
    Carver c(db, round % 2 ? ReaderKind::Disk : ReaderKind::Memory, round % 3 == 0);
    const uint64_t pages = c.engine.model.pageTable.size();
    for (uint64_t root = 0; root <= pages + 1; ++root) {
      c.host.rows.clear();
      c.Preview(static_cast<int64_t>(root), 1 + static_cast<int>(root % 5), root % 2 ? 10 : 0);
      EXPECT_LE(c.host.rows.size(), c.engine.CountTableEntries(static_cast<int64_t>(root)));
    }
  }
}

}  // namespace
}  // namespace korvel
