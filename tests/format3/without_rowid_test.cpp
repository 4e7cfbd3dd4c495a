// Tables declared WITHOUT ROWID: the statement parser finds the declaration
// and the key's column order, and the whole recovery reads their rows from
// their index b-trees (interior cells included, overflow values included)
// back into declared column order, for the preview and for the save; a
// damaged tree ends its walk instead of looping.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/text_codec.h"
#include "format3/index_tree_records.h"
#include "format3/record_reader.h"
#include "format3/sqlite_ver3.h"
#include "format3/statement_parser.h"
#include "output/repaired_writer.h"
#include "tests/support/format3_recovery.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_database.h"
#include "tests/support/typed_rows.h"

namespace korvel {
namespace {

using testing::ReadCells;
using testing::RecordingHost;
using testing::U8;

// ---------------------------------------------------------------------------
// The statement parser
// ---------------------------------------------------------------------------

// The descriptor the parser gives a statement, in either text pass.
std::string DescriptorOf(const std::string& text, TextPass pass) {
  RecordingHost host;
  sqlite_ver3 engine;  // the shared type and name rules
  engine.owner = &host;
  ScanReporter report(host, engine);
  ParseContext ctx{engine, host, report, pass, false};
  if (pass == TextPass::Utf16) {
    const std::u16string wide = Utf8ToUtf16(text);
    ParseTableStatement(ctx, std::u16string_view(wide), wide.find(u"CREATE TABLE"), 5);
  } else {
    ParseTableStatement(ctx, std::string_view(text), text.find("CREATE TABLE"), 5);
  }
  if (engine.model.tableDescriptors.size() != 1) return "<none>";
  return U8(engine.model.tableDescriptors[0]);
}

struct ParserCase {
  const char* name;
  const char* statement;
  const char* descriptor;  // UTF-8 pass; the UTF-16 pass adds its blank after the name
};

class WithoutRowidStatements : public ::testing::TestWithParam<ParserCase> {};

TEST_P(WithoutRowidStatements, GiveTheKeyInKeyOrder) {
  const ParserCase& c = GetParam();
  EXPECT_EQ(DescriptorOf(c.statement, TextPass::Utf8), c.descriptor);
  std::string wide = c.descriptor;
  wide.insert(wide.find('+'), " ");
  EXPECT_EQ(DescriptorOf(c.statement, TextPass::Utf16), wide);

  std::vector<int> key;
  const bool withoutRowid = ParseWithoutRowidKey(Utf8ToUtf16(c.descriptor), key);
  EXPECT_EQ(withoutRowid, std::string(c.descriptor).find("WITHOUT ROWID") != std::string::npos);
  // The root page still reads as the digits after "#".
  EXPECT_EQ(ParseTableDescriptor(Utf8ToUtf16(c.descriptor)).rootPage, 5);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, WithoutRowidStatements,
    ::testing::Values(
        ParserCase{"tableKeyInAnotherOrder",
                   "CREATE TABLE t(a TEXT, b INT, c BLOB, PRIMARY KEY(c, a)) WITHOUT ROWID",
                   "t+a~b~c~#5 WITHOUT ROWID(2,0)"},
        ParserCase{"integerColumnKeyGetsNoMark",
                   "CREATE TABLE t(id INTEGER PRIMARY KEY, v) without  rowid",
                   "t+id~v~#5 WITHOUT ROWID(0)"},
        ParserCase{"columnKeyNotFirst", "CREATE TABLE t(v, k TEXT NOT NULL PRIMARY KEY)WITHOUT ROWID",
                   "t+v~k~#5 WITHOUT ROWID(1)"},
        ParserCase{"namedConstraintQuotedNamesOrderAndCollation",
                   "CREATE TABLE t([x y] TEXT, \"B\" INT, c, CONSTRAINT pk PRIMARY KEY (b DESC, "
                   "`x y` COLLATE nocase)) STRICT, WITHOUT ROWID",
                   "t+[x y]~\"B\"~c~#5 WITHOUT ROWID(1,0)"},
        ParserCase{"keyAfterAnotherConstraint",
                   "CREATE TABLE t(a, b, c, UNIQUE(a), PRIMARY KEY(c,b)) WITHOUT ROWID",
                   "t+a~b~c~#5 WITHOUT ROWID(2,1)"},
        ParserCase{"rowidTableUnchanged", "CREATE TABLE t(id INTEGER PRIMARY KEY, v)",
                   "t+id< P.K >~v~#5"},
        ParserCase{"rowidTableWithTableKey", "CREATE TABLE t(a, b, PRIMARY KEY(b, a))",
                   "t+a~b~#5"},
        ParserCase{"notTheWordRowid", "CREATE TABLE t(a PRIMARY KEY, b) WITHOUT ROWIDS",
                   "t+a~b~#5"},
        ParserCase{"strictOnly", "CREATE TABLE t(a INT PRIMARY KEY, b ANY) STRICT", "t+a~b~#5"}),
    [](const ::testing::TestParamInfo<ParserCase>& info) { return std::string(info.param.name); });

TEST(WithoutRowidRecords, KeyColumnsComeFirstThenTheRestInDeclaredOrder) {
  EXPECT_EQ(format3::RecordToDeclaredOrder(4, {2, 0}), (std::vector<int>{2, 0, 1, 3}));
  EXPECT_EQ(format3::RecordToDeclaredOrder(3, {}), (std::vector<int>{0, 1, 2}));
  // A damaged descriptor cannot name a column twice or one that is not there.
  EXPECT_EQ(format3::RecordToDeclaredOrder(3, {1, 1, 7, -1}), (std::vector<int>{1, 0, 2}));
}

// ---------------------------------------------------------------------------
// The whole recovery
// ---------------------------------------------------------------------------

using Recovery = testing::Format3Recovery;

// Composite key declared c, a over columns a, b, c; values long enough to
// spill onto overflow pages; enough rows for interior index pages; and a
// second table keyed by an INTEGER PRIMARY KEY column.
const char* const kWithoutRowidSchema =
    "CREATE TABLE w(a TEXT, b INTEGER, c TEXT, d BLOB, PRIMARY KEY(c, a)) WITHOUT ROWID;"
    "CREATE TABLE k(id INTEGER PRIMARY KEY, v REAL) WITHOUT ROWID;"
    "CREATE TABLE plain(x);"
    "BEGIN;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)"
    " INSERT INTO w SELECT 'a' || i, i * 1000003, printf('c%05d', (i * 37) % 600),"
    "   CASE WHEN i % 50 = 0 THEN randomblob(3000) ELSE x'00ff' END FROM n;"
    "INSERT INTO w VALUES(printf('%.2500c', 'L'), NULL, printf('%.4000c', 'K'), NULL);"
    "INSERT INTO w VALUES('O''Brien', -1, 'c-quote', x'');"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)"
    " INSERT INTO k SELECT i * 3 - 400, i / 7.0 + 0.01 FROM n;"
    "INSERT INTO plain VALUES(1);"
    "COMMIT;";

class WithoutRowidRecovery : public ::testing::TestWithParam<std::tuple<int, const char*>> {};

TEST_P(WithoutRowidRecovery, PreviewAndSaveGiveEveryRowInDeclaredOrder) {
  const auto [pageSize, encoding] = GetParam();
  testing::TempDir dir;
  const std::string path = dir.File("w.db");
  testing::MakeDatabase(path, kWithoutRowidSchema, pageSize, encoding);
  Recovery recovery(path);
  ASSERT_EQ(recovery.outcome, ScanOutcome::Completed);

  const TableDescriptorParts w = recovery.Table(u"w");
  EXPECT_EQ(U8(w.columnNames), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(w.keyColumnMarker, 0);
  EXPECT_EQ(U8(recovery.Table(u"k").columnNames), (std::vector<std::string>{"id", "v"}));
  EXPECT_EQ(recovery.Table(u"k").keyColumnMarker, 0);

  for (const char* table : {"w", "k"}) {
    SCOPED_TRACE(table);
    // A table without rowid is stored in key order, which its walk keeps.
    const auto expected = testing::ShownRows(path, std::string("SELECT * FROM ") + table);
    recovery.host.messages.clear();
    EXPECT_EQ(recovery.Preview(Utf8ToUtf16(table)), expected);
    EXPECT_TRUE(recovery.host.messages.empty());
    EXPECT_EQ(recovery.engine().CountTableRows(path, recovery.Table(Utf8ToUtf16(table)).rootPage),
              expected.size());
  }

  recovery.host.messages.clear();
  ASSERT_TRUE(recovery.Save());
  EXPECT_TRUE(recovery.host.messages.empty());
  const std::string repaired = MakeRepairedPath(path);
  EXPECT_EQ(testing::QueryRows(repaired, "SELECT name, sql LIKE '%WITHOUT ROWID' FROM sqlite_master"
                                         " ORDER BY name"),
            (std::vector<std::vector<std::string>>{{"k", "1"}, {"plain", "0"}, {"w", "1"}}));
  for (const char* query : {"SELECT * FROM w ORDER BY c, a", "SELECT * FROM k ORDER BY id",
                            "SELECT * FROM plain"}) {
    SCOPED_TRACE(query);
    const auto expected = ReadCells(path, query);
    const auto actual = ReadCells(repaired, query);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(actual[i], expected[i]) << "row " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(PagesAndEncodings, WithoutRowidRecovery,
                         ::testing::Values(std::make_tuple(1024, "UTF-8"),
                                           std::make_tuple(4096, "UTF-8"),
                                           std::make_tuple(512, "UTF-16le"),
                                           std::make_tuple(1024, "UTF-16be")));

// Page number of the root page of a table.
uint64_t RootOf(const std::string& path, const std::string& table) {
  return std::stoull(
      testing::QueryRows(path, "SELECT rootpage FROM sqlite_master WHERE name='" + table + "'")[0][0]);
}

TEST(WithoutRowidDamage, AChildPointingBackAtItsParentEndsTheWalk) {
  testing::TempDir dir;
  const std::string path = dir.File("loop.db");
  testing::MakeDatabase(path, kWithoutRowidSchema, 1024);
  const uint64_t root = RootOf(path, "w");
  const auto bytes = testing::ReadBytes(path);
  const uint64_t rootStart = (root - 1) * 1024;
  ASSERT_EQ(bytes[rootStart], 2) << "the root of w is an interior index page";
  // The right-most child and the first cell's child both name the root.
  const std::vector<uint8_t> self = {static_cast<uint8_t>(root >> 24),
                                     static_cast<uint8_t>(root >> 16),
                                     static_cast<uint8_t>(root >> 8), static_cast<uint8_t>(root)};
  testing::PatchBytes(path, rootStart + 8, self);
  const uint16_t firstCell = static_cast<uint16_t>((bytes[rootStart + 12] << 8) | bytes[rootStart + 13]);
  testing::PatchBytes(path, rootStart + firstCell, self);

  Recovery recovery(path);
  const auto rows = recovery.Preview(u"w");
  // The interior cells of the root itself are still read, once each.
  const uint16_t cellCount = static_cast<uint16_t>((bytes[rootStart + 3] << 8) | bytes[rootStart + 4]);
  EXPECT_GE(rows.size(), cellCount);
  EXPECT_LT(rows.size(), 602u);
  EXPECT_LE(recovery.engine().CountTableRows(path, RootOf(path, "w")), 602u);
}

TEST(WithoutRowidDamage, RandomlyDamagedTreesAreReadWithinTheirBytes) {
  testing::TempDir dir;
  const std::string original = dir.File("orig.db");
  testing::MakeDatabase(original, kWithoutRowidSchema, 512);
  const auto pristine = testing::ReadBytes(original);
  const std::string path = dir.File("damaged.db");
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes = pristine;
    // Damage only past the schema page so that the tables are still found.
    std::uniform_int_distribution<size_t> at(512, bytes.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    for (int i = 0; i < 60; ++i) bytes[at(random)] = static_cast<uint8_t>(value(random));
    testing::WriteBytes(path, bytes);
    Recovery recovery(path);
    if (!recovery.database.engine) continue;
    EXPECT_LE(recovery.Preview(u"w").size(), 4000u);
    recovery.Preview(u"k");
  }
}

}  // namespace
}  // namespace korvel
