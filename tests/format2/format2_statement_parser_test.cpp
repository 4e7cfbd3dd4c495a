#include "format2/format2_statement_parser.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "format2/sqlite_ver2.h"
#include "tests/support/recording_host.h"

namespace korvel::format2 {
namespace {

using testing::RecordingHost;
using testing::U8;

class Format2Parser : public ::testing::Test {
 protected:
  void SetUp() override { engine.owner = &host; }
  RecordingHost host;
  sqlite_ver2 engine;
  RecoveredModel& model = engine.model;
};

TEST_F(Format2Parser, TableWithIntegerPrimaryKeyGivesAllFourEntries) {
  ParseTableStatement(engine, "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT)", 2);
  ASSERT_EQ(model.tableDescriptors.size(), 1u);
  EXPECT_EQ(U8(model.tableDescriptors[0]), "t1+id < P.K >~name ~#2");
  EXPECT_EQ(U8(model.createStatements[0]), "create Table [t1] ( [id] INTEGER , [name] TEXT )");
  EXPECT_EQ(U8(model.columnTypes[0]), (std::vector<std::string>{"INTEGER", "TEXT"}));
  EXPECT_EQ(model.tableStatements8[0], "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT");
  EXPECT_EQ(U8(host.lines), (std::vector<std::string>{"Table t1 is found"}));
  EXPECT_TRUE(model.currentColumnTypes.empty());
  const TableDescriptorParts parts = ParseTableDescriptor(model.tableDescriptors[0]);
  EXPECT_EQ(parts.keyColumnMarker, 10);
  EXPECT_EQ(parts.rootPage, 2);
}

struct TableCase {
  std::string statement;
  const char* descriptor;
  const char* stored;  // the text kept for the repaired database
  std::vector<std::string> types;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.statement; }

class Format2TableCase : public ::testing::TestWithParam<TableCase> {};

TEST_P(Format2TableCase, Parses) {
  RecordingHost host;
  sqlite_ver2 engine;
  engine.owner = &host;
  ParseTableStatement(engine, GetParam().statement, 7);
  ASSERT_EQ(engine.model.tableDescriptors.size(), 1u);
  EXPECT_EQ(U8(engine.model.tableDescriptors[0]), GetParam().descriptor);
  EXPECT_EQ(engine.model.tableStatements8[0], GetParam().stored);
  EXPECT_EQ(U8(engine.model.columnTypes[0]), GetParam().types);
  // The four lists stay at one index.
  EXPECT_EQ(engine.model.createStatements.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Format2TableCase,
    ::testing::Values(
        // A declared type of three characters or fewer is not examined.
        TableCase{"CREATE TABLE t (a INT, b INTEGER)", "t+a ~b ~#7",
                  "CREATE TABLE t (a INT, b INTEGER", {"TEXT", "INTEGER"}},
        TableCase{"CREATE TABLE t (a BLOB)", "t+a ~#7", "CREATE TABLE t (a BLOB", {"OLE Object"}},
        TableCase{"CREATE TABLE t (a double, b date, c varchar(20), d real, e)",
                  "t+a ~b ~c ~d ~e~#7", "CREATE TABLE t (a double, b date, c varchar(20), d real, e",
                  {"DOUBLE", "DATE", "TEXT", "TEXT", "TEXT"}},
        TableCase{"CREATE TABLE t ([first name] TEXT, last TEXT)", "t+[first name]~last ~#7",
                  "CREATE TABLE t ([first name] TEXT, last TEXT", {"TEXT", "TEXT"}},
        // A table constraint ends the columns; the stored text keeps every
        // constraint up to the list's closing parenthesis.
        TableCase{"CREATE TABLE t (a INTEGER, b INTEGER, PRIMARY KEY (a))", "t+a < P.K >~b ~#7",
                  "CREATE TABLE t (a INTEGER, b INTEGER, PRIMARY KEY (a)", {"INTEGER", "INTEGER"}},
        // A table-level primary key on one INTEGER column makes it the row
        // number, like "a INTEGER PRIMARY KEY"; on other columns it does not.
        TableCase{"CREATE TABLE t ([a] INTEGER, b TEXT, CONSTRAINT pk PRIMARY KEY ( A ), UNIQUE (b))",
                  "t+[a] < P.K >~b ~#7",
                  "CREATE TABLE t ([a] INTEGER, b TEXT, CONSTRAINT pk PRIMARY KEY ( A ), UNIQUE (b)",
                  {"INTEGER", "TEXT"}},
        TableCase{"CREATE TABLE t (a INT, b TEXT, PRIMARY KEY (a))", "t+a ~b ~#7",
                  "CREATE TABLE t (a INT, b TEXT, PRIMARY KEY (a)", {"TEXT", "TEXT"}},
        TableCase{"CREATE TABLE t (a INTEGER, b INTEGER, PRIMARY KEY (a, b))", "t+a ~b ~#7",
                  "CREATE TABLE t (a INTEGER, b INTEGER, PRIMARY KEY (a, b)", {"INTEGER", "INTEGER"}},
        TableCase{"CREATE TABLE t (a INTEGER, b TEXT, CONSTRAINT pk PRIMARY KEY (a), UNIQUE (b))",
                  "t+a < P.K >~b ~#7",
                  "CREATE TABLE t (a INTEGER, b TEXT, CONSTRAINT pk PRIMARY KEY (a), UNIQUE (b)",
                  {"INTEGER", "TEXT"}},
        TableCase{"CREATE TABLE t (a INTEGER, FOREIGN KEY (a) REFERENCES p(id))", "t+a ~#7",
                  "CREATE TABLE t (a INTEGER, FOREIGN KEY (a) REFERENCES p(id)", {"INTEGER"}},
        // Parentheses and quotes inside a column do not end it.
        TableCase{"CREATE TABLE t (a INTEGER CHECK (a > 0), b TEXT)", "t+a ~b ~#7",
                  "CREATE TABLE t (a INTEGER CHECK (a > 0), b TEXT", {"INTEGER", "TEXT"}},
        TableCase{"CREATE TABLE t (price NUMERIC(10,2), qty INTEGER)", "t+price ~qty ~#7",
                  "CREATE TABLE t (price NUMERIC(10,2), qty INTEGER", {"TEXT", "INTEGER"}},
        TableCase{"CREATE TABLE t (a TEXT DEFAULT 'x,y)', b TEXT)", "t+a ~b ~#7",
                  "CREATE TABLE t (a TEXT DEFAULT 'x,y)', b TEXT", {"TEXT", "TEXT"}},
        // Columns whose names begin like a constraint keyword stay columns.
        TableCase{"CREATE TABLE t (checked TEXT, unique_code TEXT)", "t+checked ~unique_code ~#7",
                  "CREATE TABLE t (checked TEXT, unique_code TEXT", {"TEXT", "TEXT"}},
        // Line breaks count as blanks; the stored text keeps them.
        TableCase{"CREATE TABLE t\n(\n  id INTEGER PRIMARY KEY,\n  name TEXT\n)",
                  "t+id < P.K >~name ~#7", "CREATE TABLE t\n(\n  id INTEGER PRIMARY KEY,\n  name TEXT\n",
                  {"INTEGER", "TEXT"}},
        // Comments are not columns, whatever they hold.
        TableCase{"CREATE TABLE t (\n  a TEXT, -- the a, (first\n  b TEXT /* , c ) */\n)",
                  "t+a ~b ~#7", "CREATE TABLE t (\n  a TEXT, -- the a, (first\n  b TEXT /* , c ) */\n",
                  {"TEXT", "TEXT"}},
        // Only INTEGER PRIMARY KEY (the row number) is marked.
        TableCase{"CREATE TABLE t (name TEXT PRIMARY KEY, n INTEGER NOT NULL PRIMARY KEY)",
                  "t+name ~n < P.K >~#7",
                  "CREATE TABLE t (name TEXT PRIMARY KEY, n INTEGER NOT NULL PRIMARY KEY",
                  {"TEXT", "INTEGER"}},
        // A text cut short, or running on into the next statement, ends there.
        TableCase{"CREATE TABLE t (a TEXT, b TEXT", "t+a ~b ~#7", "CREATE TABLE t (a TEXT, b TEXT",
                  {"TEXT", "TEXT"}},
        TableCase{"CREATE TABLE t (a TEXT, b TEXT CREATE TABLE u (x TEXT)", "t+a ~b ~#7",
                  "CREATE TABLE t (a TEXT, b TEXT ", {"TEXT", "TEXT"}},
        TableCase{std::string("CREATE TABLE t (a TEXT\0, b TEXT)", 32), "t+a ~#7",
                  "CREATE TABLE t (a TEXT", {"TEXT"}}));

TEST_F(Format2Parser, BracketedNameKeepsItsBlankInTheCreateStatementOnlyCleaned) {
  ParseTableStatement(engine, "CREATE TABLE t ([first name] TEXT, last TEXT)", 3);
  EXPECT_EQ(U8(model.createStatements[0]), "create Table [t] ( [firstname]  TEXT , [last] TEXT )");
}

TEST_F(Format2Parser, TextWithoutColumnsAppendsNothing) {
  for (const char* text : {"CREATE TABLE )", "CREATE TABLE", "CREATE TABLE t", ""}) {
    ParseTableStatement(engine, text, 2);
  }
  EXPECT_TRUE(model.tableDescriptors.empty());
  EXPECT_TRUE(model.tableStatements8.empty());
}

TEST_F(Format2Parser, NonAsciiTableNameIsReadAsUtf8) {
  ParseTableStatement(engine, "CREATE TABLE \xc3\xa9t\xc3\xa9 (a TEXT)", 4);
  EXPECT_EQ(U8(host.lines), (std::vector<std::string>{"Table \xc3\xa9t\xc3\xa9 is found"}));
  EXPECT_EQ(U8(model.tableDescriptors[0]), "\xc3\xa9t\xc3\xa9+a ~#4");
}

TEST_F(Format2Parser, IndexOnTwoColumnsGivesOneEntryPerColumn) {
  ParseIndexStatement(engine, "CREATE INDEX i ON t (a, b)");
  EXPECT_EQ(model.indexStatements8,
            (std::vector<std::string>{"CREATE INDEX i ON t (a", "CREATE INDEX i ON t (a, b"}));
  EXPECT_EQ(U8(host.lines), (std::vector<std::string>{"Index i is found"}));
}

TEST_F(Format2Parser, UniqueIndexGivesItsEntryWithoutALine) {
  ParseIndexStatement(engine, "CREATE UNIQUE INDEX u ON t (x)");
  EXPECT_EQ(model.indexStatements8, (std::vector<std::string>{"CREATE UNIQUE INDEX u ON t (x"}));
  EXPECT_TRUE(host.lines.empty());
}

TEST_F(Format2Parser, IndexWithoutBlankBeforeItsColumnList) {
  ParseIndexStatement(engine, "CREATE INDEX orders_cust_date ON orders(customer_id, placed_at)");
  EXPECT_EQ(model.indexStatements8,
            (std::vector<std::string>{"CREATE INDEX orders_cust_date ON orders(customer_id",
                                      "CREATE INDEX orders_cust_date ON orders(customer_id, placed_at"}));
}

TEST_F(Format2Parser, DamagedIndexTextsEndAtTheirEnd) {
  ParseIndexStatement(engine, "CREATE INDEX )");
  EXPECT_TRUE(model.indexStatements8.empty());
  ParseIndexStatement(engine, "CREATE INDEX i ON t (a, b");
  EXPECT_EQ(model.indexStatements8.back(), "CREATE INDEX i ON t (a, b");
  ParseIndexStatement(engine, "CREATE INDEX i");
  ParseIndexStatement(engine, "CREATE INDEX i ON t (a,,, ,");
  EXPECT_LE(model.indexStatements8.size(), 8u);
}

}  // namespace
}  // namespace korvel::format2

namespace korvel::format2 {
namespace {

// Texts made of statement pieces in random order: the parsers end on each,
// keep the four table lists at one index, and store only prefixes of the text.
TEST(Format2ParserRandomText, EveryTextEndsCleanly) {
  static const char* const kPieces[] = {
      "CREATE TABLE ", "CREATE INDEX ", "CREATE UNIQUE INDEX ", "t", " ", "(", ")", ",", "'",
      "\"", "[", "]", "`", "--", "/*", "*/", "\n", "INTEGER", " PRIMARY KEY", "CHECK (",
      "unique", "CONSTRAINT c", "FOREIGN KEY", "char(", "varchar(20)", "ON", "a", "b b", "\0"};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text = round % 2 == 0 ? "CREATE TABLE " : "CREATE INDEX ";
    const int pieces = static_cast<int>(random() % 30);
    for (int p = 0; p < pieces; ++p) {
      const char* piece = kPieces[random() % std::size(kPieces)];
      if (*piece == '\0') {
        text.push_back('\0');
      } else {
        text += piece;
      }
    }
    sqlite_ver2 engine;
    ParseTableStatement(engine, text, 3);
    ParseIndexStatement(engine, text);
    const RecoveredModel& m = engine.model;
    ASSERT_EQ(m.tableDescriptors.size(), m.tableStatements8.size());
    ASSERT_EQ(m.createStatements.size(), m.tableStatements8.size());
    ASSERT_EQ(m.columnTypes.size(), m.tableStatements8.size());
    for (const std::string& stored : m.tableStatements8) ASSERT_EQ(text.rfind(stored, 0), 0u);
    for (const std::string& stored : m.indexStatements8) ASSERT_EQ(text.rfind(stored, 0), 0u);
    ASSERT_LE(m.indexStatements8.size(), text.size());
  }
}

}  // namespace
}  // namespace korvel::format2
