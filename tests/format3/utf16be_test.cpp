// Databases whose texts are UTF-16 big-endian (text encoding 3): the scan
// finds their statements, the preview shows their values and the save
// writes them exactly, whether the encoding comes from the header or from a
// UTF-16 choice; texts with an odd byte count keep their whole units.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/text_codec.h"
#include "output/repaired_writer.h"
#include "tests/support/format3_recovery.h"
#include "tests/support/test_database.h"
#include "tests/support/typed_rows.h"

namespace korvel {
namespace {

using testing::Format3Recovery;
using testing::ReadCells;
using testing::U8;

const char* const kBigEndianDatabase =
    "CREATE TABLE t(id INTEGER PRIMARY KEY, s TEXT, n, r REAL, b BLOB);"
    "CREATE TABLE [caf\xC3\xA9 \xE2\x82\xAC](x TEXT);"
    "CREATE INDEX t_s ON t(s);"
    "CREATE VIEW v AS SELECT s FROM t WHERE id > 1;"
    "CREATE TRIGGER g AFTER INSERT ON t BEGIN SELECT 1; END;"
    "BEGIN;"
    "INSERT INTO t VALUES(1, 'plain', 0, 0.1, x'00');"
    "INSERT INTO t VALUES(2, 'O''Brien', -1, -2.5e-300, NULL);"
    "INSERT INTO t VALUES(3, 'h\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD', 8388607, 1e300, "
    "x'ff00ff');"
    "INSERT INTO t VALUES(4, '', 9223372036854775807, 2.25, x'');"
    "INSERT INTO t VALUES(5, printf('%.3000c', 'q') || '\xE2\x82\xAC', NULL, NULL, "
    "randomblob(4000));"
    "INSERT INTO t VALUES(6, NULL, 'text in n', 7.5, 'text in b');"
    "INSERT INTO [caf\xC3\xA9 \xE2\x82\xAC] VALUES('\xF0\x9F\x98\x80');"
    "COMMIT;";

struct ChoiceCase {
  const char* name;
  std::function<void(ScanSettings&)> adjust;
};

class BigEndianRecovery : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(BigEndianRecovery, PreviewShowsAndSaveWritesEveryValueExactly) {
  testing::TempDir dir;
  const std::string path = dir.File("be.db");
  testing::MakeDatabase(path, kBigEndianDatabase, 1024, "UTF-16be");
  ASSERT_EQ(testing::ReadBytes(path)[59], 3);
  Format3Recovery recovery(path, GetParam().adjust);
  ASSERT_EQ(recovery.outcome, ScanOutcome::Completed);

  // Everything after the scan reads the file as UTF-16.
  EXPECT_TRUE(recovery.host.settings.utf16Chosen);
  EXPECT_FALSE(recovery.host.settings.utf8Chosen);
  const RecoveredModel& m = recovery.engine().model;
  ASSERT_EQ(m.viewStatements16.size(), 1u);
  EXPECT_EQ(U8(m.viewStatements16[0]), "CREATE VIEW v AS SELECT s FROM t WHERE id > 1");
  ASSERT_EQ(m.triggerStatements16.size(), 1u);
  EXPECT_EQ(U8(m.triggerStatements16[0]), "CREATE TRIGGER g AFTER INSERT ON t BEGIN SELECT 1; END");
  EXPECT_EQ(U8(m.tableStatements16.at(1)), "CREATE TABLE [caf\xC3\xA9 \xE2\x82\xAC](x TEXT");

  recovery.host.messages.clear();
  EXPECT_EQ(recovery.Preview(u"t"), testing::ShownRows(path, "SELECT * FROM t ORDER BY id"));
  EXPECT_EQ(recovery.Preview(u"[caf\u00E9 \u20AC]"),
            (std::vector<std::vector<std::string>>{{"\xF0\x9F\x98\x80"}}));
  EXPECT_TRUE(recovery.host.messages.empty());

  ASSERT_TRUE(recovery.Save());
  EXPECT_TRUE(recovery.host.messages.empty());
  const std::string repaired = MakeRepairedPath(path);
  for (const char* query : {"SELECT * FROM t ORDER BY id",
                            "SELECT * FROM [caf\xC3\xA9 \xE2\x82\xAC]",
                            "SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY name"}) {
    SCOPED_TRACE(query);
    EXPECT_EQ(ReadCells(repaired, query), ReadCells(path, query));
  }
  EXPECT_EQ(testing::QueryRows(repaired, "PRAGMA integrity_check")[0][0], "ok");
}

INSTANTIATE_TEST_SUITE_P(
    Choices, BigEndianRecovery,
    ::testing::Values(ChoiceCase{"headerDecides", {}},
                      ChoiceCase{"utf16Chosen",
                                 [](ScanSettings& s) {
                                   s.utf8Chosen = false;
                                   s.utf16Chosen = true;
                                 }},
                      ChoiceCase{"bothChosen",
                                 [](ScanSettings& s) {
                                   s.utf8Chosen = true;
                                   s.utf16Chosen = true;
                                 }}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST(BigEndianTexts, AnOddByteCountKeepsTheWholeUnits) {
  testing::TempDir dir;
  const std::string path = dir.File("odd.db");
  testing::MakeDatabase(path, "CREATE TABLE t(id INTEGER PRIMARY KEY, s TEXT);"
                              "INSERT INTO t VALUES(1, 'ab');",
                        1024, "UTF-16be");
  // Record header: size 3, NULL for the key, text of 4 bytes (serial type
  // 21); then 00 61 00 62. The serial type becomes 19: a text of 3 bytes.
  const std::string record("\x03\x00\x15\x00\x61\x00\x62", 7);
  const int64_t at = testing::FindInFile(path, record);
  ASSERT_GE(at, 0);
  testing::PatchBytes(path, at + 2, {0x13});

  Format3Recovery recovery(path);
  EXPECT_EQ(recovery.Preview(u"t"), (std::vector<std::vector<std::string>>{{"1", "a"}}));
  ASSERT_TRUE(recovery.Save());
  EXPECT_EQ(testing::QueryRows(MakeRepairedPath(path), "SELECT id, s, length(s) FROM t"),
            (std::vector<std::vector<std::string>>{{"1", "a", "1"}}));
}

}  // namespace
}  // namespace korvel
