#include "cli/row_format.h"

#include <gtest/gtest.h>

#include <sstream>

namespace korvel::cli {
namespace {

std::string Write(RowFormat format, const std::vector<std::vector<std::string>>& rows) {
  std::ostringstream out;
  RowWriter writer(out, format, {"id", "name"});
  for (const auto& row : rows) writer.Row(row);
  writer.Finish();
  writer.Finish();  // a second call adds nothing
  return out.str();
}

const std::vector<std::vector<std::string>> kRows = {
    {"1", "plain"},
    {"2", "tab\there, \"quoted\"\nnext line \\ é"},
    {"3"},  // cut short by damage
};

TEST(RowWriter, TsvEscapesTabsLineBreaksAndBackslashes) {
  EXPECT_EQ(Write(RowFormat::Tsv, kRows),
            "id\tname\n"
            "1\tplain\n"
            "2\ttab\\there, \"quoted\"\\nnext line \\\\ é\n"
            "3\t\n");
}

TEST(RowWriter, CsvFollowsRfc4180) {
  EXPECT_EQ(Write(RowFormat::Csv, kRows),
            "id,name\r\n"
            "1,plain\r\n"
            "2,\"tab\there, \"\"quoted\"\"\nnext line \\ é\"\r\n"
            "3,\r\n");
}

TEST(RowWriter, JsonIsOneArrayOfObjectsKeyedByColumnName) {
  EXPECT_EQ(Write(RowFormat::Json, kRows),
            "[\n"
            "  {\"id\": \"1\", \"name\": \"plain\"},\n"
            "  {\"id\": \"2\", \"name\": \"tab\\there, \\\"quoted\\\"\\nnext line \\\\ é\"},\n"
            "  {\"id\": \"3\", \"name\": null}\n"
            "]\n");
  EXPECT_EQ(Write(RowFormat::Json, {}), "[]\n");
}

TEST(RowWriter, ExtraValuesGetNumberedColumns) {
  std::ostringstream out;
  RowWriter writer(out, RowFormat::Json, {"a"});
  writer.Row({"1", "2"});
  writer.Finish();
  EXPECT_EQ(out.str(), "[\n  {\"a\": \"1\", \"column 2\": \"2\"}\n]\n");
  EXPECT_EQ(writer.rows(), 1u);
}

TEST(RowWriter, JsonEscapesControlCharacters) {
  EXPECT_EQ(JsonString(std::string("a\x01\x1f\b\f\r", 6)), "\"a\\u0001\\u001f\\b\\f\\r\"");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("ab"), "ab");
  EXPECT_EQ(CsvField("a\rb"), "\"a\rb\"");
}

TEST(RowWriter, ColumnTitlesDropThePrimaryKeyMark) {
  EXPECT_EQ(ColumnTitle(u"id< P.K >"), "id");
  EXPECT_EQ(ColumnTitle(u" name "), "name");
  EXPECT_EQ(ColumnTitle(u"n\u00e9"), "n\xc3\xa9");
  EXPECT_EQ(ColumnTitle(u""), "");
}

}  // namespace
}  // namespace korvel::cli
