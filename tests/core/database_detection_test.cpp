#include "core/database_detection.h"

#include <gtest/gtest.h>

#include "core/reader.h"
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

}  // namespace
}  // namespace korvel
