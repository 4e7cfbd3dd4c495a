// The whole format-3 recovery on healthy databases: detection, scan, every
// object checked, save. The repaired database must hold exactly the rows of
// the original, value by value, whatever the value kind or text encoding,
// also when the database starts after a prefix of other bytes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/repaired_writer.h"
#include "tests/support/format3_recovery.h"
#include "tests/support/typed_rows.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_database.h"

namespace korvel {
namespace {

using testing::ReadCells;

using Recovery = testing::Format3Recovery;

const char* const kEveryKind =
    "CREATE TABLE t(id INTEGER PRIMARY KEY, a, r REAL, s TEXT, b BLOB);"
    "CREATE TABLE plain(x INTEGER, y TEXT);"
    "CREATE INDEX plain_y ON plain(y);"
    "BEGIN;"
    "INSERT INTO t VALUES(1, 0, 0.1, 'zero', x'00');"
    "INSERT INTO t VALUES(2, -1, -2.5e-300, 'O''Brien', x'ff00ff');"
    "INSERT INTO t VALUES(3, 8388607, 1e300, 'h\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80', NULL);"
    "INSERT INTO t VALUES(4, -8388609, 2.0, '', x'');"
    "INSERT INTO t VALUES(5, 140737488355328, NULL, NULL, randomblob(5000));"
    "INSERT INTO t VALUES(6, -9223372036854775808, 3.5, printf('%.9000c', 'q'), NULL);"
    "INSERT INTO t VALUES(7, 9223372036854775807, -0.0, 'tail', randomblob(1));"
    "INSERT INTO t VALUES(8, 1.25, 7, 12, 'text in a blob column');"
    "INSERT INTO t VALUES(-40, x'0102', 'x', 3.75, 99);"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2500)"
    " INSERT INTO plain SELECT i * 7919, 'row ' || i FROM n;"
    "COMMIT;";

class RecoveryRoundTripTest
    : public ::testing::TestWithParam<std::tuple<const char*, int, bool>> {};

TEST_P(RecoveryRoundTripTest, RepairedDatabaseHoldsTheOriginalRows) {
  const auto [encoding, pageSize, prefixed] = GetParam();
  testing::TempDir dir;
  const std::string original = dir.File("orig.db");
  testing::MakeDatabase(original, kEveryKind, pageSize, encoding);
  std::string input = original;
  if (prefixed) {
    input = dir.File("prefixed.bin");
    testing::WriteBytes(input, testing::ReadBytes(original));
    testing::Prepend(input, std::vector<uint8_t>(777, 0x5A));
  }
  Recovery recovery(input);
  ASSERT_TRUE(ScanReachedItsEnd(recovery.outcome));
  recovery.host.messages.clear();  // the scan's completion message
  ASSERT_TRUE(recovery.Save());
  const std::string repaired = MakeRepairedPath(input);
  for (const char* table : {"t", "plain"}) {
    SCOPED_TRACE(table);
    const std::string query = std::string("SELECT * FROM ") + table + " ORDER BY rowid";
    const auto expected = ReadCells(original, query);
    const auto actual = ReadCells(repaired, query);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(actual[i], expected[i]) << "row " << i;
  }
  EXPECT_TRUE(recovery.host.messages.empty());
  EXPECT_EQ(testing::QueryRows(repaired, "SELECT name FROM sqlite_master WHERE type='index'"),
            (std::vector<std::vector<std::string>>{{"plain_y"}}));
  EXPECT_EQ(testing::QueryRows(repaired, "PRAGMA integrity_check")[0][0], "ok");
}

INSTANTIATE_TEST_SUITE_P(
    EncodingsAndPages, RecoveryRoundTripTest,
    ::testing::Values(std::make_tuple("UTF-8", 4096, false), std::make_tuple("UTF-16le", 4096, false),
                      std::make_tuple("UTF-8", 512, false), std::make_tuple("UTF-16le", 1024, false),
                      std::make_tuple("UTF-8", 1024, true), std::make_tuple("UTF-16be", 4096, false),
                      std::make_tuple("UTF-16be", 512, true)));

}  // namespace
}  // namespace korvel
