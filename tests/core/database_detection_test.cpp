#include "core/database_detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/reader.h"
#include "core/rebuilt_header.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_database.h"

namespace korvel {
namespace {

using testing::TempDir;
using testing::U8;

TEST(Detection, Format3AtPositionZero) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, "CREATE TABLE t(a);", 1024);
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_EQ(r.version, 2);
  EXPECT_EQ(r.startOffset, 1u);
  EXPECT_EQ(r.pageSize, 1024u);
  EXPECT_TRUE(r.utf8Chosen);
  EXPECT_FALSE(r.utf16Chosen);
  EXPECT_EQ(r.pageCount, r.fileLength / 1024);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_FALSE(r.headerRebuilt);
  EXPECT_TRUE(r.notice.empty());
}

TEST(Detection, Format3BehindAPrefixReadsTheHeaderThere) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, "CREATE TABLE t(a);", 2048, "UTF-16le");
  testing::Prepend(path, std::vector<uint8_t>(4096, 0x5A));
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_EQ(r.version, 2);
  EXPECT_EQ(r.startOffset, 4097u);
  EXPECT_EQ(r.pageSize, 2048u);
  EXPECT_FALSE(r.utf8Chosen);
  EXPECT_TRUE(r.utf16Chosen);
}

TEST(Detection, MagicIsMatchedWithoutRegardToCase) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, "CREATE TABLE t(a);", 1024);
  testing::PatchText(path, 0, "sqlite FORMAT 3");
  testing::Prepend(path, {'x', 'y', 'z'});
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_EQ(r.version, 2);
  EXPECT_EQ(r.startOffset, 4u);
}

TEST(Detection, PageSizeFieldOneMeans65536) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, "CREATE TABLE t(a);", 65536);
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_EQ(r.version, 2);
  EXPECT_EQ(r.pageSize, 65536u);
  EXPECT_EQ(r.pageCount, r.fileLength / 65536);
}

TEST(Detection, EncodingByteThreeChoosesNeither) {
  TempDir dir;
  const std::string path = dir.File("a.db");
  testing::MakeDatabase(path, "CREATE TABLE t(a);", 1024);
  testing::PatchBytes(path, 59, {3});
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_EQ(r.version, 2);
  EXPECT_FALSE(r.utf8Chosen);
  EXPECT_FALSE(r.utf16Chosen);
}

TEST(Detection, Format2FileIsVersionOneWithPageSize1024) {
  const std::string path = testing::FixturePath("format2/f2_shop.db");
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_EQ(r.version, 1);
  EXPECT_EQ(r.startOffset, 1u);
  EXPECT_EQ(r.pageSize, 1024u);
  EXPECT_TRUE(r.utf8Chosen);
  EXPECT_EQ(r.pageCount, r.fileLength / 1024);
}

TEST(Detection, Format2BehindAPrefix) {
  const DetectionResult r = DetectDatabaseFile(testing::FixturePath("format2/f2_prefixed.bin"));
  EXPECT_EQ(r.version, 1);
  EXPECT_EQ(r.startOffset, 1001u);
}

struct FailureCase {
  const char* name;
  size_t size;
  std::vector<std::string> messages;
};

class DetectionFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DetectionFailure, ReportsItsMessages) {
  TempDir dir;
  const std::string path = dir.File("junk.bin");
  testing::WriteBytes(path, std::vector<uint8_t>(GetParam().size, 'q'));
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_EQ(r.version, 0);
  EXPECT_EQ(r.pageSize, 0u);
  EXPECT_EQ(U8(r.messages), GetParam().messages);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DetectionFailure,
    ::testing::Values(
        FailureCase{"tiny", 100,
                    {"File Format not supported, please select file again",
                     "Version cannot be detected.Please select the version to continue"}},
        FailureCase{"exactly512", 512,
                    {"File Format not supported, please select file again",
                     "Version cannot be detected.Please select the version to continue"}},
        FailureCase{"600", 600,
                    {"File Format not supported, please select file again",
                     "Version cannot be detected.Please select the version to continue"}},
        FailureCase{"exactly1024", 1024,
                    {"The Database content is not in its appropriate form",
                     "Version cannot be detected.Please select the version to continue"}},
        FailureCase{"large", 100000,
                    {"The Database content is not in its appropriate form",
                     "Version cannot be detected.Please select the version to continue"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Detection, MissingFileIsReportedAsUsedByAnotherProcess) {
  TempDir dir;
  const DetectionResult r = DetectDatabaseFile(dir.File("missing.db"));
  EXPECT_FALSE(r.readerOpened);
  EXPECT_EQ(U8(r.messages),
            std::vector<std::string>{"The database file is used by other process."});
}

TEST(FindHeaderPosition, FindsEveryPositionOfABlockBoundaryOnTheDiskReader) {
  TempDir dir;
  const std::string path = dir.File("big.bin");
  // Place the magic across the 4 MiB block boundary of the chunked search.
  const uint64_t size = (4u << 20) + 4096;
  for (uint64_t at : std::vector<uint64_t>{0, (4u << 20) - 7, (4u << 20) + 10, size - 15}) {
    std::vector<uint8_t> bytes(size, '3');
    std::copy(kFormat3Magic, kFormat3Magic + 15, bytes.begin() + static_cast<std::ptrdiff_t>(at));
    testing::WriteBytes(path, bytes);
    Reader_Disk disk;
    ASSERT_TRUE(disk.Open(path, 0));
    EXPECT_EQ(FindHeaderPosition(disk, {kFormat3Magic, 15}, 0, size), at);
    Reader_Buffer buffer;
    ASSERT_TRUE(buffer.Open(path, 0));
    EXPECT_EQ(FindHeaderPosition(buffer, {kFormat3Magic, 15}, 0, size), at);
    // A match after the last allowed start is not taken.
    if (at > 0) {
      EXPECT_EQ(FindHeaderPosition(disk, {kFormat3Magic, 15}, 0, at - 1), kNotFound);
    }
  }
}

// ---- a wiped header: page size and encoding from the pages ----

const char* const kShop =
    "CREATE TABLE customers(id INTEGER PRIMARY KEY, name TEXT, city TEXT);"
    "CREATE TABLE orders(id INTEGER PRIMARY KEY, customer INTEGER, note TEXT);"
    "CREATE INDEX orders_customer ON orders(customer);"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)"
    " INSERT INTO customers SELECT i, 'name ' || i, 'city ' || (i % 7) FROM n;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)"
    " INSERT INTO orders SELECT i, i % 300, printf('%.*c', i % 50, 'n') FROM n;";

struct WipedCase {
  const char* name;
  int pageSize;
  const char* encoding;
  uint8_t encodingByte;
  std::string extraSql;
};

class WipedHeader : public ::testing::TestWithParam<WipedCase> {};

TEST_P(WipedHeader, IsOfferedWithThePageSizeAndEncodingOfItsPages) {
  const WipedCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.File("wiped.db");
  testing::MakeDatabase(path, kShop + c.extraSql, c.pageSize, c.encoding);
  testing::PatchBytes(path, 0, std::vector<uint8_t>(100, 0));
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_TRUE(r.messages.empty()) << U8(r.messages)[0];
  EXPECT_EQ(r.version, 2);
  EXPECT_EQ(r.startOffset, 1u);
  EXPECT_TRUE(r.headerRebuilt);
  EXPECT_EQ(r.pageSize, static_cast<uint64_t>(c.pageSize));
  EXPECT_EQ(r.pageCount, r.fileLength / c.pageSize);
  EXPECT_EQ(r.encodingByte, c.encodingByte);
  EXPECT_EQ(r.utf8Chosen, c.encodingByte == 1);
  EXPECT_EQ(r.utf16Chosen, c.encodingByte == 2);
  EXPECT_EQ(U8(r.notice),
            "No database header was found; the header was rebuilt from the pages (page size " +
                std::to_string(c.pageSize) + ", " + c.encoding + ").");

  ScanSettings settings;
  ApplyDetection(r, settings);
  EXPECT_TRUE(settings.headerRebuilt);
  EXPECT_EQ(settings.rebuiltTextEncoding, c.encodingByte);
  EXPECT_EQ(settings.pageSize, r.pageSize);
  EXPECT_EQ(settings.startOffset, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WipedHeader,
    ::testing::Values(
        WipedCase{"utf8_512", 512, "UTF-8", 1, ""},
        WipedCase{"utf8_1024", 1024, "UTF-8", 1, ""},
        WipedCase{"utf8_4096", 4096, "UTF-8", 1, ""},
        WipedCase{"utf8_65536", 65536, "UTF-8", 1, ""},
        WipedCase{"utf16le_4096", 4096, "UTF-16le", 2, ""},
        WipedCase{"utf16le_1024", 1024, "UTF-16le", 2, ""},
        WipedCase{"utf16be_2048", 2048, "UTF-16be", 3, ""},
        // Most pages are overflow pages of large values, or freelist pages.
        WipedCase{"mostly_overflow", 1024, "UTF-8", 1,
                  "CREATE TABLE big(b);"
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20)"
                  " INSERT INTO big SELECT randomblob(20000) FROM n;"},
        WipedCase{"mostly_freelist", 4096, "UTF-8", 1,
                  "CREATE TABLE gone(b);"
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400)"
                  " INSERT INTO gone SELECT randomblob(3000) FROM n;"
                  "DELETE FROM gone;"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WipedHeaderDetection, PageOneIsReallyInteriorInTheLargeSchemaCase) {
  TempDir dir;
  const std::string path = dir.File("wide.db");
  std::string sql;
  for (int i = 0; i < 40; ++i) {
    sql += "CREATE TABLE table_with_a_long_name_" + std::to_string(i) +
           "(first_column_of_it INTEGER, second_column_of_it TEXT);";
  }
  testing::MakeDatabase(path, sql, 1024);
  ASSERT_EQ(testing::ReadBytes(path)[100], 5);  // an interior table page
  testing::PatchBytes(path, 0, std::vector<uint8_t>(100, 0));
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_TRUE(r.headerRebuilt);
  EXPECT_EQ(r.pageSize, 1024u);
  EXPECT_EQ(r.encodingByte, 1);
}

// Tables dropped from the top of page 1 leave its live cells in the first
// half of the page: only the free block that reaches to the page's end tells
// that the page is not 2048 bytes long.
TEST(WipedHeaderDetection, PageOneWithItsCellsLowInThePageKeepsItsSize) {
  TempDir dir;
  const std::string path = dir.File("dropped.db");
  std::string sql;
  for (int i = 0; i < 30; ++i) {
    sql += "CREATE TABLE t" + std::to_string(i) +
           "(column_number_0, column_number_1, column_number_2, column_number_3);";
  }
  for (int i = 0; i < 25; ++i) sql += "DROP TABLE t" + std::to_string(i) + ";";
  for (int i = 25; i < 30; ++i) sql += "INSERT INTO t" + std::to_string(i) + " VALUES (1, 2, 3, 4);";
  testing::MakeDatabase(path, sql, 4096);
  const std::vector<uint8_t> bytes = testing::ReadBytes(path);
  const size_t cells = (bytes[103] << 8) | bytes[104];
  ASSERT_EQ(cells, 5u);
  for (size_t i = 0; i < cells; ++i) {
    ASSERT_LT((bytes[108 + 2 * i] << 8) | bytes[109 + 2 * i], 2048 - 200);
  }
  testing::PatchBytes(path, 0, std::vector<uint8_t>(100, 0));
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_TRUE(r.headerRebuilt);
  EXPECT_EQ(r.pageSize, 4096u);
}

TEST(WipedHeaderDetection, AFileThatDoesNotEndOnAPageIsStillOffered) {
  TempDir dir;
  const std::string path = dir.File("cut.db");
  testing::MakeDatabase(path, kShop, 4096);
  testing::PatchBytes(path, 0, std::vector<uint8_t>(100, 0));
  testing::AppendBytes(path, std::vector<uint8_t>(300, 0xAB));
  const DetectionResult r = DetectDatabaseFile(path);
  EXPECT_TRUE(r.headerRebuilt);
  EXPECT_EQ(r.pageSize, 4096u);
}

// Files that are no database stay refused with the messages of a file
// without any header.
TEST(WipedHeaderDetection, NothingThatIsNoDatabaseIsOffered) {
  TempDir dir;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
  files.emplace_back("zeros_8k", std::vector<uint8_t>(8192, 0));
  files.emplace_back("zeros_1m", std::vector<uint8_t>(1 << 20, 0));
  files.emplace_back("ones", std::vector<uint8_t>(65536 * 3, 0xFF));
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(seed >> 16);
  };
  for (size_t size : {size_t{4096}, size_t{100000}, size_t{3} << 20}) {
    std::vector<uint8_t> random(size);
    for (uint8_t& b : random) b = next();
    files.emplace_back("random_" + std::to_string(size), random);
  }
  std::string text;
  while (text.size() < 50000) text += "CREATE TABLE t(a, b);\r\nINSERT INTO t VALUES (1, 2);\r\n";
  files.emplace_back("text", std::vector<uint8_t>(text.begin(), text.end()));
  // A JPEG: start of image, a JFIF segment, then entropy-coded bytes.
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  while (jpeg.size() < 30000) jpeg.push_back(next());
  jpeg.push_back(0xFF);
  jpeg.push_back(0xD9);
  files.emplace_back("jpeg", jpeg);
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = dir.File(name);
    testing::WriteBytes(path, bytes);
    const DetectionResult r = DetectDatabaseFile(path);
    EXPECT_EQ(r.version, 0);
    EXPECT_FALSE(r.headerRebuilt);
    EXPECT_TRUE(r.notice.empty());
    EXPECT_EQ(U8(r.messages),
              (std::vector<std::string>{
                  "The Database content is not in its appropriate form",
                  "Version cannot be detected.Please select the version to continue"}));
  }
}

TEST(WipedHeaderDetection, ADatabaseShorterThan512BytesOrWithoutItsSchemaIsNotOffered) {
  TempDir dir;
  const std::string path = dir.File("db");
  testing::MakeDatabase(path, kShop, 1024);
  testing::PatchBytes(path, 0, std::vector<uint8_t>(100, 0));
  const std::vector<uint8_t> whole = testing::ReadBytes(path);

  testing::WriteBytes(path, std::vector<uint8_t>(whole.begin(), whole.begin() + 511));
  DetectionResult r = DetectDatabaseFile(path);
  EXPECT_EQ(r.version, 0);
  EXPECT_EQ(U8(r.messages)[0], "File Format not supported, please select file again");

  // Page 1 wiped as a whole: the pages alone are no database one can read.
  std::vector<uint8_t> noSchema = whole;
  std::fill(noSchema.begin(), noSchema.begin() + 1024, 0);
  testing::WriteBytes(path, noSchema);
  r = DetectDatabaseFile(path);
  EXPECT_EQ(r.version, 0);
  EXPECT_FALSE(r.headerRebuilt);
}

TEST(WipedHeaderDetection, AFormat2HeaderIsStillFoundFirst) {
  const DetectionResult r = DetectDatabaseFile(testing::FixturePath("format2/f2_shop.db"));
  EXPECT_EQ(r.version, 1);
  EXPECT_FALSE(r.headerRebuilt);
}

// A reader of a very large file: the first page of a real database with
// 65536-byte pages, then zeros. Counts what is read.
class CountingReader final : public Reader {
 public:
  CountingReader(std::vector<uint8_t> firstPage, uint64_t size) : first_(std::move(firstPage)) {
    length = size;
  }
  size_t ReadAt(uint64_t offset, void* destination, size_t count) override {
    if (offset >= length) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, length - offset));
    auto* out = static_cast<uint8_t*>(destination);
    for (size_t i = 0; i < count; ++i) {
      const uint64_t at = offset + i;
      out[i] = at < first_.size() ? first_[at] : 0;
    }
    read += count;
    return count;
  }
  uint64_t read = 0;

 private:
  std::vector<uint8_t> first_;
};

// The bytes of a file held in memory, offered either as memory or only
// through reads.
class MemoryReader final : public Reader {
 public:
  MemoryReader(std::vector<uint8_t> bytes, bool asMemory)
      : bytes_(std::move(bytes)), asMemory_(asMemory) {
    length = bytes_.size();
  }
  size_t ReadAt(uint64_t offset, void* destination, size_t count) override {
    if (offset >= length) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, length - offset));
    std::memcpy(destination, bytes_.data() + offset, count);
    return count;
  }
  const uint8_t* Bytes() const override { return asMemory_ ? bytes_.data() : nullptr; }

 private:
  std::vector<uint8_t> bytes_;
  bool asMemory_;
};

// Damaged page headers, cell pointers, free blocks and records: the guess
// stays inside the file's bytes (the sanitizer build checks every read) and
// never offers a page size the file cannot have.
TEST(WipedHeaderDetection, SurvivesRandomDamageToThePagesItLooksAt) {
  TempDir dir;
  const std::string path = dir.File("db");
  testing::MakeDatabase(path, kShop, 1024);
  std::vector<uint8_t> wiped = testing::ReadBytes(path);
  std::fill(wiped.begin(), wiped.begin() + 100, 0);
  uint32_t seed = 99;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> bytes = wiped;
    const int flips = 1 + static_cast<int>(next() % 40);
    for (int i = 0; i < flips; ++i) {
      // Mostly page 1 and the page headers and pointers at page starts.
      const size_t at = next() % 3 == 0 ? next() % 2048 : (next() % (bytes.size() / 512)) * 512 +
                                                               next() % 32;
      bytes[at] = static_cast<uint8_t>(next());
    }
    if (round % 10 == 0) bytes.resize(512 + next() % bytes.size());
    MemoryReader reader(bytes, round % 2 == 0);
    if (const auto rebuilt = RebuildHeader(reader)) {
      EXPECT_LE(rebuilt->pageSize, bytes.size());
      EXPECT_TRUE(rebuilt->textEncoding >= 1 && rebuilt->textEncoding <= 3);
    }
  }
}

TEST(WipedHeaderDetection, ReadsABoundedPartOfAHugeFile) {
  TempDir dir;
  const std::string path = dir.File("db");
  testing::MakeDatabase(path, kShop, 65536);
  std::vector<uint8_t> firstPage = testing::ReadBytes(path);
  firstPage.resize(65536);
  std::fill(firstPage.begin(), firstPage.begin() + 100, 0);
  // Page 1 passes at 65536 only, and the samples of the other pages then
  // decide against: every page size is tried.
  CountingReader reader(firstPage, uint64_t{64} << 30);
  EXPECT_FALSE(RebuildHeader(reader).has_value());
  EXPECT_LT(reader.read, uint64_t{16} << 20);
  EXPECT_GT(reader.read, uint64_t{kRebuildSamplePages} * 65536);
}

}  // namespace
}  // namespace korvel
