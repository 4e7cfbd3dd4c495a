#pragma once
// The format-2.1 recovery engine. It reads the damaged file page by page with
// its own code (never through a database library): the 8-byte page headers,
// the master b-tree rooted at page 2, the schema statements found in the
// master records, and each table's rows cell by cell, across overflow
// chains. The database is read where the file selection found its header:
// page N starts at header position + (N - 1) * 1024.

#include <cstdint>
#include <string>

#include "core/sqlite_base.h"

namespace korvel {

class sqlite_ver2 : public sqlite_base {
 public:
  bool SaveRecovered(const std::string& inputPath) override;
  void Scan(const std::string& inputPath) override;
  void LoadTableRecords(const std::string& inputPath, int64_t rootPage, int columnCount,
                        const std::u16string& tableName, int keyColumnMarker) override;
  uint64_t CountCheckedEntries() override;
  std::u16string MapType(std::u16string declaredType) override;
  bool IsKnownType(std::u16string type) override;
  // Cells of every page (interior pages included) of the table b-tree below
  // rootPage. Adds them to the engine progress counter too; the result is
  // the count of this call alone.
  uint64_t CountTableRows(const std::string& inputPath, int64_t rootPage) override;
  std::u16string CleanName(std::u16string name) override;

  // ---- scan state ----
  uint64_t headerPosition = 0;  // byte position of the database inside the file
  uint64_t filePageCount = 0;   // whole 1024-byte pages after the header position
  // Damaged links (looping cells, child or overflow pages outside the file,
  // children pointing back) met by the last scan or record operation.
  uint64_t damagedLinks = 0;
};

}  // namespace korvel
