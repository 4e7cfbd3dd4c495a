#include "tests/support/test_database.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

namespace korvel::testing {

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("korvel-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

namespace {

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error("sqlite: " + message + " in: " + sql);
  }
}

}  // namespace

void MakeDatabase(const std::string& path, const std::string& sql, int pageSize,
                  const std::string& encoding) {
  std::remove(path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot create " + path);
  }
  try {
    if (pageSize != 0) Exec(db, "PRAGMA page_size=" + std::to_string(pageSize) + ";");
    Exec(db, "PRAGMA encoding='" + encoding + "';");
    Exec(db, sql);
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
}

std::vector<std::vector<std::string>> QueryRows(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path);
  }
  sqlite3_busy_timeout(db, 10000);  // a writer may be committing meanwhile
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    std::string message = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error("sqlite: " + message + " in: " + sql);
  }
  std::vector<std::vector<std::string>> rows;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
      switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_NULL: row.push_back("NULL"); break;
        case SQLITE_BLOB: {
          const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, c));
          const int n = sqlite3_column_bytes(stmt, c);
          static const char* hex = "0123456789ABCDEF";
          std::string s = "x'";
          for (int i = 0; i < n; ++i) {
            s.push_back(hex[b[i] >> 4]);
            s.push_back(hex[b[i] & 15]);
          }
          row.push_back(s + "'");
          break;
        }
        default: {
          const auto* t = sqlite3_column_text(stmt, c);
          row.push_back(t ? reinterpret_cast<const char*>(t) : "");
        }
      }
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void PatchBytes(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> data = ReadBytes(path);
  if (data.size() < offset + bytes.size()) data.resize(offset + bytes.size());
  std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
  WriteBytes(path, data);
}

void PatchText(const std::string& path, uint64_t offset, const std::string& text) {
  PatchBytes(path, offset, std::vector<uint8_t>(text.begin(), text.end()));
}

int64_t FindInFile(const std::string& path, const std::string& text) {
  const std::vector<uint8_t> data = ReadBytes(path);
  const auto it = std::search(data.begin(), data.end(), text.begin(), text.end());
  return it == data.end() ? -1 : static_cast<int64_t>(it - data.begin());
}

void Prepend(const std::string& path, const std::vector<uint8_t>& prefix) {
  std::vector<uint8_t> data = prefix;
  const std::vector<uint8_t> old = ReadBytes(path);
  data.insert(data.end(), old.begin(), old.end());
  WriteBytes(path, data);
}

void Truncate(const std::string& path, uint64_t length) {
  std::filesystem::resize_file(path, length);
}

void AppendBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string FixturePath(const std::string& relative) {
  return std::string(KORVEL_FIXTURE_DIR) + "/" + relative;
}

}  // namespace korvel::testing
