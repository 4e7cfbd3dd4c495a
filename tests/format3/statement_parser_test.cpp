#include "format3/statement_parser.h"

#include <gtest/gtest.h>

#include "core/text_codec.h"
#include "output/column_types.h"
#include "tests/support/recording_host.h"

namespace korvel {
namespace {

using testing::RecordingHost;
using testing::U8;

// An engine with the shared type and name rules, nothing else.
class RulesEngine : public sqlite_base {
 public:
  std::u16string MapType(std::u16string t) override { return korvel::MapType(std::move(t)); }
  bool IsKnownType(std::u16string t) override { return korvel::IsKnownType(std::move(t)); }
  std::u16string CleanName(std::u16string n) override { return korvel::CleanName(std::move(n)); }
};

// One parser run over a text, with the lists and the host it wrote to.
struct ParserRun {
  RecordingHost host;
  RulesEngine engine;
  ParseResult result = ParseResult::NothingStored;

  ParserRun() { engine.owner = &host; }

  ParseResult Table(const std::string& text, int64_t root, bool rightMost = false) {
    ScanReporter report(host, engine);
    ParseContext ctx{engine, host, report, TextPass::Utf8, rightMost};
    const size_t at = text.find("CREATE TABLE");
    return result = ParseTableStatement(ctx, std::string_view(text), at, root);
  }
  ParseResult Table16(const std::string& text, int64_t root) {
    ScanReporter report(host, engine);
    ParseContext ctx{engine, host, report, TextPass::Utf16, false};
    const std::u16string wide = Utf8ToUtf16(text);
    const size_t at = wide.find(u"CREATE TABLE");
    return result = ParseTableStatement(ctx, std::u16string_view(wide), at, root);
  }
  ParseResult Index(const std::string& text, bool rightMost = false) {
    ScanReporter report(host, engine);
    ParseContext ctx{engine, host, report, TextPass::Utf8, rightMost};
    const bool unique = text.find("CREATE UNIQUE INDEX") != std::string::npos;
    const size_t at = text.find(unique ? "CREATE UNIQUE INDEX" : "CREATE INDEX");
    return result = ParseIndexStatement(ctx, std::string_view(text), at, unique);
  }
  ParseResult Index16(const std::string& text) {
    ScanReporter report(host, engine);
    ParseContext ctx{engine, host, report, TextPass::Utf16, false};
    const std::u16string wide = Utf8ToUtf16(text);
    const bool unique = wide.find(u"CREATE UNIQUE INDEX") != std::u16string::npos;
    const size_t at = wide.find(unique ? u"CREATE UNIQUE INDEX" : u"CREATE INDEX");
    return result = ParseIndexStatement(ctx, std::u16string_view(wide), at, unique);
  }
  const RecoveredModel& m() const { return engine.model; }
};

TEST(TableParser, TheDescribedExample) {
  ParserRun run;
  EXPECT_EQ(run.Table("CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT)", 2),
            ParseResult::Stored);
  ASSERT_EQ(run.m().tableDescriptors.size(), 1u);
  EXPECT_EQ(U8(run.m().tableDescriptors[0]), "t1 +id< P.K >~name~#2");
  ASSERT_EQ(run.m().tableStatements8.size(), 1u);
  EXPECT_EQ(run.m().tableStatements8[0], "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT");
  ASSERT_EQ(run.m().columnTypes.size(), 1u);
  EXPECT_EQ(U8(run.m().columnTypes[0]), (std::vector<std::string>{"INTEGER", "TEXT"}));
  EXPECT_EQ(U8(run.m().createStatements[0]), "create Table [t1] ( [id]  INTEGER, [name]  TEXT )");
  EXPECT_EQ(U8(run.host.lines), (std::vector<std::string>{"Table t1 is found"}));
  EXPECT_TRUE(run.m().currentColumnTypes.empty());
  EXPECT_TRUE(run.host.messages.empty());
}

TEST(TableParser, UsesUtf16SeparatorsAndTheExtraBlank) {
  ParserRun run;
  EXPECT_EQ(run.Table16("CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT)", 2),
            ParseResult::Stored);
  EXPECT_EQ(U8(run.m().tableDescriptors[0]), "t1  +id< P.K >~name~#2");
  ASSERT_EQ(run.m().tableStatements16.size(), 1u);
  EXPECT_EQ(U8(run.m().tableStatements16[0]), "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT");
  EXPECT_TRUE(run.m().tableStatements8.empty());
  EXPECT_EQ(U8(run.m().createStatements[0]),
            "create Table [t1] ( [id]  INTEGER , [name]  TEXT )");
  EXPECT_EQ(U8(run.host.lines), (std::vector<std::string>{"Table t1    is found"}));
}

struct TableCase {
  const char* name;
  std::string text;
  std::string descriptor;  // empty: nothing stored
  std::string statement;
  std::vector<std::string> types;
  bool rightMost = false;
};

class TableParserCases : public ::testing::TestWithParam<TableCase> {};

TEST_P(TableParserCases, GiveTheirEntries) {
  const TableCase& c = GetParam();
  ParserRun run;
  run.Table(c.text, 7, c.rightMost);
  if (c.descriptor.empty()) {
    EXPECT_TRUE(run.m().tableDescriptors.empty());
    EXPECT_TRUE(run.m().tableStatements8.empty());
    return;
  }
  ASSERT_EQ(run.m().tableDescriptors.size(), 1u);
  EXPECT_EQ(U8(run.m().tableDescriptors[0]), c.descriptor);
  ASSERT_EQ(run.m().tableStatements8.size(), 1u);
  EXPECT_EQ(run.m().tableStatements8[0], c.statement);
  ASSERT_EQ(run.m().columnTypes.size(), 1u);
  EXPECT_EQ(U8(run.m().columnTypes[0]), c.types);
  EXPECT_EQ(run.m().createStatements.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, TableParserCases,
    ::testing::Values(
        TableCase{"noBlankBeforeTheParenthesis", "CREATE TABLE t1(a)", "t1+a~#7",
                  "CREATE TABLE t1(a", {"TEXT"}},
        TableCase{"bracketQuotedName", "CREATE TABLE t ([my col] TEXT, b)", "t +[my col]~b~#7",
                  "CREATE TABLE t ([my col] TEXT, b", {"TEXT", "TEXT"}},
        TableCase{"lowerCasePrimaryKey", "CREATE TABLE t (id integer primary key, b)",
                  "t +id< P.K >~b~#7", "CREATE TABLE t (id integer primary key, b",
                  {"INTEGER", "TEXT"}},
        TableCase{"intPrimaryKeyIsNotMarked", "CREATE TABLE t (id INT PRIMARY KEY, b)",
                  "t +id~b~#7", "CREATE TABLE t (id INT PRIMARY KEY, b", {"TEXT", "TEXT"}},
        TableCase{"mappedTypes",
                  "CREATE TABLE t (a INTEGER, b text, c blob, d double, e date, f varchar(20), "
                  "g real, h)",
                  "t +a~b~c~d~e~f~g~h~#7",
                  "CREATE TABLE t (a INTEGER, b text, c blob, d double, e date, f varchar(20), "
                  "g real, h",
                  {"INTEGER", "TEXT", "OLE Object", "DOUBLE", "DATE", "TEXT", "TEXT", "TEXT"}},
        TableCase{"tableConstraint",
                  "CREATE TABLE t (a INTEGER, b TEXT, PRIMARY KEY (a, b))", "t +a~b~#7",
                  "CREATE TABLE t (a INTEGER, b TEXT, PRIMARY KEY (a, b)", {"INTEGER", "TEXT"}},
        TableCase{"foreignKeyConstraint",
                  "CREATE TABLE t (a INTEGER, FOREIGN KEY (a) REFERENCES u(x))", "t +a~#7",
                  "CREATE TABLE t (a INTEGER, FOREIGN KEY (a) REFERENCES u(x)", {"INTEGER"}},
        TableCase{"checkFlagColumnIsTakenAsAConstraint",
                  "CREATE TABLE t (a TEXT, check_flag INTEGER, b CHECK (b > 0))", "t +a~#7",
                  "CREATE TABLE t (a TEXT, check_flag INTEGER, b CHECK (b > 0)", {"TEXT"}},
        TableCase{"checksumWordIsPassedOver",
                  "CREATE TABLE t (total INTEGER checksum, b TEXT, c CHECK(c>0))",
                  "t +total~b~c~#7",
                  "CREATE TABLE t (total INTEGER checksum, b TEXT, c CHECK(c>0)",
                  {"INTEGER", "TEXT", "TEXT"}},
        TableCase{"checksumInTheRightMostChildIsACheckClause",
                  "CREATE TABLE t (total INTEGER checksum, b TEXT, c CHECK(c>0))", "t +total~#7",
                  "CREATE TABLE t (total INTEGER checksum, b TEXT, c CHECK(c>0)", {"INTEGER"},
                  true},
        TableCase{"nameIsAParenthesis", "CREATE TABLE ) (a)", "", "", {}},
        TableCase{"runsOnIntoOtherBytes",
                  "xx\x01\x02" "CREATE TABLE t (a TEXT, b)garbage)", "t +a~b~#7",
                  "CREATE TABLE t (a TEXT, b", {"TEXT", "TEXT"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CorruptCase {
  const char* name;
  std::string text;
};

class TableParserCorrupt : public ::testing::TestWithParam<CorruptCase> {};

TEST_P(TableParserCorrupt, ReportsAndStoresNothing) {
  ParserRun run;
  EXPECT_EQ(run.Table(GetParam().text, 3), ParseResult::Corrupted);
  EXPECT_EQ(U8(run.host.MessageTexts()), (std::vector<std::string>{"File is corrupted"}));
  EXPECT_EQ(U8(run.host.messages[0].caption), "Korvel Lumquist v22.0");
  EXPECT_TRUE(run.m().tableDescriptors.empty());
  EXPECT_TRUE(run.m().tableStatements8.empty());
  EXPECT_TRUE(run.m().createStatements.empty());
  EXPECT_TRUE(run.m().columnTypes.empty());
  EXPECT_TRUE(run.m().currentColumnTypes.empty());
  EXPECT_TRUE(run.engine.scanReportedDamage);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, TableParserCorrupt,
    ::testing::Values(CorruptCase{"noParenthesis", "CREATE TABLE t"},
                      CorruptCase{"columnListNeverCloses", "CREATE TABLE t (a TEXT, b INT"},
                      CorruptCase{"constraintNeverCloses", "CREATE TABLE t (a, PRIMARY KEY (a"},
                      CorruptCase{"checkNeverBalances", "CREATE TABLE t (a CHECK (a > (1)"},
                      CorruptCase{"cutAfterTheKeyword", "CREATE TABLE"},
                      CorruptCase{"openBracketNeverCloses", "CREATE TABLE t ([a b, c)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TableParser, UniqueConstraintPastTheTextIsStoredUpToItsLastParenthesis) {
  ParserRun run;
  EXPECT_EQ(run.Table("CREATE TABLE t (a TEXT, uniqueid INTEGER)", 4), ParseResult::Stored);
  EXPECT_EQ(U8(run.host.MessageTexts()), (std::vector<std::string>{"File is corrupted"}));
  ASSERT_EQ(run.m().tableDescriptors.size(), 1u);
  EXPECT_EQ(U8(run.m().tableDescriptors[0]), "t +a~#4");
  EXPECT_EQ(run.m().tableStatements8[0], "CREATE TABLE t (a TEXT, uniqueid INTEGER");

  ParserRun noParenthesis;
  noParenthesis.Table("CREATE TABLE t (a TEXT, uniqueid INTEGER", 4);
  EXPECT_EQ(noParenthesis.m().tableStatements8[0], "CREATE TABLE t (a TEXT, uniqueid INTEGER");
}

TEST(TableParser, TablesAppendAtOneSharedIndex) {
  ParserRun run;
  run.Table("CREATE TABLE a (x)", 2);
  run.Table("CREATE TABLE b (x, y", 3);  // corrupted: nothing appended
  run.Table("CREATE TABLE a (z INTEGER)", 4);
  ASSERT_EQ(run.m().tableDescriptors.size(), 2u);
  EXPECT_EQ(run.m().tableStatements8.size(), 2u);
  EXPECT_EQ(run.m().createStatements.size(), 2u);
  EXPECT_EQ(run.m().columnTypes.size(), 2u);
  EXPECT_EQ(U8(run.m().tableDescriptors[1]), "a +z~#4");
  EXPECT_EQ(run.m().tableStatements8[1], "CREATE TABLE a (z INTEGER");
}

TEST(IndexParser, OneEntryPerColumnAndTheOutputLines) {
  struct Case {
    std::string text;
    bool rightMost;
    bool wide;
    std::vector<std::string> entries;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"CREATE UNIQUE INDEX i2 ON t1(a, b)", false, false,
       {"CREATE UNIQUE INDEX i2 ON t1(a", "CREATE UNIQUE INDEX i2 ON t1(a, b"}, {}},
      {"CREATE INDEX i1 ON t1(name)", false, false, {"CREATE INDEX i1 ON t1(name"},
       {"INDEX i1 is found"}},
      {"CREATE INDEX i1 ON t1(name)", true, false, {"CREATE INDEX i1 ON t1(name"},
       {"INDEXi1 is found"}},
      {"CREATE INDEX i1 ON t1 (a DESC, b)", false, false,
       {"CREATE INDEX i1 ON t1 (a ", "CREATE INDEX i1 ON t1 (a DESC", "CREATE INDEX i1 ON t1 (a DESC, b"},
       {"INDEX i1 is found"}},
      {"CREATE INDEX i1 ON t1(name)", false, true, {"CREATE INDEX i1 ON t1(name"},
       {"Index i1 is found"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ParserRun run;
    const ParseResult r = c.wide ? run.Index16(c.text) : run.Index(c.text, c.rightMost);
    EXPECT_EQ(r, ParseResult::Stored);
    if (c.wide) {
      EXPECT_EQ(U8(run.m().indexStatements16), c.entries);
    } else {
      EXPECT_EQ(run.m().indexStatements8, c.entries);
    }
    EXPECT_EQ(U8(run.host.lines), c.lines);
    EXPECT_TRUE(run.host.messages.empty());
  }
}

TEST(IndexParser, ATextThatEndsInsideTheColumnsIsDropped) {
  for (const std::string text : {"CREATE INDEX i1 ON t1(a, b", "CREATE INDEX i1", "CREATE INDEX"}) {
    SCOPED_TRACE(text);
    ParserRun run;
    EXPECT_EQ(run.Index(text), ParseResult::Corrupted);
    EXPECT_TRUE(run.m().indexStatements8.empty());
    EXPECT_EQ(U8(run.host.MessageTexts()), (std::vector<std::string>{"File is corrupted"}));
  }
}

TEST(Parsers, NeverReadPastAnyCutOfAStatement) {
  // Every prefix of a rich statement: each either parses or reports, and none
  // reads outside the text (the sanitizer build checks the reads).
  const std::string tableText =
      "CREATE TABLE [t x] ([a b] INTEGER PRIMARY KEY, c varchar(20) check(c <> ''), "
      "d char (4), e INTEGER checksum, CONSTRAINT k UNIQUE (c, d))";
  for (size_t n = 12; n <= tableText.size(); ++n) {
    ParserRun run;
    run.Table(tableText.substr(0, n), 1);
    ParserRun wide;
    wide.Table16(tableText.substr(0, n), 1);
  }
  const std::string indexText = "CREATE UNIQUE INDEX i ON t (a, b DESC, c)";
  for (size_t n = 19; n <= indexText.size(); ++n) {
    ParserRun run;
    run.Index(indexText.substr(0, n));
  }
}

}  // namespace
}  // namespace korvel
