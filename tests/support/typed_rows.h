#pragma once
// The rows of a database read back with their storage classes, for exact
// comparisons of an original database with its repaired copy.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/recording_host.h"

namespace korvel::testing {

// A value as a database holds it, compared exactly (reals bit for bit).
struct Cell {
  int type = SQLITE_NULL;
  int64_t integer = 0;
  double real = 0;
  std::u16string text;
  std::string blob;
  bool operator==(const Cell& o) const {
    return type == o.type && integer == o.integer &&
           std::memcmp(&real, &o.real, sizeof real) == 0 && text == o.text && blob == o.blob;
  }
};

inline void PrintTo(const Cell& c, std::ostream* os) {
  *os << "type " << c.type << " int " << c.integer << " real " << c.real << " text "
      << U8(c.text) << " blob of " << c.blob.size();
}

inline std::vector<std::vector<Cell>> ReadCells(const std::string& path, const std::string& sql) {
  std::vector<std::vector<Cell>> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path;
    sqlite3_close(db);
    return rows;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db);
  }
  while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
    std::vector<Cell> row;
    for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
      Cell cell;
      cell.type = sqlite3_column_type(stmt, c);
      if (cell.type == SQLITE_INTEGER) cell.integer = sqlite3_column_int64(stmt, c);
      if (cell.type == SQLITE_FLOAT) cell.real = sqlite3_column_double(stmt, c);
      if (cell.type == SQLITE_TEXT) {
        const auto* t = static_cast<const char16_t*>(sqlite3_column_text16(stmt, c));
        cell.text.assign(t, sqlite3_column_bytes16(stmt, c) / 2);
      }
      if (cell.type == SQLITE_BLOB) {
        const auto* b = static_cast<const char*>(sqlite3_column_blob(stmt, c));
        cell.blob.assign(b ? b : "", sqlite3_column_bytes(stmt, c));
      }
      row.push_back(cell);
    }
    rows.push_back(row);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

}  // namespace korvel::testing
