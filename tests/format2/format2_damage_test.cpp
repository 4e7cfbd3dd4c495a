// Randomly damaged copies of the real format-2.1 files: the scan, every
// table's preview and its save-mode read end without a fault, and any page
// read as a table root ends cleanly.

#include <gtest/gtest.h>

#include <random>

#include "tests/format2/format2_test_support.h"
#include "tests/support/test_database.h"

namespace korvel::testing::format2 {
namespace {

const char* const kFixtures[] = {"f2_contacts", "f2_shop",  "f2_overflow",
                                 "f2_many_rows", "f2_utf8", "f2_prefixed"};

std::string DatabaseFile(const std::string& name) {
  return FixturePath("format2/" + name + (name == "f2_prefixed" ? ".bin" : ".db"));
}

class Format2RandomDamage : public ::testing::TestWithParam<const char*> {};

TEST_P(Format2RandomDamage, EveryReadEndsCleanly) {
  const std::vector<uint8_t> original = ReadBytes(DatabaseFile(GetParam()));
  const size_t header = std::string(GetParam()) == "f2_prefixed" ? 1000 : 0;
  TempDir dir;
  const std::string path = dir.File("damaged.db");
  for (uint32_t seed = 0; seed < 40; ++seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes = original;
    // Keep the header text so that the file is still found; damage the rest:
    // single bytes, runs of zeros or of 0xff, and sometimes a cut.
    std::uniform_int_distribution<size_t> at(header + 48, bytes.size() - 1);
    const int edits = 1 + static_cast<int>(seed % 12);
    for (int e = 0; e < edits; ++e) {
      const size_t p = at(random);
      switch (random() % 3) {
        case 0:
          bytes[p] = static_cast<uint8_t>(random());
          break;
        case 1:
          for (size_t i = p; i < std::min(bytes.size(), p + 1 + random() % 64); ++i) bytes[i] = 0;
          break;
        default:
          for (size_t i = p; i < std::min(bytes.size(), p + 1 + random() % 8); ++i) bytes[i] = 0xff;
          break;
      }
    }
    if (seed % 7 == 6) bytes.resize(at(random));
    WriteBytes(path, bytes);

    auto session = ScanFile(path);
    if (session->database.engine == nullptr) continue;  // cut below one page: no database found
    const size_t tables = session->engine().model.tableDescriptors.size();
    for (size_t t = 0; t < tables; ++t) {
      const size_t previewed = Preview(*session, t).size();
      EXPECT_LE(previewed, bytes.size() / 16) << seed;
      SaveModeRecords(*session, t);
    }
  }
}

TEST_P(Format2RandomDamage, AnyPageReadAsATableRootEndsCleanly) {
  auto session = ScanFile(DatabaseFile(GetParam()));
  sqlite_ver2& engine = session->engine();
  const int64_t pages = static_cast<int64_t>(engine.filePageCount);
  for (int64_t root = 0; root <= pages + 1; ++root) {
    for (int columns : {1, 5, 40}) {
      engine.engineProgressCounter = 0;
      session->host.rows.clear();
      engine.LoadTableRecords(session->host.settings.inputPath, root, columns, u"t", 10);
      EXPECT_LE(session->host.rows.size(), 2000u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, Format2RandomDamage, ::testing::ValuesIn(kFixtures));

}  // namespace
}  // namespace korvel::testing::format2
