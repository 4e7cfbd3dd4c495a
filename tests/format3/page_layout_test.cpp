#include "format3/page_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/reader.h"
#include "tests/support/test_database.h"

namespace korvel {
namespace {

using testing::TempDir;

// A reader over bytes held in the test, with a length of its own.
class MemoryReader : public Reader {
 public:
  explicit MemoryReader(std::vector<uint8_t> bytes) : data(std::move(bytes)) {
    length = data.size();
  }
  size_t ReadAt(uint64_t offset, void* destination, size_t count) override {
    if (offset >= data.size()) return 0;
    const size_t n = std::min<uint64_t>(count, data.size() - offset);
    std::memcpy(destination, data.data() + offset, n);
    return n;
  }
  const uint8_t* Bytes() const override { return data.data(); }
  std::vector<uint8_t> data;
};

// The same bytes without the in-memory shortcut, as the disk reader serves them.
class SlowReader : public MemoryReader {
 public:
  using MemoryReader::MemoryReader;
  const uint8_t* Bytes() const override { return nullptr; }
};

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

PageGeometry Geometry(uint64_t header, uint32_t pageSize, uint64_t pages, uint64_t length) {
  PageGeometry g;
  g.headerPosition = header;
  g.pageSize = pageSize;
  g.pageCount = pages;
  g.fileLength = length;
  return g;
}

TEST(PageGeometry, OffsetsCountFromTheHeaderPosition) {
  const PageGeometry g = Geometry(4096, 1024, 3, 4096 + 3 * 1024);
  EXPECT_EQ(PageOffset(g, 1), 4096u);
  EXPECT_EQ(PageOffset(g, 3), 4096u + 2048u);
  EXPECT_EQ(PageHeaderOffset(g, 1), 4196u);
  EXPECT_EQ(PageHeaderOffset(g, 2), 5120u);
  EXPECT_TRUE(PageInRange(g, 3));
  EXPECT_FALSE(PageInRange(g, 0));
  EXPECT_FALSE(PageInRange(g, 4));
}

TEST(PageGeometry, PageCountNeverExceedsTheWholePagesOfTheFile) {
  MemoryReader reader(std::vector<uint8_t>(4096 + 2 * 1024 + 7));
  ScanSettings s;
  s.reader = &reader;
  s.startOffset = 4096;
  s.pageSize = 1024;
  s.pageCount = 99;
  const PageGeometry g = GeometryOf(s);
  EXPECT_EQ(g.headerPosition, 4096u);
  EXPECT_EQ(g.pageSize, 1024u);
  EXPECT_EQ(g.pageCount, 2u);
  EXPECT_EQ(g.fileLength, reader.length);

  s.pageSize = 65536;  // stored as 1 in the header; the full value is used
  s.pageCount = 0;
  EXPECT_EQ(GeometryOf(s).pageSize, 65536u);
  EXPECT_EQ(GeometryOf(s).pageCount, 0u);
}

TEST(PageHeaderRead, DecodesBigEndianFieldsAndPageOneAfterTheDatabaseHeader) {
  std::vector<uint8_t> bytes(2 * 512, 0);
  const uint8_t page1[12] = {5, 0x01, 0x02, 0x00, 0x03, 0x01, 0xF0, 7, 0, 0, 0, 2};
  std::memcpy(bytes.data() + 100, page1, 12);
  bytes[512] = 13;
  MemoryReader reader(bytes);
  const PageGeometry g = Geometry(0, 512, 2, bytes.size());
  PageHeader h;
  ASSERT_TRUE(ReadPageHeader(reader, g, 1, h));
  EXPECT_EQ(h.pageType, 5);
  EXPECT_EQ(h.firstFreeblock, 0x0102);
  EXPECT_EQ(h.cellCount, 3);
  EXPECT_EQ(h.cellContentStart, 0x01F0);
  EXPECT_EQ(h.fragmentedBytes, 7);
  EXPECT_EQ(h.rightMostChild, 2u);
  ASSERT_TRUE(ReadPageHeader(reader, g, 2, h));
  EXPECT_EQ(h.pageType, 13);
  EXPECT_FALSE(ReadPageHeader(reader, g, 3, h));
  EXPECT_FALSE(ReadPageHeader(reader, g, 0, h));
}

TEST(LeafCellPointers, ReadFromBothReadersAndNeverPastThePage) {
  std::vector<uint8_t> bytes(2 * 512, 0);
  // page 2: three cells
  bytes[512] = 13;
  Put16(bytes, 512 + 3, 3);
  Put16(bytes, 512 + 8, 500);
  Put16(bytes, 512 + 10, 400);
  Put16(bytes, 512 + 12, 300);
  // page 1: pointers at 108
  Put16(bytes, 108, 450);
  for (int slow = 0; slow < 2; ++slow) {
    std::unique_ptr<MemoryReader> reader =
        slow ? std::make_unique<SlowReader>(bytes) : std::make_unique<MemoryReader>(bytes);
    const PageGeometry g = Geometry(0, 512, 2, bytes.size());
    PageHeader h;
    h.cellCount = 3;
    EXPECT_EQ(ReadLeafCellPointers(*reader, g, 2, h), (std::vector<uint16_t>{500, 400, 300}));
    h.cellCount = 1;
    EXPECT_EQ(ReadLeafCellPointers(*reader, g, 1, h), (std::vector<uint16_t>{450}));
    // A cell count far beyond the page's room: only the pointers inside the page.
    h.cellCount = 0xFFFF;
    EXPECT_EQ(ReadLeafCellPointers(*reader, g, 2, h).size(), (512u - 8u) / 2u);
    EXPECT_EQ(ReadLeafCellPointers(*reader, g, 1, h).size(), (512u - 108u) / 2u);
  }
}

TEST(LeafCellPointers, StopAtTheEndOfATruncatedFile) {
  std::vector<uint8_t> bytes(512 + 20, 0);
  MemoryReader reader(bytes);
  const PageGeometry g = Geometry(0, 512, 2, bytes.size());
  PageHeader h;
  h.cellCount = 100;
  EXPECT_EQ(ReadLeafCellPointers(reader, g, 2, h).size(), 6u);
}

struct FreeblockCase {
  const char* name;
  std::vector<std::pair<uint16_t, uint16_t>> links;  // offset -> next
  uint16_t first;
  uint16_t cellCount;
  std::vector<uint16_t> expected;
};

class FreeblockList : public ::testing::TestWithParam<FreeblockCase> {};

TEST_P(FreeblockList, FollowsTheChainWithinItsRoom) {
  const FreeblockCase& c = GetParam();
  std::vector<uint8_t> bytes(2 * 512, 0);
  for (const auto& [at, next] : c.links) Put16(bytes, 512 + at, next);
  MemoryReader reader(bytes);
  const PageGeometry g = Geometry(0, 512, 2, bytes.size());
  PageHeader h;
  h.firstFreeblock = c.first;
  h.cellCount = c.cellCount;
  EXPECT_EQ(ReadFreeblockList(reader, g, 2, h), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Chains, FreeblockList,
    ::testing::Values(
        FreeblockCase{"none", {}, 0, 3, {0}},
        FreeblockCase{"two", {{100, 200}, {200, 0}}, 100, 3, {100, 200, 0}},
        FreeblockCase{"loop", {{100, 200}, {200, 100}}, 100, 9, {100, 200}},
        FreeblockCase{"selfLoop", {{100, 100}}, 100, 9, {100}},
        FreeblockCase{"noRoom", {{100, 200}, {200, 300}, {300, 0}}, 100, 1, {100, 200}},
        FreeblockCase{"pastThePage", {{100, 510}}, 100, 9, {100, 510}},
        FreeblockCase{"beyondThePage", {{100, 2000}}, 100, 9, {100}},
        FreeblockCase{"zeroCells", {{100, 0}}, 100, 0, {100}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FreeblockList, ALongChainThatLoopsBackEndsAtTheLoop) {
  // 100 blocks, 8 bytes apart, the last pointing back to the tenth.
  std::vector<uint8_t> bytes(2 * 4096, 0);
  for (uint16_t i = 0; i < 100; ++i) {
    const uint16_t at = static_cast<uint16_t>(100 + 8 * i);
    Put16(bytes, 4096 + at, i == 99 ? uint16_t{100 + 8 * 9} : static_cast<uint16_t>(at + 8));
  }
  MemoryReader reader(bytes);
  const PageGeometry g = Geometry(0, 4096, 2, bytes.size());
  PageHeader h;
  h.firstFreeblock = 100;
  h.cellCount = 500;
  const auto list = ReadFreeblockList(reader, g, 2, h);
  ASSERT_EQ(list.size(), 100u);
  EXPECT_EQ(list.front(), 100);
  EXPECT_EQ(list.back(), 100 + 8 * 99);
}

struct ExtentCase {
  const char* name;
  std::vector<uint16_t> cells;
  std::vector<uint16_t> freeblocks;
  std::vector<uint32_t> expected;
};

// The rule as stated, cell by cell over every other cell: the reference the
// fast computation must agree with.
std::vector<uint32_t> ReferenceExtents(const std::vector<uint16_t>& cells,
                                       const std::vector<uint16_t>& blocks) {
  size_t blockCount = 0;
  while (blockCount < blocks.size() && blocks[blockCount] != 0) ++blockCount;
  std::vector<uint32_t> out(cells.size(), 0);
  for (size_t i = 0; i < cells.size(); ++i) {
    const int c = cells[i];
    int best = 0;
    for (size_t j = 0; j < cells.size(); ++j) {
      if (j == i) continue;
      const int e = cells[j];
      int candidate = e - c;
      for (size_t k = 0; k < blockCount; ++k) {
        if (blocks[k] > c && blocks[k] < e) candidate = blocks[k] - c;
      }
      if (candidate > 0 && (best == 0 || candidate < best)) best = candidate;
    }
    if (best == 0 && blockCount > 0 && blocks[0] > c) best = blocks[0] - c;
    out[i] = static_cast<uint32_t>(best);
  }
  return out;
}

class CellExtents : public ::testing::TestWithParam<ExtentCase> {};

TEST_P(CellExtents, MatchTheRule) {
  const ExtentCase& c = GetParam();
  EXPECT_EQ(ComputeCellExtents(c.cells, c.freeblocks), c.expected);
  EXPECT_EQ(ReferenceExtents(c.cells, c.freeblocks), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CellExtents,
    ::testing::Values(
        ExtentCase{"empty", {}, {0}, {}},
        ExtentCase{"oneCellReachesTheEnd", {400}, {0}, {0}},
        ExtentCase{"descending", {450, 400, 300}, {0}, {0, 50, 100}},
        ExtentCase{"freeBlockBetween", {450, 300}, {350, 0}, {0, 50}},
        ExtentCase{"lastListedFreeBlockWins", {450, 300}, {320, 360, 0}, {0, 60}},
        ExtentCase{"unorderedListLastListedWins", {450, 300}, {360, 320, 0}, {0, 20}},
        ExtentCase{"firstFreeBlockAboveTheLastCell", {300, 200}, {400, 0}, {100, 100}},
        ExtentCase{"firstFreeBlockBelowTheLastCell", {300, 100}, {150, 400, 0}, {0, 50}},
        ExtentCase{"duplicateOffsets", {300, 300, 200}, {0}, {0, 0, 100}},
        ExtentCase{"truncatedChainWithoutZero", {300, 200}, {250, 400}, {0, 50}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CellExtents, AgreeWithTheRuleOnAFullPage) {
  std::vector<uint16_t> cells;
  std::vector<uint16_t> blocks;
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % 4000 + 8;
  };
  for (int i = 0; i < 300; ++i) cells.push_back(static_cast<uint16_t>(next()));
  for (int i = 0; i < 20; ++i) blocks.push_back(static_cast<uint16_t>(next()));
  blocks.push_back(0);
  EXPECT_EQ(ComputeCellExtents(cells, blocks), ReferenceExtents(cells, blocks));
}

TEST(CellLimit, ZeroExtentReachesTheEndOfThePage) {
  EXPECT_EQ(CellLimit(1024, 1000, 0), 1024u);
  EXPECT_EQ(CellLimit(1024, 100, 50), 150u);
  EXPECT_EQ(CellLimit(1024, 1000, 500), 1024u);
  EXPECT_EQ(CellLimit(65536, 65000, 0), 65536u);
}

struct VarintCase {
  const char* name;
  std::vector<uint8_t> bytes;
  uint64_t limit;
  bool ok;
  uint64_t value;
  uint32_t length;
};

class Varints : public ::testing::TestWithParam<VarintCase> {};

TEST_P(Varints, ReadWithinTheLimit) {
  const VarintCase& c = GetParam();
  MemoryReader reader(c.bytes);
  uint64_t value = 0;
  uint32_t length = 0;
  EXPECT_EQ(ReadVarint(reader, 0, c.limit, value, length), c.ok);
  if (c.ok) {
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(length, c.length);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Varints,
    ::testing::Values(VarintCase{"oneByte", {0x05}, 10, true, 5, 1},
                      VarintCase{"twoBytes", {0x81, 0x00}, 10, true, 128, 2},
                      VarintCase{"nineBytes", std::vector<uint8_t>(9, 0xFF), 10, true,
                                 UINT64_MAX, 9},
                      VarintCase{"cutByTheLimit", {0x81, 0x00}, 1, false, 0, 0},
                      VarintCase{"cutByTheFile", {0x81}, 10, false, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageLayout, ReadsARealLeafPage) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path,
                        "CREATE TABLE t(a);"
                        "INSERT INTO t VALUES('one'),('two'),('three');"
                        "DELETE FROM t WHERE a='two';",
                        1024);
  auto reader = OpenReader(path);
  ASSERT_TRUE(reader);
  const PageGeometry g = Geometry(0, 1024, reader->length / 1024, reader->length);
  PageHeader h;
  ASSERT_TRUE(ReadPageHeader(*reader, g, 2, h));
  EXPECT_EQ(h.pageType, 13);
  EXPECT_EQ(h.cellCount, 2);
  const auto cells = ReadLeafCellPointers(*reader, g, 2, h);
  ASSERT_EQ(cells.size(), 2u);
  const auto blocks = ReadFreeblockList(*reader, g, 2, h);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_NE(blocks[0], 0);
  EXPECT_EQ(blocks[1], 0);
  const auto extents = ComputeCellExtents(cells, blocks);
  // Cells are stored from the end of the page down: the first cell ends the page.
  EXPECT_EQ(extents[0], 0u);
  EXPECT_EQ(extents[1], static_cast<uint32_t>(blocks[0] - cells[1]));
}

}  // namespace
}  // namespace korvel
