// The save of format-2.1 files into a repaired format-3 database.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "core/text_codec.h"
#include "output/repaired_writer.h"
#include "tests/format2/format2_builder.h"
#include "tests/format2/format2_test_support.h"
#include "tests/format2/json_reader.h"
#include "tests/support/test_database.h"

namespace korvel::testing::format2 {
namespace {

std::vector<std::string> Lines(Session& s) { return U8(s.host.lines); }

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Scans the file and saves every object into dir.
std::unique_ptr<Session> ScanAndSaveAll(const std::string& path, const std::string& output,
                                        bool& saved) {
  auto s = ScanFile(path);
  s->host.settings.outputPathOverride = output;
  s->host.tree.SetCheck(s->host.tree.GetRootItem(), 1);
  s->host.lines.clear();
  saved = s->engine().SaveRecovered(path);
  return s;
}

// Equal texts, or texts of the same number: the repaired database applies
// its column affinity, so "749.30" in a REAL column reads back as 749.3.
bool SameValue(const std::string& got, const std::string& expected) {
  if (got == expected) return true;
  char* end1 = nullptr;
  char* end2 = nullptr;
  const double a = std::strtod(got.c_str(), &end1);
  const double b = std::strtod(expected.c_str(), &end2);
  return !got.empty() && !expected.empty() && *end1 == '\0' && *end2 == '\0' && a == b;
}

bool SameRow(const std::vector<std::string>& got, const std::vector<std::string>& expected) {
  if (got.size() != expected.size()) return false;
  for (size_t i = 0; i < got.size(); ++i) {
    if (!SameValue(got[i], expected[i])) return false;
  }
  return true;
}

const char* const kFixtures[] = {"f2_contacts", "f2_shop",  "f2_overflow",
                                 "f2_many_rows", "f2_utf8", "f2_prefixed"};

class Format2SaveFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(Format2SaveFixture, RepairedDatabaseHoldsEveryObjectAndRow) {
  const std::string name = GetParam();
  const std::string input = FixturePath("format2/" + name + (name == "f2_prefixed" ? ".bin" : ".db"));
  const JsonValue truth = ReadJsonFile(FixturePath("format2/" + name + ".truth.json"));
  TempDir dir;
  const std::string output = dir.File("Repaired_" + name + ".db");
  bool saved = false;
  auto s = ScanAndSaveAll(input, output, saved);
  ASSERT_TRUE(saved);
  const auto lines = Lines(*s);
  EXPECT_EQ(lines.front(), " Creating Database ");
  size_t total = 0;
  for (const JsonValue& table : truth["tables"].items) total += table["rows"].size();
  EXPECT_TRUE(Has(lines, "Database have total " + std::to_string(total) + " Entries"));
  for (const char* summary :
       {"Database Table created successfully", "Database Index schema created successfully",
        "Database views created successfully", "Database Triggers created successfully"}) {
    EXPECT_TRUE(Has(lines, summary)) << summary;
  }
  for (const std::string& line : lines) EXPECT_NE(line.rfind("Error", 0), 0u) << line;
  EXPECT_EQ(s->host.settings.saveMode, 0);
  EXPECT_TRUE(s->host.rows.empty());

  for (const JsonValue& table : truth["tables"].items) {
    const std::string& t = table["name"].text;
    const size_t count = table["rows"].size();
    EXPECT_TRUE(Has(lines, "Table " + t + " contain " + std::to_string(count) + " rows"));
    EXPECT_TRUE(Has(lines, "Total " + std::to_string(count) + " Rows inserted in table successfully"));
    const auto rows = QueryRows(output, "SELECT * FROM \"" + t + "\" ORDER BY rowid");
    ASSERT_EQ(rows.size(), count) << t;
    for (size_t r = 0; r < count; ++r) {
      std::vector<std::string> expected;
      for (const JsonValue& v : table["rows"][r].items) expected.push_back(v.IsNull() ? "NULL" : v.text);
      EXPECT_TRUE(SameRow(rows[r], expected)) << t << " row " << r;
    }
  }
  const auto schema = QueryRows(output, "SELECT type, name FROM sqlite_master");
  for (const char* kind : {"indexes", "views", "triggers"}) {
    for (const JsonValue& object : truth[kind].items) {
      const std::string type = std::string(kind) == "indexes" ? "index"
                               : std::string(kind) == "views" ? "view"
                                                              : "trigger";
      EXPECT_TRUE(std::find(schema.begin(), schema.end(),
                            std::vector<std::string>{type, object["name"].text}) != schema.end())
          << object["name"].text;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, Format2SaveFixture, ::testing::ValuesIn(kFixtures));

class Format2Save : public ::testing::Test {
 protected:
  TempDir dir;
  std::string input = dir.File("in.db");
  std::string output = dir.File("Repaired_in.db");
  Format2File file;
};

TEST_F(Format2Save, SecondSaveAsksBeforeReplacingTheFile) {
  file.AddTable("t1", "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT)",
                {{1, {{}, "a"}}, {70000, {{}, {}}}});
  file.Save(input);
  bool saved = false;
  auto s = ScanAndSaveAll(input, output, saved);
  ASSERT_TRUE(saved);
  EXPECT_EQ(QueryRows(output, "SELECT * FROM t1"),
            (std::vector<std::vector<std::string>>{{"1", "a"}, {"70000", "NULL"}}));

  // No: nothing is written, the file stays.
  s->host.lines.clear();
  s->host.answers = {MessageAnswer::No};
  EXPECT_FALSE(s->engine().SaveRecovered(input));
  ASSERT_EQ(s->host.messages.size(), 2u);  // the scan's completion, then the question
  EXPECT_EQ(s->host.messages.back().text, OverwriteQuestion(output));
  EXPECT_EQ(s->host.messages.back().buttons, MessageButtons::YesNo);
  EXPECT_EQ(Lines(*s), (std::vector<std::string>{" Creating Database "}));

  // Yes: the file is rebuilt from scratch.
  s->host.lines.clear();
  s->host.answers = {MessageAnswer::Yes};
  EXPECT_TRUE(s->engine().SaveRecovered(input));
  EXPECT_TRUE(Has(Lines(*s), "Total 2 Rows inserted in table successfully"));
  EXPECT_EQ(QueryRows(output, "SELECT count(*) FROM t1"), (std::vector<std::vector<std::string>>{{"2"}}));
}

TEST_F(Format2Save, NeitherTheDamagedFileNorAFolderIsReplaced) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT)", {{1, {"x"}}});
  file.Save(input);
  const auto bytes = ReadBytes(input);
  for (const std::string& target : {input, dir.File("folder")}) {
    std::filesystem::create_directories(dir.File("folder"));
    auto s = ScanFile(input);
    s->host.settings.outputPathOverride = target;
    s->host.tree.SetCheck(s->host.tree.GetRootItem(), 1);
    s->host.answers = {MessageAnswer::Yes};
    EXPECT_FALSE(s->engine().SaveRecovered(input)) << target;
    EXPECT_EQ(s->host.messages.back().buttons, MessageButtons::Ok) << target;
  }
  EXPECT_EQ(ReadBytes(input), bytes);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder")));
}

TEST_F(Format2Save, RejectedRowIsLoggedAndNotCounted) {
  // Two cells carry row number 5: the second breaks the primary key.
  const uint32_t root = file.NewPage();
  file.SetTreePage(root, {{0, 5, EncodeRecord({{}, "first"})},
                          {0, 5, EncodeRecord({{}, "again"})},
                          {0, 6, EncodeRecord({{}, "next"})}});
  file.AddMasterRecord("table", "t", "t", root, "CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
  file.Save(input);
  bool saved = false;
  auto s = ScanAndSaveAll(input, output, saved);
  ASSERT_TRUE(saved);
  const auto lines = Lines(*s);
  EXPECT_TRUE(Has(lines, "Table t contain 3 rows"));
  EXPECT_TRUE(Has(lines, "Total 2 Rows inserted in table successfully"));
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("UNIQUE") != std::string::npos;
  }));
  EXPECT_EQ(QueryRows(output, "SELECT * FROM t"),
            (std::vector<std::vector<std::string>>{{"5", "first"}, {"6", "next"}}));
}

TEST_F(Format2Save, OnlyAnIndexCheckedLogsItsErrorAndEverySummaryLine) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT)", {});
  file.AddMasterRecord("index", "i1", "t1", 4, "CREATE INDEX i1 ON t1 (a)");
  file.Save(input);
  auto s = ScanFile(input);
  s->host.settings.outputPathOverride = output;
  s->host.tree.SetCheck(s->host.tree.GetChildItem(s->host.settings.indexesGroup), 1);
  s->host.lines.clear();
  EXPECT_TRUE(s->engine().SaveRecovered(input));
  const auto lines = Lines(*s);
  EXPECT_TRUE(Has(lines, "Database have total 0 Entries"));
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind("Error: ", 0) == 0; }));
  for (const char* summary :
       {"Database Table created successfully", "Database Index schema created successfully",
        "Database views created successfully", "Database Triggers created successfully"}) {
    EXPECT_TRUE(Has(lines, summary)) << summary;
  }
}

TEST_F(Format2Save, StopStillCreatesTheCheckedObjects) {
  file.AddTable("t1", "CREATE TABLE t1 (a TEXT)", {{1, {"x"}}, {2, {"y"}}});
  file.AddMasterRecord("view", "v", "v", 0, "%REATE VIEW v AS SELECT a FROM t1");
  file.Save(input);
  auto s = ScanFile(input);
  s->host.settings.outputPathOverride = output;
  s->host.tree.SetCheck(s->host.tree.GetRootItem(), 1);
  s->host.stop = true;
  EXPECT_TRUE(s->engine().SaveRecovered(input));
  EXPECT_TRUE(Has(Lines(*s), "Total 0 Rows inserted in table successfully"));
  EXPECT_EQ(QueryRows(output, "SELECT type, name FROM sqlite_master ORDER BY name"),
            (std::vector<std::vector<std::string>>{{"table", "t1"}, {"view", "v"}}));
}

TEST_F(Format2Save, CheckedEntriesCountOnlyCheckedTables) {
  file.AddTable("a", "CREATE TABLE a (x TEXT)", {{1, {"1"}}, {2, {"2"}}, {3, {"3"}}});
  file.AddTable("b", "CREATE TABLE b (x TEXT)", {{1, {"1"}}, {2, {"2"}}});
  file.Save(input);
  auto s = ScanFile(input);
  EXPECT_EQ(s->engine().CountCheckedEntries(), 0u);
  TreeOps& tree = s->host.tree;
  tree.SetCheck(tree.GetChildItem(s->host.settings.tablesGroup), 1);
  EXPECT_EQ(s->engine().CountCheckedEntries(), 3u);
  tree.SetCheck(s->host.settings.tablesGroup, 1);
  EXPECT_EQ(s->engine().CountCheckedEntries(), 5u);
}

}  // namespace
}  // namespace korvel::testing::format2
