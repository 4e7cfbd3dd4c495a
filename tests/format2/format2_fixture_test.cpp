// The real format-2.1 files: every table, index, view, trigger and row that
// their JSON lists must come back, also from damaged copies.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/text_codec.h"
#include "output/column_types.h"
#include "tests/format2/format2_test_support.h"
#include "tests/format2/json_reader.h"
#include "tests/support/test_database.h"

namespace korvel::testing::format2 {
namespace {

const char* const kFixtures[] = {"f2_contacts", "f2_shop",  "f2_overflow",
                                 "f2_many_rows", "f2_utf8", "f2_prefixed"};

std::string DatabaseFile(const std::string& name) {
  return FixturePath("format2/" + name + (name == "f2_prefixed" ? ".bin" : ".db"));
}

JsonValue Truth(const std::string& name) {
  return ReadJsonFile(FixturePath("format2/" + name + ".truth.json"));
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// The expected row as the record list shows it.
// The record list shows a text as it stands in the row's statement.
RecordRow ExpectedPreviewRow(const JsonValue& row) {
  RecordRow out;
  for (const JsonValue& v : row.items) {
    out.push_back(v.IsNull() ? u"NULL" : DoubleSingleQuotes(Utf8ToUtf16(v.text)));
  }
  return out;
}

std::vector<std::string> ExpectedSavedRow(const JsonValue& row) {
  std::vector<std::string> out;
  for (const JsonValue& v : row.items) out.push_back(v.IsNull() ? "<null>" : v.text);
  return out;
}

std::vector<std::string> SavedRow(const std::vector<RecordValue>& values) {
  std::vector<std::string> out;
  for (const RecordValue& v : values) out.push_back(ValueText(v));
  return out;
}

// Checks every table of the truth against a scanned file; `complete` false
// allows rows to be missing (a cut file), but every row found must be right.
void ExpectTables(Session& session, const JsonValue& truth, bool complete) {
  for (const JsonValue& table : truth["tables"].items) {
    SCOPED_TRACE(table["name"].text);
    const int index = FindTable(session, Utf8ToUtf16(table["name"].text));
    ASSERT_GE(index, 0);
    const TableDescriptorParts parts = TableParts(session, index);
    EXPECT_EQ(parts.rootPage, static_cast<int64_t>(table["root_page"].number));
    ASSERT_EQ(parts.columnNames.size(), table["columns"].size());
    for (size_t c = 0; c < parts.columnNames.size(); ++c) {
      EXPECT_EQ(Utf16ToUtf8(CleanName(parts.columnNames[c])), table["columns"][c].text);
    }
    if (!table["ipk"].IsNull()) {
      EXPECT_EQ(parts.keyColumnMarker, 10 + static_cast<int>(table["ipk"].number));
    }

    const std::vector<RecordRow> rows = Preview(session, index);
    const auto records = SaveModeRecords(session, index);
    const JsonValue& expected = table["rows"];
    if (complete) {
      EXPECT_EQ(rows.size(), expected.size());
      EXPECT_EQ(records.size(), expected.size());
      EXPECT_EQ(session.host.settings.rowsInserted, expected.size());
    }
    // Rows come in row-number order, as the truth lists them.
    size_t e = 0;
    for (size_t r = 0; r < rows.size() && r < records.size(); ++r) {
      const std::string id = SavedRow(records[r]).at(0);
      while (e < expected.size() && expected[e][0].text != id) ++e;
      ASSERT_LT(e, expected.size()) << "row " << r << " (id " << id << ") is not expected here";
      if (complete) {
        EXPECT_TRUE(rows[r] == ExpectedPreviewRow(expected[e])) << "preview row " << r;
        EXPECT_TRUE(SavedRow(records[r]) == ExpectedSavedRow(expected[e])) << "saved row " << r;
      }
    }
  }
}

void ExpectSchemaObjects(Session& session, const JsonValue& truth) {
  const RecoveredModel& model = session.engine().model;
  const ScanSettings& s = session.host.settings;
  const auto tableItems = GroupTexts(session, s.tablesGroup);
  for (const JsonValue& table : truth["tables"].items) {
    EXPECT_TRUE(Contains(tableItems, " " + table["name"].text + " ")) << table["name"].text;
  }
  const auto indexItems = GroupTexts(session, s.indexesGroup);
  EXPECT_EQ(indexItems.size(), truth["indexes"].size());
  for (const JsonValue& index : truth["indexes"].items) {
    const std::string& sql = index["sql"].text;
    EXPECT_TRUE(Contains(model.indexStatements8, sql.substr(0, sql.size() - 1))) << sql;
    EXPECT_TRUE(Contains(indexItems, " " + index["name"].text + " ON " + index["tbl_name"].text))
        << sql;
  }
  const auto viewItems = GroupTexts(session, s.viewsGroup);
  EXPECT_EQ(viewItems.size(), truth["views"].size());
  for (const JsonValue& view : truth["views"].items) {
    EXPECT_TRUE(Contains(model.viewStatements8, view["sql"].text));
    EXPECT_TRUE(Contains(viewItems, " " + view["name"].text));
  }
  const auto triggerItems = GroupTexts(session, s.triggersGroup);
  EXPECT_EQ(triggerItems.size(), truth["triggers"].size());
  for (const JsonValue& trigger : truth["triggers"].items) {
    EXPECT_TRUE(Contains(model.triggerStatements8, trigger["sql"].text));
    EXPECT_TRUE(Contains(triggerItems, trigger["name"].text));
  }
}

class Format2Fixture : public ::testing::TestWithParam<const char*> {};

TEST_P(Format2Fixture, EveryObjectAndRowIsRecovered) {
  const JsonValue truth = Truth(GetParam());
  auto session = ScanFile(DatabaseFile(GetParam()));
  EXPECT_EQ(session->outcome, ScanOutcome::Completed);
  EXPECT_EQ(session->engine().model.tableDescriptors.size(), truth["tables"].size());
  for (const JsonValue& table : truth["tables"].items) {
    const std::u16string line = u"Table " + Utf8ToUtf16(table["name"].text) + u" is found";
    EXPECT_TRUE(std::find(session->host.lines.begin(), session->host.lines.end(), line) !=
                session->host.lines.end());
  }
  ExpectSchemaObjects(*session, truth);
  ExpectTables(*session, truth, true);
}

INSTANTIATE_TEST_SUITE_P(Files, Format2Fixture, ::testing::ValuesIn(kFixtures));

class Format2DamagedFixture : public ::testing::Test {
 protected:
  std::string Copy(const std::string& name) {
    const std::string path = dir.File(name + ".db");
    WriteBytes(path, ReadBytes(DatabaseFile(name)));
    return path;
  }
  TempDir dir;
};

TEST_F(Format2DamagedFixture, GarbagePrefixMovesNothing) {
  const std::string path = Copy("f2_shop");
  std::vector<uint8_t> prefix(3001);
  for (size_t i = 0; i < prefix.size(); ++i) prefix[i] = static_cast<uint8_t>(i * 37 + 11);
  Prepend(path, prefix);
  auto session = ScanFile(path);
  EXPECT_EQ(session->engine().headerPosition, 3001u);
  ExpectSchemaObjects(*session, Truth("f2_shop"));
  ExpectTables(*session, Truth("f2_shop"), true);
}

TEST_F(Format2DamagedFixture, DamagedFirstLettersOfViewAndTrigger) {
  const std::string path = Copy("f2_shop");
  PatchText(path, static_cast<uint64_t>(FindInFile(path, "CREATE VIEW")), "%");
  PatchText(path, static_cast<uint64_t>(FindInFile(path, "CREATE TRIGGER")), "&");
  auto session = ScanFile(path);
  const RecoveredModel& model = session->engine().model;
  ASSERT_EQ(model.viewStatements8.size(), 1u);
  EXPECT_EQ(model.viewStatements8[0].substr(0, 12), "%REATE VIEW ");
  ASSERT_EQ(model.triggerStatements8.size(), 1u);
  EXPECT_EQ(model.triggerStatements8[0].substr(0, 15), "&REATE TRIGGER ");
  EXPECT_EQ(GroupTexts(*session, session->host.settings.viewsGroup),
            (std::vector<std::string>{" v_big_orders"}));
  EXPECT_EQ(GroupTexts(*session, session->host.settings.triggersGroup),
            (std::vector<std::string>{"trg_count"}));
}

TEST_F(Format2DamagedFixture, TruncatedFileKeepsTheRowsItStillHolds) {
  const std::string path = Copy("f2_many_rows");
  const uint64_t length = ReadBytes(path).size();
  for (uint64_t cut : {length / 2, length / 2 + 511, length - 1}) {
    Truncate(path, cut);
    auto session = ScanFile(path);
    ASSERT_EQ(session->engine().model.tableDescriptors.size(), 1u);
    const size_t found = Preview(*session, 0).size();
    EXPECT_GT(found, 0u) << cut;
    EXPECT_LE(found, 1500u) << cut;
    ExpectTables(*session, Truth("f2_many_rows"), false);
  }
}

TEST_F(Format2DamagedFixture, ZeroedOverflowPageDamagesOnlyItsRecord) {
  const std::string path = Copy("f2_overflow");
  // The first cell of the table's root page (page 3) starts a chain; zero
  // the chain's first page.
  std::vector<uint8_t> bytes = ReadBytes(path);
  const size_t cell = 2048 + (bytes[2048 + 4] | (bytes[2048 + 5] << 8));
  const size_t link = cell + 12 + 236;
  const uint32_t overflow = bytes[link] | (bytes[link + 1] << 8) | (bytes[link + 2] << 16) |
                            (static_cast<uint32_t>(bytes[link + 3]) << 24);
  ASSERT_GT(overflow, 3u);
  std::memset(bytes.data() + (overflow - 1) * 1024, 0, 1024);
  WriteBytes(path, bytes);

  auto session = ScanFile(path);
  const JsonValue truth = Truth("f2_overflow");
  const JsonValue& expected = truth["tables"][0]["rows"];
  const auto records = SaveModeRecords(*session, 0);
  ASSERT_EQ(records.size(), expected.size());
  size_t intact = 0;
  for (size_t r = 0; r < records.size(); ++r) {
    if (SavedRow(records[r]) == ExpectedSavedRow(expected[r])) ++intact;
  }
  EXPECT_EQ(intact, expected.size() - 1);
}

}  // namespace
}  // namespace korvel::testing::format2
