// The rows of hand-made format-2.1 tables: preview, save mode, long values
// and damaged b-trees and overflow chains.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/text_codec.h"
#include "tests/format2/format2_builder.h"
#include "tests/format2/format2_test_support.h"
#include "tests/support/test_database.h"

namespace korvel::testing::format2 {
namespace {

constexpr char kTable[] = "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT, note TEXT)";

std::vector<std::string> Texts(const std::vector<RecordValue>& values) {
  std::vector<std::string> out;
  for (const RecordValue& v : values) out.push_back(ValueText(v));
  return out;
}

bool HasLine(const std::vector<std::u16string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), Utf8ToUtf16(line)) != lines.end();
}

bool HasLineStartingWith(const std::vector<std::u16string>& lines, const std::string& start) {
  const std::u16string wide = Utf8ToUtf16(start);
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::u16string& l) { return l.rfind(wide, 0) == 0; });
}

class Format2Records : public ::testing::Test {
 protected:
  std::unique_ptr<Session> Scan() {
    file.Save(path);
    return ScanFile(path);
  }
  TempDir dir;
  std::string path = dir.File("rows.db");
  Format2File file;
};

TEST_F(Format2Records, PreviewShowsRowsInFileOrderWithKeyAndNullTexts) {
  file.AddTable("t1", kTable,
                {{1, {{}, "first", "it's"}}, {2, {{}, "second", {}}}, {3, {{}, "", "third"}}});
  auto s = Scan();
  const std::vector<RecordRow> rows = Preview(*s, 0);
  // The record list shows a text as it stands in the record's statement.
  EXPECT_EQ(rows, (std::vector<RecordRow>{{u"1", u"first", u"it''s"},
                                          {u"2", u"second", u"NULL"},
                                          {u"3", u"", u"third"}}));
  EXPECT_TRUE(HasLine(s->host.lines, "Table t1have3 entry"));
  EXPECT_EQ(s->host.progressRanges.back(), 3u);
  EXPECT_EQ(s->host.progressPositions, (std::vector<uint64_t>{1, 2, 3}));
  EXPECT_EQ(s->engine().CountTableRows(path, 3), 3u);
}

TEST_F(Format2Records, SaveModeHandsTypedValuesToTheWriterAndKeepsNoRows) {
  file.AddTable("t1", kTable,
                {{1, {{}, "O'Brien", {}}}, {70000, {{}, "big", "x"}}, {-5, {{}, {}, {}}}});
  auto s = Scan();
  const auto records = SaveModeRecords(*s, 0);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0][0].kind, RecordValue::Kind::Integer);
  EXPECT_EQ(records[0][1].kind, RecordValue::Kind::Text);
  // The last value NULL: the record ends with a NULL, not an empty text.
  EXPECT_EQ(records[0][2].kind, RecordValue::Kind::Null);
  EXPECT_EQ(Texts(records[0]), (std::vector<std::string>{"1", "O'Brien", "<null>"}));
  // The whole row number, not its low 16 bits.
  EXPECT_EQ(Texts(records[1]), (std::vector<std::string>{"70000", "big", "x"}));
  EXPECT_EQ(Texts(records[2]), (std::vector<std::string>{"-5", "<null>", "<null>"}));
  EXPECT_EQ(s->host.settings.rowsInserted, 3u);
  EXPECT_TRUE(s->host.rows.empty());
  EXPECT_FALSE(HasLineStartingWith(s->host.lines, "Table t1have"));
}

TEST_F(Format2Records, TableLevelPrimaryKeyOnAnIntegerColumnGivesTheRowNumber) {
  file.AddTable("t", "CREATE TABLE t (id INTEGER, v TEXT, PRIMARY KEY (id))",
                {{7, {{}, "seven"}}, {70001, {{}, {}}}});
  auto s = Scan();
  EXPECT_EQ(Preview(*s, 0), (std::vector<RecordRow>{{u"7", u"seven"}, {u"70001", u"NULL"}}));
  const auto records = SaveModeRecords(*s, 0);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1][0].kind, RecordValue::Kind::Integer);
  EXPECT_EQ(records[1][0].integer, 70001);
}

TEST_F(Format2Records, OneColumnTableWithANullValue) {
  file.AddTable("t", "CREATE TABLE t (a TEXT)", {{1, {{}}}});
  auto s = Scan();
  const auto records = SaveModeRecords(*s, 0);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(Texts(records[0]), (std::vector<std::string>{"<null>"}));
}

TEST_F(Format2Records, RowNumberAbove65535ShowsWhole) {
  file.AddTable("t1", kTable, {{70000, {{}, "a", "b"}}, {0x7fffffff, {{}, "c", "d"}}});
  auto s = Scan();
  EXPECT_EQ(Preview(*s, 0), (std::vector<RecordRow>{{u"70000", u"a", u"b"},
                                                    {u"2147483647", u"c", u"d"}}));
}

class Format2DataLength : public ::testing::TestWithParam<size_t> {};

TEST_P(Format2DataLength, ValueIsReadWholeFromTheCellAndItsOverflowPages) {
  TempDir dir;
  Format2File file;
  const std::string record = RecordOfLength(GetParam());
  const uint32_t root = file.NewPage();
  file.SetTreePage(root, {{0, 1, record}});
  const size_t overflowPages = file.overflowPages[0].size();
  EXPECT_EQ(overflowPages, GetParam() <= 232 ? 0u : (GetParam() - 232 + 1019) / 1020);
  file.AddMasterRecord("table", "t", "t", root, "CREATE TABLE t (a TEXT)");
  file.Save(dir.File("len.db"));
  auto s = ScanFile(dir.File("len.db"));
  const auto rows = Preview(*s, 0);
  ASSERT_EQ(rows.size(), 1u);
  const size_t width = GetParam() < 256 ? 1 : (GetParam() < 65536 ? 2 : 3);
  const std::string expected = record.substr(2 * width, GetParam() - 2 * width - 1);
  const std::string got = Utf16ToUtf8(rows[0][0]);
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
  EXPECT_FALSE(HasLineStartingWith(s->host.lines, "Table t: damaged"));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Format2DataLength,
                         ::testing::Values(20, 232, 233, 238, 239, 240, 255, 1252, 1253, 5000,
                                           70000));

// A table of three levels whose interior cells hold rows too:
//   root 3: cells 40 (left 4), 80 (left 5), right 6
//   page 4: cells 10 (left 7), 20, 30; page 7: cells 1, 2
void BuildThreeLevelTable(Format2File& file, uint32_t& root) {
  root = file.NewPage();  // 3
  const uint32_t p4 = file.NewPage(), p5 = file.NewPage(), p6 = file.NewPage(),
                 p7 = file.NewPage();
  auto row = [](int32_t n) { return EncodeRecord({{}, "r" + std::to_string(n)}); };
  file.SetTreePage(p7, {{0, 1, row(1)}, {0, 2, row(2)}});
  file.SetTreePage(p4, {{p7, 10, row(10)}, {0, 20, row(20)}, {0, 30, row(30)}});
  file.SetTreePage(p5, {{0, 50, row(50)}});
  file.SetTreePage(p6, {{0, 90, row(90)}, {0, 95, row(95)}});
  file.SetTreePage(root, {{p4, 40, row(40)}, {p5, 80, row(80)}}, p6);
  file.AddMasterRecord("table", "t", "t", root, "CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
}

std::vector<std::string> FirstColumn(const std::vector<RecordRow>& rows) {
  std::vector<std::string> out;
  for (const RecordRow& r : rows) out.push_back(Utf16ToUtf8(r.at(0)));
  return out;
}

TEST_F(Format2Records, TreeOfThreeLevelsIsReadInKeyOrder) {
  uint32_t root = 0;
  BuildThreeLevelTable(file, root);
  auto s = Scan();
  EXPECT_EQ(FirstColumn(Preview(*s, 0)),
            (std::vector<std::string>{"1", "2", "10", "20", "30", "40", "50", "80", "90", "95"}));
  EXPECT_EQ(s->engine().CountTableRows(path, root), 10u);
}

TEST_F(Format2Records, StopEndsThePreviewAfterTheCurrentRow) {
  uint32_t root = 0;
  BuildThreeLevelTable(file, root);
  auto s = Scan();
  s->host.stopAfterRows = 3;
  EXPECT_EQ(Preview(*s, 0).size(), 3u);
  EXPECT_EQ(s->host.progressPositions.back(), 10u);
}

TEST(Format2ByteOrder, FileWrittenOnABigEndianMachineReadsTheSame) {
  TempDir dir;
  for (bool bigEndian : {false, true}) {
    Format2File file(bigEndian);
    uint32_t root = 0;
    BuildThreeLevelTable(file, root);
    const uint32_t second = file.NewPage();
    file.SetTreePage(second, {{0, 1, EncodeRecord({{}, std::string(3000, 'q')})}});
    file.AddMasterRecord("table", "long", "long", second,
                         "CREATE TABLE long (id INTEGER PRIMARY KEY, v TEXT)");
    const std::string path = dir.File(bigEndian ? "be.db" : "le.db");
    file.Save(path);
    auto s = ScanFile(path);
    ASSERT_EQ(s->engine().model.tableDescriptors.size(), 2u) << bigEndian;
    EXPECT_EQ(FirstColumn(Preview(*s, 0)),
              (std::vector<std::string>{"1", "2", "10", "20", "30", "40", "50", "80", "90", "95"}));
    const auto rows = Preview(*s, 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1].size(), 3000u);
    EXPECT_EQ(s->engine().model.pageTable2[root - 1].firstCell, 8);
  }
}

TEST_F(Format2Records, ChildrenPointingBackOrOutsideTheFileAreSkippedOnce) {
  const uint32_t root = file.NewPage();  // 3
  const uint32_t child = file.NewPage();  // 4
  auto row = [](int32_t n) { return EncodeRecord({{}, "r" + std::to_string(n)}); };
  // The child's cells point back at the root, at the child itself and
  // beyond the end of the file; the root's right child is page 1.
  file.SetTreePage(child, {{root, 1, row(1)}, {child, 2, row(2)}, {5000, 3, row(3)}}, root);
  file.SetTreePage(root, {{child, 10, row(10)}, {0xffffffff, 11, row(11)}}, 1);
  file.AddMasterRecord("table", "t", "t", root, "CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
  auto s = Scan();
  EXPECT_EQ(FirstColumn(Preview(*s, 0)), (std::vector<std::string>{"1", "2", "3", "10", "11"}));
  EXPECT_TRUE(HasLineStartingWith(s->host.lines, "Table t: damaged"));
  EXPECT_EQ(s->engine().CountTableRows(path, root), 5u);
}

TEST_F(Format2Records, RootPagesOutsideTheFileGiveNoRows) {
  file.AddTable("t", "CREATE TABLE t (a TEXT)", {{1, {"x"}}});
  auto s = Scan();
  for (int64_t root : std::vector<int64_t>{0, 1, -3, 4, 99999, int64_t{1} << 40}) {
    s->host.rows.clear();
    s->engine().engineProgressCounter = 0;
    s->engine().LoadTableRecords(path, root, 1, u"t", 0);
    EXPECT_TRUE(s->host.rows.empty()) << root;
    EXPECT_EQ(s->engine().CountTableRows(path, root), 0u) << root;
  }
}

// One row with a value on a chain of three overflow pages, damaged in
// different ways; the record ends where its chain stops being readable.
class Format2BrokenChain : public Format2Records {
 protected:
  void SetUp() override {
    root = file.NewPage();
    value = std::string(3000, 'v');
    file.SetTreePage(root, {{0, 1, EncodeRecord({{}, value, "after"})}});
    chain = file.overflowPages[0];
    ASSERT_EQ(chain.size(), 3u);
    file.AddMasterRecord("table", "t", "t", root,
                         "CREATE TABLE t (id INTEGER PRIMARY KEY, big TEXT, tail TEXT)");
  }
  void SetNext(uint32_t page, uint32_t next) {
    uint8_t* p = file.Page(page);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(next >> (8 * i));
  }
  std::vector<RecordRow> Rows() {
    auto s = Scan();
    auto rows = Preview(*s, 0);
    damageReported = HasLineStartingWith(s->host.lines, "Table t: damaged");
    // The same record in save mode ends at the same place.
    const auto records = SaveModeRecords(*s, 0);
    EXPECT_EQ(records.size(), rows.size());
    return rows;
  }
  uint32_t root = 0;
  std::string value;
  std::vector<uint32_t> chain;
  bool damageReported = false;
};

TEST_F(Format2BrokenChain, IntactChainGivesTheWholeRow) {
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(Utf16ToUtf8(rows[0][1]) == value);
  EXPECT_EQ(rows[0][2], u"after");
  EXPECT_FALSE(damageReported);
}

TEST_F(Format2BrokenChain, ChainLoopingBackEndsTheRecord) {
  SetNext(chain[1], chain[0]);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], u"1");
  EXPECT_LT(rows[0][1].size(), value.size());
  EXPECT_EQ(rows[0][2], u"");  // not read
  EXPECT_TRUE(damageReported);
}

TEST_F(Format2BrokenChain, ChainLeavingTheFileEndsTheRecord) {
  for (uint32_t next : {1u, 5000u, 0xffffffffu, 0u}) {
    SetNext(chain[0], next);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u) << next;
    EXPECT_EQ(rows[0][1].size(), 232u - 8 + 1020) << next;
    EXPECT_TRUE(damageReported) << next;
  }
  // The cell's own link to the chain.
  for (uint32_t next : {1u, 5000u, 0u}) {
    uint8_t* link = file.Page(root) + 8 + 12 + 236;
    for (int i = 0; i < 4; ++i) link[i] = static_cast<uint8_t>(next >> (8 * i));
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u) << next;
    EXPECT_EQ(rows[0][1].size(), 232u - 8) << next;
    EXPECT_TRUE(damageReported) << next;
  }
}

TEST_F(Format2BrokenChain, ZeroedOverflowPageEndsTheValueThere) {
  std::fill(file.Page(chain[1]), file.Page(chain[1]) + 1024, 0);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  // The cell (232 record bytes after an 8-byte header) and the first
  // overflow page still give their part of the value.
  EXPECT_EQ(rows[0][1].size(), 232u - 8 + 1020);
  EXPECT_TRUE(damageReported);
}

TEST_F(Format2BrokenChain, FileCutInsideTheChainKeepsWhatIsThere) {
  file.Save(path);
  Truncate(path, (chain[1] - 1) * 1024 + 500);
  auto s = ScanFile(path);
  const auto rows = Preview(*s, 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1].size(), 232u - 8 + 1020);
}

TEST_F(Format2Records, RecordLongerThanItsCellIsCutAtThePageEnd) {
  const uint32_t root = file.NewPage();
  file.SetTreePage(root, {{0, 1, EncodeRecord({{}, "abc", "def"})}});
  // The cell now claims 200 record bytes, which its page does not hold past
  // the record's real end; the offsets still give both values.
  file.Page(root)[8 + 10] = 200;
  file.AddMasterRecord("table", "t", "t", root, "CREATE TABLE t (id INTEGER PRIMARY KEY, a TEXT, b TEXT)");
  auto s = Scan();
  auto rows = Preview(*s, 0);
  ASSERT_EQ(rows.size(), 1u);
  // Claimed length 200 with a 1-byte header: offsets 4, 4, 8, 12 still hold.
  EXPECT_EQ(rows[0], (RecordRow{u"1", u"abc", u"def"}));

  // A cell at the end of the page claiming more than the page holds.
  uint8_t* page = file.Page(root);
  page[4] = 0xe0;  // first cell at 992
  page[5] = 0x03;
  uint8_t* cell = page + 992;
  std::fill(cell, page + 1024, 0);
  cell[10] = 200;  // data length 200, of which 16 bytes lie in the page
  cell[11] = 0;
  const std::string record = EncodeRecord({{}, "xy", "zw"});
  std::copy(record.begin(), record.end(), cell + 16);
  auto t = Scan();
  rows = Preview(*t, 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], u"xy");
  EXPECT_EQ(rows[0][2], u"zw");
  EXPECT_TRUE(HasLineStartingWith(t->host.lines, "Table t: damaged"));
}

TEST_F(Format2Records, CellChainRunningIntoZerosGivesNoEmptyRows) {
  const uint32_t root = file.NewPage();
  file.SetTreePage(root, {{0, 1, EncodeRecord({{}, "real"})}});
  // The only cell's next offset points into the zero-filled rest of the page.
  file.Page(root)[8 + 6] = 0x84;
  file.Page(root)[8 + 7] = 0x03;
  file.AddMasterRecord("table", "t", "t", root, "CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
  auto s = Scan();
  EXPECT_EQ(Preview(*s, 0), (std::vector<RecordRow>{{u"1", u"real"}}));
  EXPECT_EQ(s->engine().CountTableRows(path, root), 1u);
  EXPECT_EQ(SaveModeRecords(*s, 0).size(), 1u);
}

TEST_F(Format2Records, RecordHeaderWithFewerFieldsGivesAShortRecord) {
  const uint32_t root = file.NewPage();
  file.SetTreePage(root, {{0, 1, EncodeRecord({{}, "only"})}, {0, 2, EncodeRecord({{}, "a", "b"})}});
  file.AddMasterRecord("table", "t", "t", root, "CREATE TABLE t (id INTEGER PRIMARY KEY, a TEXT, b TEXT)");
  auto s = Scan();
  const auto records = SaveModeRecords(*s, 0);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(Texts(records[0]), (std::vector<std::string>{"1", "only"}));
  EXPECT_EQ(Texts(records[1]), (std::vector<std::string>{"2", "a", "b"}));
}

}  // namespace
}  // namespace korvel::testing::format2
