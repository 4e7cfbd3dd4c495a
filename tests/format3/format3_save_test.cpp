// The format-3 save end to end: records carved from a database built with
// the SQLite library go through the repaired database writer into the
// repaired database, which must then hold exactly the original rows. The
// engine's lists and the tree are filled here from the original file, so
// these tests do not depend on the schema scan.

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app_title.h"
#include "core/reader.h"
#include "core/text_codec.h"
#include "format3/page_layout.h"
#include "format3/sqlite_ver3.h"
#include "output/repaired_writer.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_database.h"
#include "tests/support/typed_rows.h"

namespace korvel {
namespace {

using testing::QueryRows;
using testing::RecordingHost;
using testing::U8;
using testing::Cell;
using testing::ReadCells;

// Stops the save after a number of records were written.
class StoppingHost : public RecordingHost {
 public:
  void SetProgressPos(uint64_t position) override {
    RecordingHost::SetProgressPos(position);
    if (stopAtPosition != 0 && position >= stopAtPosition) stop = true;
  }
  uint64_t stopAtPosition = 0;
};

// An engine on a database file with its lists and tree filled as a scan
// would fill them.
struct SaveSetup {
  SaveSetup(const std::string& path, bool utf16 = false) : input(path) {
    reader = OpenReader(path);
    EXPECT_TRUE(reader != nullptr);
    const auto bytes = testing::ReadBytes(path);
    uint32_t pageSize = (bytes[16] << 8) | bytes[17];
    if (pageSize == 1) pageSize = 65536;
    ScanSettings& s = host.settings;
    s.inputPath = path;
    s.version = 2;
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
    TreeOps& tree = host.tree;
    rootItem = tree.InsertItem(Utf8ToUtf16(path), kNoItem, InsertPosition::Last);
    const char16_t* texts[] = {kTablesGroupText, kIndexesGroupText, kViewsGroupText,
                               kTriggersGroupText};
    TreeItem* items[] = {&s.tablesGroup, &s.indexesGroup, &s.viewsGroup, &s.triggersGroup};
    for (int i = 0; i < 4; ++i) {
      *items[i] = tree.InsertItem(texts[i], rootItem, InsertPosition::Last);
      tree.SetItemData(*items[i], kTablesGroupData - i);
    }
  }

  // Adds a table as the statement parser would: its statement without the
  // closing parenthesis and its descriptor.
  void AddTable(const std::string& name) {
    const auto info = QueryRows(input, "SELECT sql, rootpage FROM sqlite_master WHERE name='" +
                                           name + "'");
    std::string sql = info[0][0];
    sql.erase(sql.rfind(')'));
    std::u16string descriptor = Utf8ToUtf16(name) + u"+";
    for (const auto& column : QueryRows(input, "PRAGMA table_info(" + name + ")")) {
      descriptor += Utf8ToUtf16(column[1]);
      if (column[5] == "1" && column[2] == "INTEGER") descriptor += u"< P.K >";
      descriptor += u"~";
    }
    descriptor += u"#" + Utf8ToUtf16(info[0][1]);
    auto& m = engine.model;
    if (engine.utf16Chosen) {
      m.tableStatements16.push_back(Utf8ToUtf16(sql));
    } else {
      m.tableStatements8.push_back(sql);
    }
    m.tableDescriptors.push_back(descriptor);
    const TreeItem item = host.tree.InsertItem(Utf8ToUtf16(name), host.settings.tablesGroup,
                                               InsertPosition::Last);
    host.tree.SetItemData(item, static_cast<int32_t>(m.tableDescriptors.size() - 1));
  }

  bool Save() {
    host.tree.SetCheck(rootItem, 1);
    return engine.SaveRecovered(input);
  }
  std::string Output() const { return MakeRepairedPath(input); }

  std::string input;
  StoppingHost host;
  sqlite_ver3 engine;
  std::unique_ptr<Reader> reader;
  TreeItem rootItem = kNoItem;
};

std::string EveryKindSql() {
  std::string sql =
      "CREATE TABLE t(id INTEGER PRIMARY KEY, a, r REAL, s TEXT, b BLOB);"
      "CREATE TABLE k(x INTEGER, y TEXT);BEGIN;";
  const char* integers[] = {"0", "1", "-1", "127", "128", "-129", "32767", "32768", "-32769",
                            "8388607", "8388608", "-8388609", "2147483647", "2147483648",
                            "140737488355327", "140737488355328", "-140737488355329",
                            "9223372036854775807", "-9223372036854775808"};
  int id = 1;
  for (const char* v : integers) {
    sql += "INSERT INTO t VALUES(" + std::to_string(id++) + "," + v + ",NULL,'i','');";
  }
  const char* reals[] = {"0.1", "-2.5e-300", "1e300", "3.141592653589793", "2.0", "-0.0",
                         "123456789.125"};
  for (const char* v : reals) {
    sql += "INSERT INTO t VALUES(" + std::to_string(id++) + "," + v + "," + v + ",'r',x'');";
  }
  sql += "INSERT INTO t VALUES(100,NULL,NULL,NULL,NULL);";
  sql += "INSERT INTO t VALUES(101,'O''Brien','1.5','h\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80',"
         "x'00ff00');";
  sql += "INSERT INTO t VALUES(-5,x'',0,'',zeroblob(0));";
  // Values that spill onto overflow pages, one over several of them.
  sql += "INSERT INTO t VALUES(200,printf('%.5000c','w'),1.25,printf('%.20000c','x'),"
         "randomblob(3000));";
  sql += "INSERT INTO t VALUES(201,randomblob(9000),NULL,'tail',randomblob(10));";
  for (int i = 0; i < 300; ++i) {
    sql += "INSERT INTO k VALUES(" + std::to_string(i * 1000003) + ",'row " + std::to_string(i) +
           "');";
  }
  sql += "COMMIT;";
  return sql;
}

class RoundTripTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RoundTripTest, RepairedDatabaseHoldsExactlyTheOriginalRows) {
  testing::TempDir dir;
  const std::string db = dir.File("every.db");
  const std::string encoding = GetParam();
  testing::MakeDatabase(db, EveryKindSql(), 1024, encoding);
  SaveSetup setup(db, encoding != "UTF-8");
  setup.AddTable("t");
  setup.AddTable("k");
  ASSERT_TRUE(setup.Save());
  for (const char* table : {"t", "k"}) {
    const std::string query = std::string("SELECT * FROM ") + table + " ORDER BY rowid";
    const auto original = ReadCells(db, query);
    const auto repaired = ReadCells(setup.Output(), query);
    ASSERT_EQ(repaired.size(), original.size()) << table;
    for (size_t i = 0; i < original.size(); ++i) {
      ASSERT_EQ(repaired[i], original[i]) << table << " row " << i;
    }
  }
  const auto lines = U8(setup.host.lines);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Total 31 Rows inserted in table successfully"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Total 300 Rows inserted in table successfully"),
            lines.end());
  EXPECT_TRUE(setup.host.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Encodings, RoundTripTest, ::testing::Values("UTF-8", "UTF-16le"));

class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.File("shop.db");
    std::string sql = "CREATE TABLE item(id INTEGER PRIMARY KEY, name TEXT);BEGIN;";
    for (int i = 1; i <= 1000; ++i) {
      sql += "INSERT INTO item VALUES(" + std::to_string(i) + ",'item " + std::to_string(i) + "');";
    }
    sql += "COMMIT;";
    testing::MakeDatabase(db, sql, 1024);
  }
  testing::TempDir dir;
  std::string db;
};

TEST_F(SaveTest, LinesProgressAndAnEmptyRecordList) {
  SaveSetup setup(db);
  setup.AddTable("item");
  setup.host.rows.push_back({u"left over"});
  ASSERT_TRUE(setup.Save());
  const auto lines = U8(setup.host.lines);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Creating Database", "Database have total 1000 Entries",
                       "Table item contain 1000 rows", "Total 1000 Rows inserted in table successfully",
                       "Database Table created successfully",
                       "Database Index schema created successfully",
                       "Database views created successfully",
                       "Database Triggers created successfully"}));
  EXPECT_EQ(setup.host.progressRanges, (std::vector<uint64_t>{1000}));
  ASSERT_EQ(setup.host.progressPositions.size(), 1000u);
  EXPECT_EQ(setup.host.progressPositions.front(), 1u);
  EXPECT_EQ(setup.host.progressPositions.back(), 1000u);
  EXPECT_TRUE(setup.host.rows.empty());
  EXPECT_EQ(setup.host.settings.saveMode, 0);
  EXPECT_EQ(QueryRows(setup.Output(), "SELECT count(*), sum(id) FROM item")[0],
            (std::vector<std::string>{"1000", "500500"}));
}

TEST_F(SaveTest, OverwriteQuestionBothWays) {
  {
    SaveSetup first(db);
    first.AddTable("item");
    ASSERT_TRUE(first.Save());
    EXPECT_TRUE(first.host.messages.empty());
  }
  const std::string out = MakeRepairedPath(db);
  testing::MakeDatabase(out, "CREATE TABLE marker(v);");  // something to replace
  {
    SaveSetup no(db);
    no.AddTable("item");
    no.host.answers = {MessageAnswer::No};
    EXPECT_FALSE(no.Save());
    ASSERT_EQ(no.host.messages.size(), 1u);
    EXPECT_EQ(U8(no.host.messages[0].text),
              "The Database File " + out +
                  " Already exist.\n Exisitng file will be Deleted. Do you want to Continue ?");
    EXPECT_EQ(no.host.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(no.host.messages[0].caption, kAppTitle);
    EXPECT_EQ(U8(no.host.lines), (std::vector<std::string>{"Creating Database",
                                                          "Database have total 1000 Entries"}));
    EXPECT_EQ(QueryRows(out, "SELECT name FROM sqlite_master")[0][0], "marker");
  }
  {
    SaveSetup yes(db);
    yes.AddTable("item");
    yes.host.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(yes.Save());
    EXPECT_EQ(yes.host.messages.size(), 1u);
    EXPECT_EQ(QueryRows(out, "SELECT name FROM sqlite_master"),
              (std::vector<std::vector<std::string>>{{"item"}}));
    EXPECT_EQ(QueryRows(out, "SELECT count(*) FROM item")[0][0], "1000");
  }
}

TEST_F(SaveTest, StopInTheMiddleKeepsAValidDatabaseWithTheRowsWritten) {
  SaveSetup setup(db);
  setup.AddTable("item");
  setup.host.stopAtPosition = 400;
  ASSERT_TRUE(setup.Save());
  const auto lines = U8(setup.host.lines);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[lines.size() - 4], "Database Table created successfully");
  EXPECT_EQ(lines.back(), "Database Triggers created successfully");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Total 400 Rows inserted in table successfully"),
            lines.end());
  EXPECT_EQ(QueryRows(setup.Output(), "PRAGMA integrity_check")[0][0], "ok");
  EXPECT_EQ(QueryRows(setup.Output(), "SELECT count(*), min(id), max(id) FROM item")[0],
            (std::vector<std::string>{"400", "1", "400"}));
}

TEST_F(SaveTest, RecordRejectedForADuplicateKeyLowersTheCount) {
  // The third record's rowid becomes 2, the key of the second record.
  auto reader = OpenReader(db);
  ScanSettings s;
  s.pageSize = 1024;
  s.pageCount = testing::ReadBytes(db).size() / 1024;
  s.reader = reader.get();
  const PageGeometry g = GeometryOf(s);
  // The first leaf page of the table holds the rowids 1, 2, 3, ...
  const int64_t root = std::stoll(QueryRows(db, "SELECT rootpage FROM sqlite_master")[0][0]);
  PageHeader h;
  ASSERT_TRUE(ReadPageHeader(*reader, g, root, h));
  ASSERT_EQ(h.pageType, 5);
  uint16_t cellPointer = 0;
  uint32_t firstLeaf = 0;
  ASSERT_TRUE(ReadBE16(*reader, PageOffset(g, root) + 12, cellPointer));
  ASSERT_TRUE(ReadBE32(*reader, PageOffset(g, root) + cellPointer, firstLeaf));
  PageHeader leaf;
  ASSERT_TRUE(ReadPageHeader(*reader, g, firstLeaf, leaf));
  const auto cells = ReadLeafCellPointers(*reader, g, firstLeaf, leaf);
  ASSERT_GE(cells.size(), 3u);
  const uint64_t third = PageOffset(g, firstLeaf) + cells[2];
  reader.reset();
  // Payload length is one byte for these short records; then the rowid.
  ASSERT_EQ(testing::ReadBytes(db)[third + 1], 3);
  testing::PatchBytes(db, third + 1, {2});

  SaveSetup setup(db);
  setup.AddTable("item");
  ASSERT_TRUE(setup.Save());
  const auto lines = U8(setup.host.lines);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Total 999 Rows inserted in table successfully"),
            lines.end());
  EXPECT_EQ(QueryRows(setup.Output(), "SELECT count(*) FROM item")[0][0], "999");
  EXPECT_EQ(QueryRows(setup.Output(), "SELECT name FROM item WHERE id=2")[0][0], "item 2");
}

TEST_F(SaveTest, DamagedFileIsNeverWritten) {
  const auto before = testing::ReadBytes(db);
  struct stat st1 {};
  ASSERT_EQ(::stat(db.c_str(), &st1), 0);
  SaveSetup setup(db);
  setup.AddTable("item");
  ASSERT_TRUE(setup.Save());
  setup.reader.reset();
  struct stat st2 {};
  ASSERT_EQ(::stat(db.c_str(), &st2), 0);
  EXPECT_EQ(testing::ReadBytes(db), before);
  EXPECT_EQ(st1.st_mtim.tv_sec, st2.st_mtim.tv_sec);
  EXPECT_EQ(st1.st_mtim.tv_nsec, st2.st_mtim.tv_nsec);
}

TEST_F(SaveTest, OutputPathOverrideNamingTheDamagedFileIsRefused) {
  const auto before = testing::ReadBytes(db);
  SaveSetup setup(db);
  setup.AddTable("item");
  setup.host.settings.outputPathOverride = db;
  setup.host.answers = {MessageAnswer::Yes};
  EXPECT_FALSE(setup.Save());
  setup.reader.reset();
  EXPECT_EQ(testing::ReadBytes(db), before);
}

}  // namespace
}  // namespace korvel
