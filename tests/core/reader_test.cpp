#include "core/reader.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/test_database.h"

namespace korvel {
namespace {

using testing::TempDir;

std::string MakeFile(const TempDir& dir, const std::string& name, uint64_t size) {
  const std::string path = dir.File(name);
  std::vector<uint8_t> bytes(size);
  for (uint64_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  testing::WriteBytes(path, bytes);
  return path;
}

std::unique_ptr<Reader> OpenAs(int kind, const std::string& path) {
  std::unique_ptr<Reader> reader;
  if (kind == 0) reader = std::make_unique<Reader_Buffer>();
  if (kind == 1) reader = std::make_unique<Reader_MemoryMapped>();
  if (kind == 2) reader = std::make_unique<Reader_Disk>();
  if (!reader->Open(path, 0)) return nullptr;
  return reader;
}

class EveryReader : public ::testing::TestWithParam<int> {};

TEST_P(EveryReader, OpensAtPositionZeroWithTheFileLength) {
  TempDir dir;
  const std::string path = MakeFile(dir, "f.bin", 4096);
  auto reader = OpenAs(GetParam(), path);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->GetPosition(), 0u);
  EXPECT_EQ(reader->length, 4096u);
}

TEST_P(EveryReader, ReadCopiesAndAdvances) {
  TempDir dir;
  const std::string path = MakeFile(dir, "f.bin", 4096);
  auto reader = OpenAs(GetParam(), path);
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(reader->Seek(100, 0));
  uint8_t bytes[4] = {};
  ASSERT_TRUE(reader->Read(bytes, 4));
  EXPECT_EQ(bytes[0], static_cast<uint8_t>(100 * 7 + 1));
  EXPECT_EQ(bytes[3], static_cast<uint8_t>(103 * 7 + 1));
  EXPECT_EQ(reader->GetPosition(), 104u);
}

TEST_P(EveryReader, ReadAtStopsAtTheEndOfTheFile) {
  TempDir dir;
  const std::string path = MakeFile(dir, "f.bin", 1000);
  auto reader = OpenAs(GetParam(), path);
  ASSERT_NE(reader, nullptr);
  uint8_t bytes[16] = {};
  EXPECT_EQ(reader->ReadAt(990, bytes, 16), 10u);
  EXPECT_EQ(bytes[9], static_cast<uint8_t>(999 * 7 + 1));
  EXPECT_EQ(reader->ReadAt(1000, bytes, 16), 0u);
  EXPECT_EQ(reader->ReadAt(UINT64_MAX - 3, bytes, 16), 0u);
  EXPECT_EQ(reader->GetPosition(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Strategies, EveryReader, ::testing::Values(0, 1, 2));

class MemoryReader : public ::testing::TestWithParam<int> {};

TEST_P(MemoryReader, RefusesAReadOfTheWholeLengthAndAReadPastTheEnd) {
  TempDir dir;
  const std::string path = MakeFile(dir, "f.bin", 512);
  auto reader = OpenAs(GetParam(), path);
  ASSERT_NE(reader, nullptr);
  std::vector<uint8_t> buffer(512);
  EXPECT_FALSE(reader->Read(buffer.data(), 512));
  EXPECT_EQ(reader->GetPosition(), 0u);
  EXPECT_TRUE(reader->Read(buffer.data(), 511));
  ASSERT_TRUE(reader->Seek(510, 0));
  EXPECT_FALSE(reader->Read(buffer.data(), 4));  // would run past the data
  EXPECT_EQ(reader->GetPosition(), 510u);
}

TEST_P(MemoryReader, SeekToTheLengthFailsAndToTheLastByteSucceeds) {
  TempDir dir;
  const std::string path = MakeFile(dir, "f.bin", 512);
  auto reader = OpenAs(GetParam(), path);
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(reader->Seek(7, 0));
  EXPECT_FALSE(reader->Seek(512, 0));
  EXPECT_EQ(reader->GetPosition(), 7u);
  EXPECT_TRUE(reader->Seek(511, 0));
  EXPECT_EQ(reader->GetPosition(), 511u);
}

INSTANTIATE_TEST_SUITE_P(Strategies, MemoryReader, ::testing::Values(0, 1));

TEST(OpenReader, BuffersSmallFilesAndMapsFilesOfTheLimitAndMore) {
  TempDir dir;
  const std::string below = dir.File("below.bin");
  const std::string at = dir.File("at.bin");
  // Sparse files: no disk space is used for their zeros.
  testing::WriteBytes(below, {1});
  testing::Truncate(below, kBufferReaderLimit - 1);
  testing::WriteBytes(at, {1});
  testing::Truncate(at, kBufferReaderLimit);
  auto first = OpenReader(below);
  ASSERT_NE(first, nullptr);
  EXPECT_NE(dynamic_cast<Reader_Buffer*>(first.get()), nullptr);
  first.reset();
  auto second = OpenReader(at);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(dynamic_cast<Reader_MemoryMapped*>(second.get()), nullptr);
}

TEST(OpenReader, EmptyFileFallsThroughToTheDiskReader) {
  TempDir dir;
  const std::string path = dir.File("empty.bin");
  testing::WriteBytes(path, {});
  auto reader = OpenReader(path);
  ASSERT_NE(reader, nullptr);
  EXPECT_NE(dynamic_cast<Reader_Disk*>(reader.get()), nullptr);
  EXPECT_EQ(reader->length, 0u);
}

TEST(OpenReader, MissingFileAndFolderGiveNoReader) {
  TempDir dir;
  EXPECT_EQ(OpenReader(dir.File("missing.db")), nullptr);
  EXPECT_EQ(OpenReader(dir.path().string()), nullptr);
}

TEST(ReaderDisk, DoesNothingOnceTheFileIsDeleted) {
  TempDir dir;
  const std::string path = MakeFile(dir, "f.bin", 64);
  Reader_Disk reader;
  ASSERT_TRUE(reader.Open(path, 0));
  std::filesystem::remove(path);
  uint8_t byte = 0xAA;
  EXPECT_FALSE(reader.Seek(10, 0));
  EXPECT_FALSE(reader.Read(&byte, 1));
  EXPECT_EQ(byte, 0xAA);
  EXPECT_EQ(reader.GetPosition(), 0u);
}

}  // namespace
}  // namespace korvel
