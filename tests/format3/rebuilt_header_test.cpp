// Databases whose 100-byte header is wiped: the file selection rebuilds the
// header from the pages, and the scan, the preview and the save then work as
// they do on the healthy file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/database_detection.h"
#include "core/object_tree.h"
#include "core/scan_worker.h"
#include "format3/sqlite_ver3.h"
#include "output/repaired_writer.h"
#include "tests/support/format3_recovery.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_database.h"
#include "tests/support/typed_rows.h"

namespace korvel {
namespace {

using testing::Format3Recovery;
using testing::ReadCells;
using testing::RecordingHost;
using testing::U8;

const char* const kTables[] = {"customers", "orders", "notes", "empty_one"};

const char* const kShop =
    "CREATE TABLE customers(id INTEGER PRIMARY KEY, name TEXT, city TEXT, joined REAL);"
    "CREATE TABLE orders(id INTEGER PRIMARY KEY, customer INTEGER, amount INTEGER, note TEXT);"
    "CREATE TABLE notes(body TEXT, data BLOB);"
    "CREATE TABLE empty_one(a, b);"
    "CREATE INDEX orders_customer ON orders(customer);"
    "CREATE VIEW big_orders AS SELECT * FROM orders WHERE amount > 100;"
    "BEGIN;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400)"
    " INSERT INTO customers SELECT i, 'customer ' || i, 'city ' || (i % 13), i * 0.5 FROM n;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500)"
    " INSERT INTO orders SELECT i, i % 400, i * 37 % 1000, CASE WHEN i % 5 = 0 THEN NULL"
    " ELSE 'order ' || i END FROM n;"
    "INSERT INTO notes VALUES ('h\xC3\xA9 \xE2\x82\xAC', x'00ff');"
    "INSERT INTO notes VALUES (printf('%.7000c', 'w'), randomblob(9000));"
    "INSERT INTO notes VALUES (NULL, NULL);"
    "COMMIT;";

// The names under a group, in tree order.
std::vector<std::string> Names(Format3Recovery& r, TreeItem group) {
  std::vector<std::string> names;
  for (TreeItem item = r.host.tree.GetChildItem(group); item != kNoItem;
       item = r.host.tree.GetNextSiblingItem(item)) {
    names.push_back(U8(r.host.tree.GetItemText(item)));
  }
  return names;
}

class WipedHeaderRecovery : public ::testing::TestWithParam<std::tuple<int, const char*>> {};

TEST_P(WipedHeaderRecovery, RecoversEveryTableAndRowAsFromTheHealthyFile) {
  const auto [pageSize, encoding] = GetParam();
  testing::TempDir dir;
  const std::string healthy = dir.File("healthy.db");
  testing::MakeDatabase(healthy, kShop, pageSize, encoding);
  const std::string wiped = dir.File("wiped.db");
  testing::WriteBytes(wiped, testing::ReadBytes(healthy));
  testing::PatchBytes(wiped, 0, std::vector<uint8_t>(100, 0));

  Format3Recovery before(healthy);
  Format3Recovery after(wiped);
  ASSERT_TRUE(after.detected.headerRebuilt);
  ASSERT_EQ(before.outcome, ScanOutcome::Completed);
  ASSERT_EQ(after.outcome, ScanOutcome::Completed);
  // The scan says and finds the same as on the healthy file.
  EXPECT_EQ(U8(after.host.lines), U8(before.host.lines));
  EXPECT_EQ(U8(after.host.MessageTexts()), U8(before.host.MessageTexts()));
  for (auto group : {&ScanSettings::tablesGroup, &ScanSettings::indexesGroup,
                     &ScanSettings::viewsGroup, &ScanSettings::triggersGroup}) {
    EXPECT_EQ(Names(after, after.host.settings.*group), Names(before, before.host.settings.*group));
  }
  EXPECT_EQ(Names(after, after.host.settings.tablesGroup).size(), std::size(kTables));

  ASSERT_TRUE(after.Save());
  const std::string repaired = MakeRepairedPath(wiped);
  for (const char* table : kTables) {
    SCOPED_TRACE(table);
    const std::string query = std::string("SELECT * FROM ") + table + " ORDER BY rowid";
    const auto expected = ReadCells(healthy, query);
    const auto actual = ReadCells(repaired, query);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(actual[i], expected[i]) << "row " << i;
  }
  EXPECT_EQ(testing::QueryRows(repaired, "SELECT type, name FROM sqlite_master"
                                         " WHERE type IN ('index', 'view') ORDER BY name"),
            (std::vector<std::vector<std::string>>{{"view", "big_orders"},
                                                   {"index", "orders_customer"}}));
  EXPECT_EQ(testing::QueryRows(repaired, "PRAGMA integrity_check")[0][0], "ok");
}

INSTANTIATE_TEST_SUITE_P(PagesAndEncodings, WipedHeaderRecovery,
                         ::testing::Values(std::make_tuple(1024, "UTF-8"),
                                           std::make_tuple(4096, "UTF-8"),
                                           std::make_tuple(4096, "UTF-16le"),
                                           std::make_tuple(2048, "UTF-16be")));

TEST(WipedHeaderScan, WithoutTheRebuiltHeaderTheScanStillRefusesTheFile) {
  testing::TempDir dir;
  const std::string wiped = dir.File("wiped.db");
  testing::MakeDatabase(wiped, kShop, 1024);
  testing::PatchBytes(wiped, 0, std::vector<uint8_t>(100, 0));
  RecordingHost host;
  host.settings.inputPath = wiped;
  host.settings.version = 2;
  host.settings.startOffset = 1;
  host.settings.pageSize = 1024;
  host.settings.utf8Chosen = true;
  OpenDatabase database;
  RunScanWorker(
      host, [](int) -> std::unique_ptr<sqlite_base> { return std::make_unique<sqlite_ver3>(); },
      database);
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(U8(host.messages[0].text), "The Database content is not in its appropriate form");
  EXPECT_EQ(host.tree.GetChildItem(host.settings.tablesGroup), kNoItem);
}

// Reserved bytes are not known without the header: the rebuilt header names
// none, whatever the damaged header's byte 20 held before it was wiped.
TEST(WipedHeaderScan, ReservedBytesAreTakenAsNone) {
  testing::TempDir dir;
  const std::string wiped = dir.File("wiped.db");
  // A statement longer than a page: where it continues on its overflow page
  // depends on the usable page size.
  std::string wide = "CREATE TABLE wide(";
  for (int i = 0; i < 400; ++i) wide += (i ? ", column_" : "column_") + std::to_string(i);
  testing::MakeDatabase(wiped, std::string(kShop) + wide + ");"
                        "INSERT INTO wide(column_0, column_399) VALUES (1, 2);", 4096);
  std::vector<uint8_t> wipe(100, 0);
  wipe[20] = 200;  // what is left of a header is not trusted
  testing::PatchBytes(wiped, 0, wipe);
  Format3Recovery r(wiped);
  ASSERT_TRUE(r.detected.headerRebuilt);
  ASSERT_TRUE(ScanReachedItsEnd(r.outcome));
  ASSERT_TRUE(r.Save());
  EXPECT_EQ(testing::QueryRows(MakeRepairedPath(wiped), "SELECT length(body) FROM notes"),
            (std::vector<std::vector<std::string>>{{"4"}, {"7000"}, {"NULL"}}));
  EXPECT_EQ(testing::QueryRows(MakeRepairedPath(wiped), "SELECT column_0, column_399 FROM wide"),
            (std::vector<std::vector<std::string>>{{"1", "2"}}));
}

}  // namespace
}  // namespace korvel
