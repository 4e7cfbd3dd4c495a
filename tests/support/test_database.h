#pragma once
// Building test databases with the SQLite library and damaging their bytes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace korvel::testing {

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Creates a database at path and runs the statements in it (one string may
// hold several). pageSize 0 keeps the library's default; encoding is
// "UTF-8", "UTF-16le" or "UTF-16be".
void MakeDatabase(const std::string& path, const std::string& sql, int pageSize = 0,
                  const std::string& encoding = "UTF-8");

// Runs a query on a healthy database and returns every row, each value as
// text ("NULL" for null, "x'..'" hex for a blob).
std::vector<std::vector<std::string>> QueryRows(const std::string& path, const std::string& sql);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Overwrites bytes at offset (the file grows when needed).
void PatchBytes(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes);
void PatchText(const std::string& path, uint64_t offset, const std::string& text);
// Offset of the first occurrence of text in the file, or -1.
int64_t FindInFile(const std::string& path, const std::string& text);
// Puts prefix bytes in front of the file.
void Prepend(const std::string& path, const std::vector<uint8_t>& prefix);
void Truncate(const std::string& path, uint64_t length);
void AppendBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The folder of the checked-in fixture files.
std::string FixturePath(const std::string& relative);

}  // namespace korvel::testing
