#include "output/repaired_writer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "core/app_title.h"
#include "core/text_codec.h"
#include "output/table_record_writer.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_database.h"
#include "tests/support/typed_rows.h"

namespace korvel {
namespace {

using testing::RecordingHost;
using testing::TempDir;
using testing::U8;
using testing::Cell;
using testing::ReadCells;
using Record = std::vector<RecordValue>;

// An engine whose tables are scripted: LoadTableRecords hands the records of
// the table at a root page to the insert target, one by one, as the records
// carver does in save mode.
class ScriptedEngine : public sqlite_base {
 public:
  std::map<int64_t, std::vector<Record>> tables;  // by root page
  // Called before each record is handed over (record index from 0).
  std::function<void(size_t)> beforeRecord;

  struct Call {
    int64_t rootPage;
    int columnCount;
    std::u16string name;
    int marker;
    int saveMode;
  };
  std::vector<Call> calls;

  void LoadTableRecords(const std::string&, int64_t rootPage, int columnCount,
                        const std::u16string& name, int marker) override {
    calls.push_back({rootPage, columnCount, name, marker, owner->Settings().saveMode});
    const auto& records = tables[rootPage];
    for (size_t i = 0; i < records.size(); ++i) {
      if (owner->StopRequested()) return;
      if (beforeRecord) beforeRecord(i);
      owner->Settings().rowsInserted += 1;
      insertTarget->ExecuteRecordInsert(name, records[i]);
    }
  }
  uint64_t CountTableRows(const std::string&, int64_t rootPage) override {
    return tables[rootPage].size();
  }
  uint64_t CountCheckedEntries() override {
    uint64_t total = 0;
    TreeOps& tree = owner->Tree();
    for (TreeItem item = tree.GetChildItem(owner->Settings().tablesGroup); item != kNoItem;
         item = tree.GetNextSiblingItem(item)) {
      const int32_t n = tree.GetItemData(item);
      if (tree.GetCheck(item) == 1 && n >= 0 && size_t(n) < model.tableDescriptors.size()) {
        total += tables[ParseTableDescriptor(model.tableDescriptors[n]).rootPage].size();
      }
    }
    return total;
  }
};

void ExpectSame(const Record& expected, const std::vector<Cell>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("column " + std::to_string(i));
    const RecordValue& v = expected[i];
    const Cell& c = actual[i];
    switch (v.kind) {
      case RecordValue::Kind::Null: EXPECT_EQ(c.type, SQLITE_NULL); break;
      case RecordValue::Kind::Integer:
        EXPECT_EQ(c.type, SQLITE_INTEGER);
        EXPECT_EQ(c.integer, v.integer);
        break;
      case RecordValue::Kind::Real:
        EXPECT_EQ(c.type, SQLITE_FLOAT);
        EXPECT_EQ(std::memcmp(&c.real, &v.real, sizeof(double)), 0) << c.real << " vs " << v.real;
        break;
      case RecordValue::Kind::Text:
        EXPECT_EQ(c.type, SQLITE_TEXT);
        EXPECT_EQ(U8(c.text), U8(TextCharacters(v)));
        break;
      case RecordValue::Kind::Blob:
        EXPECT_EQ(c.type, SQLITE_BLOB);
        EXPECT_EQ(c.blob, v.blob);
        break;
    }
  }
}

std::string DatabaseEncoding(const std::string& path) {
  return testing::QueryRows(path, "PRAGMA encoding")[0][0];
}

// A host with the four groups, an engine scripted through it, and a damaged
// file's path inside a fresh folder.
class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    input = dir.File("shop.db");
    output = MakeRepairedPath(input);
    host.settings.inputPath = input;
    engine.owner = &host;
    ObjectTree& tree = host.tree;
    root = tree.InsertItem(Utf8ToUtf16(input), kNoItem, InsertPosition::Last);
    host.settings.tablesGroup = Group(kTablesGroupText, kTablesGroupData);
    host.settings.indexesGroup = Group(kIndexesGroupText, kIndexesGroupData);
    host.settings.viewsGroup = Group(kViewsGroupText, kViewsGroupData);
    host.settings.triggersGroup = Group(kTriggersGroupText, kTriggersGroupData);
  }

  TreeItem Group(const char16_t* text, int32_t data) {
    TreeItem item = host.tree.InsertItem(text, root, InsertPosition::Last);
    host.tree.SetItemData(item, data);
    return item;
  }

  TreeItem Item(TreeItem group, const std::u16string& text, int32_t data, bool checked = true) {
    TreeItem item = host.tree.InsertItem(text, group, InsertPosition::Last);
    host.tree.SetItemData(item, data);
    host.tree.SetCheck(item, checked ? 1 : 0);
    return item;
  }

  // createText without its closing parenthesis; root page = 2 + table index.
  TreeItem AddTable(const std::string& createText, const std::u16string& name,
                    const std::vector<std::u16string>& columns, std::vector<Record> records,
                    bool checked = true) {
    const int32_t n = static_cast<int32_t>(engine.model.tableDescriptors.size());
    const int64_t rootPage = 2 + n;
    engine.model.tableStatements8.push_back(createText);
    engine.model.tableStatements16.push_back(Utf8ToUtf16(createText));
    std::u16string descriptor = name + u"+";
    for (const auto& c : columns) descriptor += c + u"~";
    descriptor += u"#" + U16Number(static_cast<long long>(rootPage));
    engine.model.tableDescriptors.push_back(descriptor);
    engine.tables[rootPage] = std::move(records);
    return Item(host.settings.tablesGroup, name, n, checked);
  }

  TreeItem AddSchemaObject(int32_t groupKind, const std::string& text, bool checked = true) {
    std::vector<std::string>* list8 = nullptr;
    std::vector<std::u16string>* list16 = nullptr;
    TreeItem group = kNoItem;
    if (groupKind == kIndexesGroupData) {
      list8 = &engine.model.indexStatements8;
      list16 = &engine.model.indexStatements16;
      group = host.settings.indexesGroup;
    } else if (groupKind == kViewsGroupData) {
      list8 = &engine.model.viewStatements8;
      list16 = &engine.model.viewStatements16;
      group = host.settings.viewsGroup;
    } else {
      list8 = &engine.model.triggerStatements8;
      list16 = &engine.model.triggerStatements16;
      group = host.settings.triggersGroup;
    }
    list8->push_back(text);
    list16->push_back(Utf8ToUtf16(text));
    return Item(group, u"obj", static_cast<int32_t>(list8->size() - 1), checked);
  }

  void WriteAllTables() { WriteTables(host, engine, host.settings.tablesGroup, output); }
  void WriteGroup(int32_t kind) {
    TreeItem group = kind == kIndexesGroupData ? host.settings.indexesGroup
                     : kind == kViewsGroupData ? host.settings.viewsGroup
                                               : host.settings.triggersGroup;
    WriteSchemaObjects(host, engine, group, output, kind);
  }
  std::vector<std::string> Lines() const { return U8(host.lines); }
  int64_t CountRows(const std::string& table) {
    return std::stoll(testing::QueryRows(output, "SELECT count(*) FROM " + table)[0][0]);
  }

  TempDir dir;
  RecordingHost host;
  ScriptedEngine engine;
  TreeItem root = kNoItem;
  std::string input, output;
};

// Every case of this fixture runs once per route: the UTF-8 database and
// the UTF-16 database.
class EachRoute : public WriterTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    WriterTest::SetUp();
    engine.utf16Chosen = GetParam();
    engine.utf8Chosen = !GetParam();
  }
};

INSTANTIATE_TEST_SUITE_P(BothEncodings, EachRoute, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Utf16" : "Utf8"; });

// ---- paths ----

TEST(RepairedPath, IsRepairedPrefixOnTheFileNameInItsFolder) {
  const std::pair<const char*, const char*> cases[] = {
      {"/data/shop.db", "/data/Repaired_shop.db"},
      {"shop.db", "Repaired_shop.db"},
      {"/shop.db", "/Repaired_shop.db"},
      {"a/b.c/d", "a/b.c/Repaired_d"},
      {"dir/", "dir/Repaired_"},
      {"C:\\data\\shop.db", "Repaired_C:\\data\\shop.db"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(MakeRepairedPath(in), out) << in;
}

TEST(RepairedPath, TheOverrideWinsWhenSet) {
  ScanSettings settings;
  settings.inputPath = "/x/y.db";
  EXPECT_EQ(RepairedPathFor(settings), "/x/Repaired_y.db");
  settings.outputPathOverride = "/tmp/out.db";
  EXPECT_EQ(RepairedPathFor(settings), "/tmp/out.db");
}

// ---- tables and records ----

Record EveryKind(int64_t id) {
  std::string blob("\x00\x01\xff\x7f", 4);
  return {RecordValue::Integer(id),
          RecordValue::Real(0.1),
          RecordValue::Real(1.0 / 3.0),
          RecordValue::Real(-1.5e-300),
          RecordValue::Text(u"O'Brien \u00e9\U0001F600"),
          RecordValue::Text(u""),
          RecordValue::Blob(blob),
          RecordValue::Blob(""),
          RecordValue::Null(),
          RecordValue::Integer(INT64_MIN)};
}

TEST_P(EachRoute, EveryValueKindArrivesExactlyAndTheLinesCountTheRecords) {
  std::vector<Record> records = {EveryKind(1), EveryKind(2), EveryKind(3)};
  AddTable("CREATE TABLE t1 (id INTEGER PRIMARY KEY, r1, r2, r3, s1, s2, b1, b2, n, i", u"t1 ",
           {u"id< P.K >", u"r1", u"r2", u"r3", u"s1", u"s2", u"b1", u"b2", u"n", u"i"}, records);
  WriteAllTables();

  EXPECT_EQ(Lines(), (std::vector<std::string>{"Table t1  contain 3 rows",
                                               "Total 3 Rows inserted in table successfully"}));
  ASSERT_EQ(engine.calls.size(), 1u);
  EXPECT_EQ(engine.calls[0].rootPage, 2);
  EXPECT_EQ(engine.calls[0].columnCount, 10);
  EXPECT_EQ(engine.calls[0].name, u"t1 ");
  EXPECT_EQ(engine.calls[0].marker, 10);
  EXPECT_EQ(engine.calls[0].saveMode, 2);
  EXPECT_EQ(engine.insertTarget, nullptr);

  const auto rows = ReadCells(output, "SELECT * FROM t1 ORDER BY id");
  ASSERT_EQ(rows.size(), 3u);
  for (size_t i = 0; i < rows.size(); ++i) ExpectSame(records[i], rows[i]);
  EXPECT_EQ(DatabaseEncoding(output), GetParam() ? "UTF-16le" : "UTF-8");
  EXPECT_EQ(testing::QueryRows(output, "PRAGMA page_size")[0][0],
            std::to_string(repaired::kRepairedPageSize));
}

TEST_P(EachRoute, TextsArriveExactly) {
  // A UTF-8 database receives a UTF-8 file's bytes as they are, valid
  // UTF-8 or not; a UTF-16 database receives their characters (bytes that
  // are no UTF-8 read as Windows-1252). UTF-16 texts of either byte order
  // keep their characters.
  const bool utf16 = GetParam();
  const struct {
    RecordValue value;
    std::u16string characters;
    std::string utf8Bytes;
  } cases[] = {
      {RecordValue::Text(std::string("h\xC3\xA9 \xF0\x9F\x98\x80"), TextForm::Utf8),
       u"h\u00E9 \U0001F600", "h\xC3\xA9 \xF0\x9F\x98\x80"},
      {RecordValue::Text(std::string("a\xE9\x80"), TextForm::Utf8), u"a\u00E9\u20AC", "a\xE9\x80"},
      {RecordValue::Text(std::string("\xAC\x20x\0", 4), TextForm::Utf16le), u"\u20ACx",
       "\xE2\x82\xACx"},
      {RecordValue::Text(std::string("\x20\xAC\0x", 4), TextForm::Utf16be), u"\u20ACx",
       "\xE2\x82\xACx"},
  };
  std::vector<Record> records;
  for (size_t i = 0; i < std::size(cases); ++i) {
    records.push_back({RecordValue::Integer(static_cast<int64_t>(i)), cases[i].value});
  }
  AddTable("CREATE TABLE t (id INTEGER PRIMARY KEY, s", u"t", {u"id< P.K >", u"s"}, records);
  WriteAllTables();
  const auto rows = ReadCells(output, "SELECT s, typeof(s) FROM t ORDER BY id");
  const auto bytes = testing::QueryRows(output, "SELECT hex(CAST(s AS BLOB)) FROM t ORDER BY id");
  ASSERT_EQ(rows.size(), std::size(cases));
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][0].type, SQLITE_TEXT) << i;
    if (utf16) {
      EXPECT_EQ(U8(rows[i][0].text), U8(cases[i].characters)) << i;
    } else {
      std::string hex;
      for (unsigned char c : cases[i].utf8Bytes) {
        hex += "0123456789ABCDEF"[c >> 4];
        hex += "0123456789ABCDEF"[c & 15];
      }
      EXPECT_EQ(bytes[i][0], hex) << i;
    }
  }
}

TEST_P(EachRoute, ATableWithoutRowidIsCreatedWithoutRowidUnlessItsKeyWasLost) {
  // The stored statement stops before the closing parenthesis, so the
  // clause after it comes from the descriptor. A statement that lost its
  // key cannot be a table without rowid; it still becomes a table.
  AddTable("CREATE TABLE w (id INTEGER PRIMARY KEY, v", u"w", {u"id", u"v"},
           {{RecordValue::Text(u"not a number"), RecordValue::Integer(1)}});
  engine.model.tableDescriptors.back() += u" WITHOUT ROWID(0)";
  AddTable("CREATE TABLE lost (a, b", u"lost", {u"a", u"b"},
           {{RecordValue::Integer(1), RecordValue::Integer(2)}});
  engine.model.tableDescriptors.back() += u" WITHOUT ROWID(1)";
  WriteAllTables();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Table w contain 1 rows",
                                               "Total 1 Rows inserted in table successfully",
                                               "Table lost contain 1 rows",
                                               "Total 1 Rows inserted in table successfully"}));
  EXPECT_EQ(testing::QueryRows(output, "SELECT name, sql LIKE '%WITHOUT ROWID' FROM sqlite_master "
                                       "ORDER BY name"),
            (std::vector<std::vector<std::string>>{{"lost", "0"}, {"w", "1"}}));
  EXPECT_EQ(testing::QueryRows(output, "SELECT id, v FROM w"),
            (std::vector<std::vector<std::string>>{{"not a number", "1"}}));
}

TEST_P(EachRoute, TablesWithTheirOwnIndexesAndSequencesAreCreated) {
  AddTable("CREATE TABLE p (code TEXT PRIMARY KEY, a UNIQUE, b, UNIQUE (a, b)", u"p",
           {u"code", u"a", u"b"},
           {{RecordValue::Text(u"x"), RecordValue::Integer(1), RecordValue::Integer(2)}});
  AddTable("CREATE TABLE q (id INTEGER PRIMARY KEY AUTOINCREMENT, v CHECK (length(v) < 9) "
           "DEFAULT (lower('A'))",
           u"q", {u"id< P.K >", u"v"}, {{RecordValue::Integer(7), RecordValue::Text(u"ok")}});
  AddTable("CREATE TABLE r (a REFERENCES p(code) ON DELETE CASCADE, s AS (a || 'x')", u"r",
           {u"a"}, {});
  WriteAllTables();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Table p contain 1 rows",
                                               "Total 1 Rows inserted in table successfully",
                                               "Table q contain 1 rows",
                                               "Total 1 Rows inserted in table successfully",
                                               "Table r contain 0 rows",
                                               "Total 0 Rows inserted in table successfully"}));
  EXPECT_EQ(testing::QueryRows(output, "SELECT name FROM sqlite_master ORDER BY name"),
            (std::vector<std::vector<std::string>>{{"p"},
                                                   {"q"},
                                                   {"r"},
                                                   {"sqlite_autoindex_p_1"},
                                                   {"sqlite_autoindex_p_2"},
                                                   {"sqlite_autoindex_p_3"},
                                                   {"sqlite_sequence"}}));
  EXPECT_EQ(testing::QueryRows(output, "SELECT seq FROM sqlite_sequence"),
            (std::vector<std::vector<std::string>>{{"7"}}));
}

TEST_P(EachRoute, LongRunsOfRecordsArriveEachWithItsOwnValues) {
  // Runs of records go in through INSERTs of many rows; every record keeps
  // its own values, also texts converted for a UTF-16 database.
  std::vector<Record> records;
  const size_t total = 3 * repaired::kRowsPerInsert + 5;
  for (size_t i = 0; i < total; ++i) {
    const auto n = static_cast<long long>(i);
    Record record = {RecordValue::Integer(n),
                     RecordValue::Text(Utf16ToUtf8(u"r\u00e9 " + U16Number(n)), TextForm::Utf8),
                     RecordValue::Real(static_cast<double>(n) / 7.0),
                     RecordValue::Blob(std::string(i % 5, static_cast<char>(i)))};
    if (i == total / 2) record.pop_back();  // a shorter record breaks a run
    records.push_back(std::move(record));
  }
  AddTable("CREATE TABLE t (id INTEGER PRIMARY KEY, s, r, b", u"t",
           {u"id< P.K >", u"s", u"r", u"b"}, records);
  WriteAllTables();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Table t contain " + std::to_string(total) + " rows",
                                               "table t has 4 columns but 3 values were supplied",
                                               "Total " + std::to_string(total - 1) +
                                                   " Rows inserted in table successfully"}));
  const auto rows = ReadCells(output, "SELECT * FROM t ORDER BY id");
  ASSERT_EQ(rows.size(), total - 1);
  for (size_t i = 0, row = 0; i < total; ++i) {
    if (i == total / 2) continue;
    SCOPED_TRACE("record " + std::to_string(i));
    ExpectSame(records[i], rows[row++]);
  }
}

// A record the database refuses inside a run of records: the run goes in
// record by record, so that the refused one alone is logged and uncounted
// and no other record is lost or stored twice.
struct RefusedInARun {
  const char* name;
  const char* create;  // without its closing parenthesis
  size_t refused;      // the record that breaks a constraint
  const char* line;
};

class RefusedRecordInARun : public WriterTest,
                            public ::testing::WithParamInterface<RefusedInARun> {};

TEST_P(RefusedRecordInARun, IsTheOnlyRecordMissing) {
  const RefusedInARun& c = GetParam();
  const size_t total = 2 * repaired::kRowsPerInsert;
  std::vector<Record> records;
  for (size_t i = 0; i < total; ++i) {
    const auto n = static_cast<int64_t>(i);
    records.push_back({RecordValue::Integer(i == c.refused ? 1 : n),
                       i == c.refused ? RecordValue::Null() : RecordValue::Integer(n)});
  }
  AddTable(c.create, u"t", {u"a", u"b"}, records);
  WriteAllTables();
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{
                "Table t contain " + std::to_string(total) + " rows", c.line,
                "Total " + std::to_string(total - 1) + " Rows inserted in table successfully"}));
  std::vector<std::vector<std::string>> expected;
  for (size_t i = 0; i < total; ++i) {
    if (i != c.refused) expected.push_back({std::to_string(i), std::to_string(i)});
  }
  EXPECT_EQ(testing::QueryRows(output, "SELECT a, b FROM t ORDER BY rowid"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedRecordInARun,
    ::testing::Values(
        RefusedInARun{"DuplicateKey", "CREATE TABLE t (a INTEGER PRIMARY KEY, b", 70,
                      "UNIQUE constraint failed: t.a"},
        RefusedInARun{"NotNull", "CREATE TABLE t (a, b NOT NULL", repaired::kRowsPerInsert + 3,
                      "NOT NULL constraint failed: t.b"},
        // FAIL keeps what an INSERT did before the failing row.
        RefusedInARun{"NotNullOnConflictFail", "CREATE TABLE t (a, b NOT NULL ON CONFLICT FAIL", 40,
                      "NOT NULL constraint failed: t.b"},
        RefusedInARun{"UniqueOnConflictFail", "CREATE TABLE t (a UNIQUE ON CONFLICT FAIL, b", 90,
                      "UNIQUE constraint failed: t.a"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RowsMayGoTogether, NotWhenTheStatementMayAskToFailOrRollBack) {
  EXPECT_TRUE(repaired::RowsMayGoTogether(std::string_view("CREATE TABLE t (a NOT NULL")));
  EXPECT_TRUE(repaired::RowsMayGoTogether(
      std::u16string_view(u"CREATE TABLE t (a UNIQUE ON CONFLICT REPLACE, b UNIQUE ON CONFLICT IGNORE")));
  EXPECT_FALSE(
      repaired::RowsMayGoTogether(std::string_view("CREATE TABLE t (a NOT NULL on conflict fail")));
  EXPECT_FALSE(repaired::RowsMayGoTogether(
      std::u16string_view(u"CREATE TABLE t (a UNIQUE ON CONFLICT FaIl")));
  EXPECT_FALSE(repaired::RowsMayGoTogether(
      std::string_view("CREATE TABLE t (a PRIMARY KEY ON CONFLICT ROLLBACK")));
}

TEST_F(WriterTest, ARecordWithManyBlobsBindsThemAll) {
  Record record;
  std::string create = "CREATE TABLE b (";
  std::vector<std::u16string> columns;
  for (int i = 0; i < 70; ++i) {
    record.push_back(RecordValue::Blob(std::string(static_cast<size_t>(i + 1), char(i))));
    create += (i ? ",c" : "c") + std::to_string(i);
    columns.push_back(u"c" + U16Number(static_cast<long long>(i)));
  }
  AddTable(create, u"b", columns, {record});
  WriteAllTables();
  const auto rows = ReadCells(output, "SELECT * FROM b");
  ASSERT_EQ(rows.size(), 1u);
  ExpectSame(record, rows[0]);
}

TEST_F(WriterTest, ARejectedRecordLogsTheLibraryMessageAndLowersTheCount) {
  AddTable("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT", u"t", {u"id< P.K >", u"name"},
           {{RecordValue::Integer(1), RecordValue::Text(u"a")},
            {RecordValue::Integer(1), RecordValue::Text(u"duplicate")},
            {RecordValue::Integer(2), RecordValue::Text(u"b")}});
  WriteAllTables();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Table t contain 3 rows",
                                               "UNIQUE constraint failed: t.id",
                                               "Total 2 Rows inserted in table successfully"}));
  EXPECT_EQ(testing::QueryRows(output, "SELECT id, name FROM t ORDER BY id"),
            (std::vector<std::vector<std::string>>{{"1", "a"}, {"2", "b"}}));
}

TEST_F(WriterTest, RejectionsAcrossManyBatchesAreLoggedInTheirOrderAndCounted) {
  // Records go to the database in batches written by another thread; the
  // lines of refused records still come in record order, before the total.
  std::vector<Record> records;
  const size_t total = 3 * repaired::kRecordsInFlight + 17;
  const std::vector<size_t> duplicates = {5, repaired::kBatchRecords, 2 * repaired::kRecordsInFlight + 3,
                                          total - 1};
  for (size_t i = 0; i < total; ++i) {
    const bool duplicate = std::find(duplicates.begin(), duplicates.end(), i) != duplicates.end();
    records.push_back({RecordValue::Integer(duplicate ? 0 : int64_t(i)),
                       RecordValue::Text(u"row " + U16Number(static_cast<long long>(i)))});
  }
  AddTable("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT", u"t", {u"id< P.K >", u"name"},
           records);
  WriteAllTables();
  std::vector<std::string> expected = {"Table t contain " + std::to_string(total) + " rows"};
  for (size_t i = 0; i < duplicates.size(); ++i) expected.push_back("UNIQUE constraint failed: t.id");
  expected.push_back("Total " + std::to_string(total - duplicates.size()) +
                     " Rows inserted in table successfully");
  EXPECT_EQ(Lines(), expected);
  EXPECT_EQ(CountRows("t"), int64_t(total - duplicates.size()));
  EXPECT_EQ(testing::QueryRows(output, "SELECT name FROM t WHERE id = 0"),
            (std::vector<std::vector<std::string>>{{"row 0"}}));
}

TEST_P(EachRoute, ARecordCutShortByDamageIsRejectedLikeAnyFailedRecord) {
  AddTable("CREATE TABLE t (a, b, c", u"t", {u"a", u"b", u"c"},
           {{RecordValue::Integer(1), RecordValue::Integer(2), RecordValue::Integer(3)},
            {RecordValue::Integer(4), RecordValue::Integer(5)},
            {},
            {RecordValue::Integer(6), RecordValue::Integer(7), RecordValue::Integer(8)}});
  WriteAllTables();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Table t contain 4 rows",
                                               "table t has 3 columns but 2 values were supplied",
                                               "near \")\": syntax error",
                                               "Total 2 Rows inserted in table successfully"}));
  EXPECT_EQ(CountRows("t"), 2);
}

TEST_P(EachRoute, AFailedCreateTableLogsOnlyItsErrorAndSkipsTheRecords) {
  AddTable("CREATE TABLE t (a,", u"t", {u"a"}, {{RecordValue::Integer(1)}});
  AddTable("CREATE TABLE u (a", u"u", {u"a"}, {{RecordValue::Integer(1)}});
  WriteAllTables();
  // A failed statement is reported in both encodings, and its table's
  // records are not attempted.
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Error: near \")\": syntax error",
                                               "Table u contain 1 rows",
                                               "Total 1 Rows inserted in table successfully"}));
  ASSERT_EQ(engine.calls.size(), 1u);
  EXPECT_EQ(engine.calls[0].name, u"u");
}

TEST_F(WriterTest, UncheckedAndOutOfRangeItemsAreSkippedSilently) {
  AddTable("CREATE TABLE t (a", u"t", {u"a"}, {{RecordValue::Integer(1)}}, /*checked=*/false);
  Item(host.settings.tablesGroup, u"ghost", 7);
  Item(host.settings.tablesGroup, u"negative", -1);
  WriteAllTables();
  EXPECT_TRUE(host.lines.empty());
  EXPECT_TRUE(engine.calls.empty());
}

TEST_F(WriterTest, RecordsAreCommittedInBatchesSoAnInterruptionLosesAtMostOne) {
  // The records handed over are written by the writer's own thread; once
  // kRecordsInFlight more have been handed over, the earlier ones are in the
  // database, committed at every kRecordsPerCommit-th record.
  std::vector<Record> records;
  const size_t total = 2 * kRecordsPerCommit + repaired::kRecordsInFlight + 10;
  for (size_t i = 0; i < total; ++i) records.push_back({RecordValue::Integer(int64_t(i))});
  AddTable("CREATE TABLE t (a", u"t", {u"a"}, records);
  std::vector<int64_t> visible;
  engine.beforeRecord = [&](size_t i) {
    for (size_t commit : {kRecordsPerCommit, 2 * kRecordsPerCommit}) {
      if (i == commit + repaired::kRecordsInFlight) visible.push_back(CountRows("t"));
    }
  };
  WriteAllTables();
  EXPECT_EQ(visible, (std::vector<int64_t>{int64_t(kRecordsPerCommit), int64_t(2 * kRecordsPerCommit)}));
  EXPECT_EQ(CountRows("t"), int64_t(total));
}

TEST_F(WriterTest, AStopKeepsTheRecordsWrittenSoFarInAValidDatabase) {
  std::vector<Record> records;
  for (int i = 0; i < 10; ++i) records.push_back({RecordValue::Integer(i), RecordValue::Text(u"x")});
  AddTable("CREATE TABLE t (a, b", u"t", {u"a", u"b"}, records);
  AddTable("CREATE TABLE u (a", u"u", {u"a"}, {{RecordValue::Integer(1)}});
  AddSchemaObject(kIndexesGroupData, "CREATE INDEX iu ON u(a");
  engine.beforeRecord = [&](size_t i) {
    if (i == 2) host.stop = true;  // Stop pressed while the third record is read
  };
  EXPECT_TRUE(SaveCheckedObjects(host, engine));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Creating Database", "Database have total 11 Entries",
                                               "Table t contain 10 rows",
                                               "Total 3 Rows inserted in table successfully",
                                               "Table u contain 1 rows",
                                               "Total 0 Rows inserted in table successfully",
                                               "Database Table created successfully",
                                               "Database Index schema created successfully",
                                               "Database views created successfully",
                                               "Database Triggers created successfully"}));
  EXPECT_EQ(testing::QueryRows(output, "PRAGMA integrity_check")[0][0], "ok");
  EXPECT_EQ(CountRows("t"), 3);
  EXPECT_EQ(CountRows("u"), 0);
  EXPECT_EQ(testing::QueryRows(output, "SELECT name FROM sqlite_master WHERE type='index'"),
            (std::vector<std::vector<std::string>>{{"iu"}}));
}

// ---- indexes, views, triggers ----

TEST_P(EachRoute, DamagedFirstLettersAreRepairedInPlaceAndEachObjectIsCreated) {
  AddTable("CREATE TABLE t (a, b", u"t", {u"a", u"b"}, {});
  AddSchemaObject(kIndexesGroupData, "CREATE INDEX i1 ON t(a");
  AddSchemaObject(kIndexesGroupData, "CREATE UNIQUE INDEX i2 ON t(lower(b), a");
  AddSchemaObject(kViewsGroupData, "%REATE VIEW v AS SELECT a FROM t");
  AddSchemaObject(kTriggersGroupData, "&REATE TRIGGER g AFTER INSERT ON t BEGIN SELECT 1; END");
  WriteAllTables();
  host.settings.progressCounter = 5;
  WriteGroup(kIndexesGroupData);
  WriteGroup(kViewsGroupData);
  WriteGroup(kTriggersGroupData);

  EXPECT_EQ(Lines(), (std::vector<std::string>{"Table t contain 0 rows",
                                               "Total 0 Rows inserted in table successfully"}));
  EXPECT_EQ(testing::QueryRows(output, "SELECT type, name FROM sqlite_master ORDER BY rowid"),
            (std::vector<std::vector<std::string>>{
                {"table", "t"}, {"index", "i1"}, {"index", "i2"}, {"view", "v"}, {"trigger", "g"}}));
  EXPECT_EQ(host.progressPositions, (std::vector<uint64_t>{5, 6, 7, 8}));
  EXPECT_EQ(host.settings.progressCounter, 9u);
  if (GetParam()) {
    EXPECT_EQ(U8(engine.model.viewStatements16[0]), "CREATE VIEW v AS SELECT a FROM t");
    EXPECT_EQ(U8(engine.model.triggerStatements16[0]).substr(0, 14), "CREATE TRIGGER");
  } else {
    EXPECT_EQ(engine.model.viewStatements8[0], "CREATE VIEW v AS SELECT a FROM t");
    EXPECT_EQ(engine.model.triggerStatements8[0].substr(0, 14), "CREATE TRIGGER");
  }
}

TEST_P(EachRoute, AFailedStatementIsLoggedAndTheNextObjectIsStillWritten) {
  AddSchemaObject(kIndexesGroupData, "CREATE INDEX i1 ON missing(a");
  AddSchemaObject(kIndexesGroupData, "CREATE INDEX i2 ON missing(a");
  WriteGroup(kIndexesGroupData);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Error: no such table: main.missing",
                                               "Error: no such table: main.missing"}));
  EXPECT_EQ(host.progressPositions.size(), 2u);
}

// ---- hostile texts ----

// Texts from a crafted file. None may run anything but one statement of its
// kind, and none may make another file appear.
TEST_P(EachRoute, HostileTextsAreRefusedAndNoOtherFileAppears) {
  const std::string evil = dir.File("evil.db");
  const std::string attach = "ATTACH DATABASE '" + evil + "' AS e";
  // A table whose statement carries further statements.
  AddTable("CREATE TABLE t1 (a); " + attach + "; CREATE TABLE e.x (a", u"t1", {u"a"},
           {{RecordValue::Integer(1)}});
  // A table text that is itself an ATTACH.
  AddTable(attach + " --", u"t2", {u"a"}, {{RecordValue::Integer(1)}});
  // A sound table whose name carries an ATTACH into the record INSERT.
  AddTable("CREATE TABLE t3 (a", u"t3 values(1); " + Utf8ToUtf16(attach) + u"; --", {u"a"},
           {{RecordValue::Integer(1)}, {RecordValue::Integer(2)}});
  // A sound table whose name turns the INSERT into one that takes no values.
  AddTable("CREATE TABLE t4 (a", u"t4 default values --", {u"a"}, {{RecordValue::Integer(1)}});
  AddSchemaObject(kViewsGroupData, "CREATE VIEW v AS SELECT 1; " + attach);
  AddSchemaObject(kViewsGroupData, "COMMIT");
  AddSchemaObject(kIndexesGroupData, "VACUUM INTO '" + evil + "' --");
  AddSchemaObject(kIndexesGroupData, "PRAGMA journal_mode=WAL --");
  AddSchemaObject(kTriggersGroupData, "CREATE TABLE sneaky (a)");
  AddSchemaObject(kTriggersGroupData, "");
  WriteAllTables();
  WriteGroup(kIndexesGroupData);
  WriteGroup(kViewsGroupData);
  WriteGroup(kTriggersGroupData);

  const std::string refused = "Error: refused a text that is not a single ";
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{
                refused + "CREATE TABLE statement (further statements follow it)",
                refused + "CREATE TABLE statement (it would attach another database file)",
                "Table t3 values(1); " + attach + "; -- contain 2 rows",
                refused + "INSERT statement (further statements follow it)",
                refused + "INSERT statement (further statements follow it)",
                "Total 0 Rows inserted in table successfully",
                "Table t4 default values -- contain 1 rows",
                refused + "INSERT statement (the table name changes its values)",
                "Total 0 Rows inserted in table successfully",
                refused + "CREATE INDEX statement (it is not a CREATE INDEX statement)",
                refused + "CREATE INDEX statement (it would change a connection setting)",
                refused + "CREATE VIEW statement (further statements follow it)",
                refused + "CREATE VIEW statement (it would control transactions)",
                refused + "CREATE TRIGGER statement (it is a statement of another kind)",
                refused + "CREATE TRIGGER statement (the text is empty)",
            }));
  EXPECT_FALSE(std::filesystem::exists(evil));
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    files.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(files, std::vector<std::string>{"Repaired_shop.db"});
  EXPECT_EQ(testing::QueryRows(output, "SELECT name FROM sqlite_master ORDER BY rowid"),
            (std::vector<std::vector<std::string>>{{"t3"}, {"t4"}}));
  EXPECT_EQ(testing::QueryRows(output, "PRAGMA journal_mode")[0][0], "delete");
}

// ---- the whole save ----

TEST_F(WriterTest, SaveLogsItsSummaryLinesAndProgressEvenWithNothingUnderAGroup) {
  AddTable("CREATE TABLE t (a", u"t", {u"a"}, {{RecordValue::Integer(1)}, {RecordValue::Integer(2)}});
  AddSchemaObject(kIndexesGroupData, "CREATE INDEX i ON t(a");
  host.rows.push_back({u"leftover"});
  EXPECT_TRUE(SaveCheckedObjects(host, engine));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Creating Database", "Database have total 2 Entries",
                                               "Table t contain 2 rows",
                                               "Total 2 Rows inserted in table successfully",
                                               "Database Table created successfully",
                                               "Database Index schema created successfully",
                                               "Database views created successfully",
                                               "Database Triggers created successfully"}));
  EXPECT_EQ(host.progressRanges, std::vector<uint64_t>{2});
  EXPECT_EQ(host.progressPositions, std::vector<uint64_t>{1});
  EXPECT_TRUE(host.rows.empty());
  EXPECT_EQ(host.settings.saveMode, 0);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(WriterTest, AnExistingRepairedFileIsReplacedOnlyAfterYes) {
  AddTable("CREATE TABLE t (a", u"t", {u"a"}, {{RecordValue::Integer(1)}});
  testing::MakeDatabase(output, "CREATE TABLE old (x); INSERT INTO old VALUES (42);");

  host.answers = {MessageAnswer::No};
  EXPECT_FALSE(SaveCheckedObjects(host, engine));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(U8(host.messages[0].text),
            "The Database File " + output +
                " Already exist.\n Exisitng file will be Deleted. Do you want to Continue ?");
  EXPECT_EQ(host.messages[0].caption, kAppTitle);
  EXPECT_EQ(host.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Creating Database", "Database have total 1 Entries"}));
  EXPECT_EQ(testing::QueryRows(output, "SELECT x FROM old")[0][0], "42");

  host.lines.clear();
  host.answers = {MessageAnswer::Yes};
  EXPECT_TRUE(SaveCheckedObjects(host, engine));
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(testing::QueryRows(output, "SELECT name FROM sqlite_master"),
            (std::vector<std::vector<std::string>>{{"t"}}));
  EXPECT_EQ(CountRows("t"), 1);
}

TEST_F(WriterTest, TheDamagedFileIsNeverTheOutput) {
  testing::MakeDatabase(input, "CREATE TABLE precious (x);");
  const auto before = testing::ReadBytes(input);
  host.settings.outputPathOverride = input;
  host.answers = {MessageAnswer::Yes};
  AddTable("CREATE TABLE t (a", u"t", {u"a"}, {{RecordValue::Integer(1)}});
  EXPECT_FALSE(SaveCheckedObjects(host, engine));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(testing::ReadBytes(input), before);
}

TEST_F(WriterTest, AFolderInTheOutputsPlaceIsNeverDeleted) {
  std::filesystem::create_directory(output);
  host.answers = {MessageAnswer::Yes};
  AddTable("CREATE TABLE t (a", u"t", {u"a"}, {{RecordValue::Integer(1)}});
  EXPECT_FALSE(SaveCheckedObjects(host, engine));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].buttons, MessageButtons::Ok);
  EXPECT_TRUE(std::filesystem::is_directory(output));
}

TEST_F(WriterTest, AStaleJournalOfAnEarlierSaveIsNotPlayedBack) {
  testing::WriteBytes(output + "-journal", std::vector<uint8_t>(2048, 0xAB));
  AddTable("CREATE TABLE t (a", u"t", {u"a"}, {{RecordValue::Integer(1)}});
  EXPECT_TRUE(SaveCheckedObjects(host, engine));
  EXPECT_FALSE(std::filesystem::exists(output + "-journal"));
  EXPECT_EQ(CountRows("t"), 1);
}

}  // namespace
}  // namespace korvel
