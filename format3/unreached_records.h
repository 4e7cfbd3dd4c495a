#pragma once
// The records that the walk of the tables' b-trees does not reach, found by
// the passes that run at the end of the format-3 scan:
//   - orphan table-leaf pages (orphan_pages.h): the rows of a page assigned
//     to a table join that table after the rows of its b-tree, except those
//     whose rowid the table already holds; the records of unassigned pages
//     form the table "lost_and_found" (columns page, cell, rowid, c0, c1, ...),
//     the last item under "TABLES  ";
//   - deleted records (deleted_records.h): one table "<table>_deleted" per
//     table that has any (the table's columns, then page, offset and
//     source), each an item of the group "DELETED RECORDS  ". A deleted
//     record identical to a live row, or to one carved before it, is
//     dropped.
// lost_and_found and the deleted tables are appended to the model's table
// lists like recovered tables, with a root page no file has, so that
// preview, save and the command line carry them; LoadTableRecords hands out
// their stored rows.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/engine_host.h"
#include "core/record_value.h"
#include "core/recovered_model.h"

namespace korvel {

class sqlite_base;
class sqlite_ver3;
class Reader;
struct PageGeometry;

namespace format3 {

// Root pages from here on name the tables these passes made: no page
// number of the format comes near it.
inline constexpr int64_t kFoundTableRootBase = int64_t{1} << 40;

inline constexpr char16_t kLostAndFoundName[] = u"lost_and_found";
inline constexpr char16_t kDeletedSourceFreeblock[] = u"freeblock";
inline constexpr char16_t kDeletedSourceFreelist[] = u"freelist";

struct FoundRow {
  std::vector<RecordValue> values;
  // Deleted records only: where the record was found.
  uint64_t page = 0;
  uint32_t offset = 0;
  const char16_t* source = nullptr;
};

struct FoundTable {
  bool deleted = false;  // a "<table>_deleted" table, else lost_and_found
  std::vector<FoundRow> rows;
};

struct UnreachedRecords {
  // Rows of assigned orphan pages, by the root page of their table.
  std::map<int64_t, std::vector<std::vector<RecordValue>>> orphanRows;
  // The tables made by the passes; table kFoundTableRootBase + i is entry i.
  std::vector<FoundTable> tables;

  void Clear() { *this = UnreachedRecords(); }
  // The table a root page names, or null.
  const FoundTable* TableOf(int64_t rootPage) const;
  // Rows LoadTableRecords adds to the table of this root page.
  uint64_t ExtraRows(int64_t rootPage) const;
};

struct UnreachedPassInputs {
  sqlite_ver3& engine;
  EngineHost& host;
  Reader& reader;
  const PageGeometry& g;
  bool utf16;  // the scan read the file as UTF-16
};

// Runs the passes that the settings ask for, keeps their rows in the
// engine, appends the tables they made to its lists and their items to the
// tree. A file where they find nothing is left as it was.
void RecoverUnreachedRecords(const UnreachedPassInputs& in);

// The row as the record list shows it: for a deleted record the place it
// was found ("page 5, offset 1200, freeblock") first, then its values.
RecordRow FoundRowDisplay(const FoundTable& table, const FoundRow& row);
// The values as the repaired database receives them: for a deleted record
// its values, then page, offset and source.
std::vector<RecordValue> FoundRowValues(const FoundTable& table, const FoundRow& row);

// The rows LoadTableRecords adds for a root page: all rows of a table made
// by the passes, or the orphan rows of a recovered table after its b-tree's.
// Shown in the record list while previewing, handed to the engine's insert
// target while saving, with the progress and stop handling of the walk.
void DeliverUnreachedRows(sqlite_base& engine, EngineHost& host, const UnreachedRecords& found,
                          int64_t rootPage, const std::u16string& tableName,
                          uint64_t stopPosition);

}  // namespace format3
}  // namespace korvel
