// Replays every input the fuzzer once found harmful, and the real fixture
// files, through the whole recovery: none may crash, hang or leak.
#include "fuzz/whole_recovery.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_database.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  if (!fs::is_directory(folder)) return files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().filename() != "README.md") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(WholeRecovery, ReplaysEveryRegressionInput) {
  for (const fs::path& input : FilesIn(KORVEL_FUZZ_REGRESSIONS)) {
    SCOPED_TRACE(input.filename().string());
    TempDir work;
    RunWholeRecovery(input.string(), work.path().string());
  }
}

TEST(WholeRecovery, RecoversAHealthyDatabaseEndToEnd) {
  TempDir work;
  const std::string path = work.File("shop.db");
  testing::MakeDatabase(path,
                        "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT);"
                        "INSERT INTO t VALUES(1,'a'),(2,'b'),(3,'c');"
                        "CREATE INDEX i ON t(name); CREATE VIEW v AS SELECT name FROM t;");
  const WholeRecoveryResult r = RunWholeRecovery(path, work.path().string());
  EXPECT_EQ(r.version, 2);
  EXPECT_EQ(r.tables, 1u);
  EXPECT_EQ(r.previewRows, 3u);
  EXPECT_TRUE(r.saved);
  EXPECT_EQ(testing::QueryRows(work.File("Repaired_fuzz.db"), "SELECT name FROM t ORDER BY id"),
            (std::vector<std::vector<std::string>>{{"a"}, {"b"}, {"c"}}));
}

TEST(WholeRecovery, RunsOverEveryFormat2Fixture) {
  for (const fs::path& input : FilesIn(testing::FixturePath("format2"))) {
    if (input.extension() == ".json") continue;
    SCOPED_TRACE(input.filename().string());
    TempDir work;
    EXPECT_EQ(RunWholeRecovery(input.string(), work.path().string()).version, 1);
  }
}

}  // namespace
}  // namespace korvel
