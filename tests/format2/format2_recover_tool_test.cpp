// End to end: the built korvel-recover on each real format-2.1 file lists
// every object and writes a repaired format-3 database whose rows equal the
// file's JSON.

#ifdef KORVEL_RECOVER_BINARY

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/format2/json_reader.h"
#include "tests/support/test_database.h"

namespace korvel::testing::format2 {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct ToolRun {
  int status = -1;
  std::string out;
};

ToolRun RunTool(const TempDir& dir, const std::vector<std::string>& args) {
  const std::string out = dir.File("stdout.txt");
  std::string command = Quote(KORVEL_RECOVER_BINARY);
  for (const std::string& a : args) command += " " + Quote(a);
  command += " </dev/null >" + Quote(out) + " 2>/dev/null";
  const int rc = std::system(command.c_str());
  ToolRun run;
  run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  std::ifstream in(out, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  run.out = text.str();
  return run;
}

// Equal texts, or texts of the same number (column affinity of the repaired
// database: "749.30" in a REAL column reads back as 749.3).
bool SameValue(const std::string& got, const std::string& expected) {
  if (got == expected) return true;
  char* end1 = nullptr;
  char* end2 = nullptr;
  const double a = std::strtod(got.c_str(), &end1);
  const double b = std::strtod(expected.c_str(), &end2);
  return !got.empty() && !expected.empty() && *end1 == '\0' && *end2 == '\0' && a == b;
}

class Format2RecoverTool : public ::testing::TestWithParam<const char*> {};

TEST_P(Format2RecoverTool, ListsEveryObjectAndSavesEveryRow) {
  const std::string name = GetParam();
  const std::string file = name + (name == "f2_prefixed" ? ".bin" : ".db");
  const JsonValue truth = ReadJsonFile(FixturePath("format2/" + name + ".truth.json"));
  TempDir dir;
  const std::string input = dir.File(file);
  WriteBytes(input, ReadBytes(FixturePath("format2/" + file)));

  std::string expectedList;
  for (const JsonValue& t : truth["tables"].items) expectedList += "table\t" + t["name"].text + "\n";
  for (const JsonValue& i : truth["indexes"].items) {
    expectedList += "index\t" + i["name"].text + " ON " + i["tbl_name"].text + "\n";
  }
  for (const JsonValue& v : truth["views"].items) expectedList += "view\t" + v["name"].text + "\n";
  for (const JsonValue& g : truth["triggers"].items) expectedList += "trigger\t" + g["name"].text + "\n";
  const ToolRun list = RunTool(dir, {"--list", input});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out, expectedList);

  const ToolRun save = RunTool(dir, {"-q", "-y", input});
  ASSERT_EQ(save.status, 0);
  const std::string repaired = dir.File("Repaired_" + file);
  ASSERT_TRUE(fs::exists(repaired));
  for (const JsonValue& table : truth["tables"].items) {
    const std::string& t = table["name"].text;
    const auto rows = QueryRows(repaired, "SELECT * FROM \"" + t + "\" ORDER BY rowid");
    ASSERT_EQ(rows.size(), table["rows"].size()) << t;
    for (size_t r = 0; r < rows.size(); ++r) {
      const JsonValue& expected = table["rows"][r];
      ASSERT_EQ(rows[r].size(), expected.size()) << t << " row " << r;
      for (size_t c = 0; c < rows[r].size(); ++c) {
        const std::string want = expected[c].IsNull() ? "NULL" : expected[c].text;
        EXPECT_TRUE(SameValue(rows[r][c], want)) << t << " row " << r << " column " << c;
      }
    }
  }
  const auto schema = QueryRows(repaired, "SELECT count(*) FROM sqlite_master");
  EXPECT_EQ(schema[0][0], std::to_string(truth["tables"].size() + truth["indexes"].size() +
                                         truth["views"].size() + truth["triggers"].size()));
}

INSTANTIATE_TEST_SUITE_P(Files, Format2RecoverTool,
                         ::testing::Values("f2_contacts", "f2_shop", "f2_overflow", "f2_many_rows",
                                           "f2_utf8", "f2_prefixed"));

}  // namespace
}  // namespace korvel::testing::format2

#endif  // KORVEL_RECOVER_BINARY
