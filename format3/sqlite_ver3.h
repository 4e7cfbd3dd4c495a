#pragma once
// The format-3 recovery engine. It reads the damaged file page by page with
// its own code (never through the database library): the page headers, the
// schema b-tree rooted at page 1, the schema statements, and each table's
// records carved cell by cell.

#include <cstdint>
#include <string>

#include "core/sqlite_base.h"
#include "format3/record_reader.h"
#include "format3/unreached_records.h"

namespace korvel {

class sqlite_ver3 : public sqlite_base {
 public:
  bool SaveRecovered(const std::string& inputPath) override;
  void Scan(const std::string& inputPath) override;
  void LoadTableRecords(const std::string& inputPath, int64_t rootPage, int columnCount,
                        const std::u16string& tableName, int keyColumnMarker) override;
  uint64_t CountCheckedEntries() override;
  std::u16string MapType(std::u16string declaredType) override;
  bool IsKnownType(std::u16string type) override;
  uint64_t CountTableRows(const std::string& inputPath, int64_t rootPage) override;
  std::u16string CleanName(std::u16string name) override;

  // Cells in the leaf pages of the table b-tree below rootPage.
  uint64_t CountTableEntries(int64_t rootPage);

  // ---- schema scan state ----
  uint64_t lastTextLength = 0;  // length of the last text the schema cell reader returned

  // ---- record carving state ----
  // The text encoding the last scan settled on, which the record walks read
  // texts in; until a scan settles one, the choice and the header decide.
  bool textEncodingSettled = false;
  format3::TextEncoding textEncoding = format3::TextEncoding::Utf8;
  // Rows found outside the tables' b-trees by the end of the scan.
  format3::UnreachedRecords unreached;
};

}  // namespace korvel
