// The text encoding a scan reads a file in: the user's choice, the header's
// field, and, when the field names no encoding, the encoding the schema
// texts decode under; and the whole recovery of files whose field was
// overwritten.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/reader.h"
#include "format3/page_layout.h"
#include "format3/text_encoding_choice.h"
#include "output/repaired_writer.h"
#include "tests/support/format3_recovery.h"
#include "tests/support/test_database.h"
#include "tests/support/typed_rows.h"

namespace korvel {
namespace {

using format3::TextEncoding;
using testing::ReadCells;

const char* const kSchemaAndRows =
    "CREATE TABLE t(id INTEGER PRIMARY KEY, s TEXT, r REAL, b BLOB);"
    "CREATE INDEX t_s ON t(s);"
    "CREATE VIEW v AS SELECT s FROM t;"
    "BEGIN;"
    "INSERT INTO t VALUES(1, 'plain', 1.5, x'00');"
    "INSERT INTO t VALUES(2, 'h\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80', -2.25, NULL);"
    "INSERT INTO t VALUES(3, printf('%.3000c', 'z'), 0.5, randomblob(2000));"
    "INSERT INTO t VALUES(4, 'O''Brien', NULL, x'');"
    "COMMIT;";

// Enough tables that the schema spreads over an interior page 1 and its
// leaves.
std::string ManyTables() {
  std::string sql = kSchemaAndRows;
  for (int i = 0; i < 40; ++i) {
    sql += "CREATE TABLE extra_" + std::to_string(i) + "(a INTEGER, b TEXT);";
  }
  return sql;
}

// The geometry of a healthy database file for the encoding tests.
struct OpenFile {
  explicit OpenFile(const std::string& path, uint32_t pageSize) : reader(OpenReader(path)) {
    g.pageSize = pageSize;
    g.fileLength = reader->length;
    g.pageCount = reader->length / pageSize;
  }
  std::unique_ptr<Reader> reader;
  PageGeometry g;
};

struct SchemaCase {
  const char* encoding;
  TextEncoding expected;
  bool manyTables;
};

class SchemaTexts : public ::testing::TestWithParam<SchemaCase> {};

TEST_P(SchemaTexts, DecideTheEncodingOfAFileWhoseFieldNamesNone) {
  const SchemaCase& c = GetParam();
  testing::TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, c.manyTables ? ManyTables() : kSchemaAndRows, 512, c.encoding);
  testing::PatchBytes(path, 56, {0, 0, 0, 0});
  OpenFile file(path, 512);
  if (c.manyTables) {
    ASSERT_EQ(testing::ReadBytes(path)[100], 5) << "page 1 is interior";
  }
  EXPECT_EQ(format3::SchemaTextEncoding(*file.reader, file.g), c.expected);

  const format3::EncodingChoice none = format3::ChooseTextEncoding(false, false, 0, *file.reader, file.g);
  EXPECT_EQ(none.encoding, c.expected);
  EXPECT_TRUE(none.fieldRepaired);
  // A UTF-16 choice keeps the byte order the texts have; a UTF-8 choice is
  // taken as it stands.
  const format3::EncodingChoice utf16 = format3::ChooseTextEncoding(false, true, 7, *file.reader, file.g);
  EXPECT_EQ(utf16.encoding,
            c.expected == TextEncoding::Utf16be ? TextEncoding::Utf16be : TextEncoding::Utf16le);
  EXPECT_EQ(format3::ChooseTextEncoding(true, false, 7, *file.reader, file.g).encoding,
            TextEncoding::Utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, SchemaTexts,
    ::testing::Values(SchemaCase{"UTF-8", TextEncoding::Utf8, false},
                      SchemaCase{"UTF-16le", TextEncoding::Utf16le, false},
                      SchemaCase{"UTF-16be", TextEncoding::Utf16be, false},
                      SchemaCase{"UTF-8", TextEncoding::Utf8, true},
                      SchemaCase{"UTF-16le", TextEncoding::Utf16le, true},
                      SchemaCase{"UTF-16be", TextEncoding::Utf16be, true}));

TEST(TextEncodingChoice, TheChoiceAndANamedFieldComeFirst) {
  testing::TempDir dir;
  const std::string path = dir.File("a.db");
  // The texts are UTF-16le; only a field that names nothing asks them.
  testing::MakeDatabase(path, kSchemaAndRows, 1024, "UTF-16le");
  OpenFile file(path, 1024);
  struct Case {
    bool utf8, utf16;
    uint8_t field;
    TextEncoding expected;
    bool repaired;
  };
  const Case cases[] = {
      {false, false, 1, TextEncoding::Utf8, false},
      {false, false, 2, TextEncoding::Utf16le, false},
      {false, false, 3, TextEncoding::Utf16be, false},
      {false, false, 0, TextEncoding::Utf16le, true},
      {false, false, 200, TextEncoding::Utf16le, true},
      {true, false, 2, TextEncoding::Utf8, false},
      {true, false, 0, TextEncoding::Utf8, false},
      {false, true, 1, TextEncoding::Utf16le, false},
      {false, true, 3, TextEncoding::Utf16be, false},
      {true, true, 3, TextEncoding::Utf16be, false},
      {true, true, 1, TextEncoding::Utf16le, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::make_tuple(c.utf8, c.utf16, int{c.field})));
    const format3::EncodingChoice choice =
        format3::ChooseTextEncoding(c.utf8, c.utf16, c.field, *file.reader, file.g);
    EXPECT_EQ(choice.encoding, c.expected);
    EXPECT_EQ(choice.fieldRepaired, c.repaired);
  }
}

TEST(TextEncodingChoice, ADamagedSchemaPageIsReadWithinItsBytes) {
  testing::TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, ManyTables(), 512, "UTF-16le");
  const auto pristine = testing::ReadBytes(path);
  for (size_t at : {size_t{103}, size_t{105}, size_t{108}, size_t{112}, size_t{120}}) {
    for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
      std::vector<uint8_t> bytes = pristine;
      for (size_t i = at; i < at + 6; ++i) bytes[i] = value;
      testing::WriteBytes(path, bytes);
      OpenFile file(path, 512);
      format3::SchemaTextEncoding(*file.reader, file.g);  // bounded, whatever it says
    }
  }
}

// ---------------------------------------------------------------------------
// The whole recovery of a file whose field was overwritten
// ---------------------------------------------------------------------------

struct FieldCase {
  const char* encoding;
  uint8_t field;
  const char* line;
};

class OverwrittenEncodingField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(OverwrittenEncodingField, StillRecoversEveryValue) {
  const FieldCase& c = GetParam();
  testing::TempDir dir;
  const std::string original = dir.File("orig.db");
  testing::MakeDatabase(original, kSchemaAndRows, 1024, c.encoding);
  const std::string damaged = dir.File("damaged.db");
  testing::WriteBytes(damaged, testing::ReadBytes(original));
  testing::PatchBytes(damaged, 56, {0, 0, 0, c.field});

  testing::Format3Recovery recovery(damaged);
  EXPECT_EQ(recovery.outcome, ScanOutcome::CompletedWithDamage);
  const auto& lines = recovery.host.lines;
  EXPECT_NE(std::find(lines.begin(), lines.end(), Utf8ToUtf16(c.line)), lines.end());
  EXPECT_EQ(recovery.Preview(u"t").size(), 4u);
  recovery.host.messages.clear();
  ASSERT_TRUE(recovery.Save());
  EXPECT_TRUE(recovery.host.messages.empty());
  const std::string repaired = MakeRepairedPath(damaged);
  const std::string query = "SELECT * FROM t ORDER BY id";
  EXPECT_EQ(ReadCells(repaired, query), ReadCells(original, query));
  EXPECT_EQ(testing::QueryRows(repaired, "SELECT type, name FROM sqlite_master ORDER BY name"),
            (std::vector<std::vector<std::string>>{{"table", "t"}, {"index", "t_s"}, {"view", "v"}}));
}

INSTANTIATE_TEST_SUITE_P(
    FieldsAndEncodings, OverwrittenEncodingField,
    ::testing::Values(
        FieldCase{"UTF-8", 0, "The text encoding in the header is damaged; texts are read as UTF-8"},
        FieldCase{"UTF-8", 7, "The text encoding in the header is damaged; texts are read as UTF-8"},
        FieldCase{"UTF-16le", 0,
                  "The text encoding in the header is damaged; texts are read as UTF-16le"},
        FieldCase{"UTF-16le", 7,
                  "The text encoding in the header is damaged; texts are read as UTF-16le"},
        FieldCase{"UTF-16be", 0,
                  "The text encoding in the header is damaged; texts are read as UTF-16be"},
        FieldCase{"UTF-16be", 7,
                  "The text encoding in the header is damaged; texts are read as UTF-16be"}));

}  // namespace
}  // namespace korvel
