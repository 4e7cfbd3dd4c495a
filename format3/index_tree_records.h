#pragma once
// The rows of a table declared WITHOUT ROWID. Such a table keeps its rows in
// an index b-tree: leaf pages (type 10) and interior pages (type 2) whose
// cells, each after a 4-byte child page number, hold records as well. A
// record holds the primary key's columns first, in key order, then the
// other columns in declared order; the rows are handed on in declared order
// and in key order (the cells of an interior page between the subtrees of
// their children).
//
// Like the table walk, the walk takes every page, b-tree or overflow, at
// most once and goes no deeper than a sound tree can be, so a damaged page
// cannot make it loop.

#include <cstdint>
#include <string>
#include <vector>

#include "core/engine_host.h"
#include "core/reader.h"
#include "core/sqlite_base.h"
#include "format3/page_layout.h"
#include "format3/record_reader.h"

namespace korvel::format3 {

// True for the page types of an index b-tree (10 leaf, 2 interior).
bool IsIndexTreePage(const PageHeader& h);

// For each position of a record of the table, the declared column it holds:
// the key columns first, then every other column in declared order. Key
// columns outside [0, columnCount) or listed twice are left out.
std::vector<int> RecordToDeclaredOrder(int columnCount, const std::vector<int>& keyColumns);

// The key columns of the table whose descriptor has this root page (and,
// among several, this name), from its descriptor; empty when none says so.
std::vector<int> WithoutRowidKeyOf(const RecoveredModel& model, int64_t rootPage,
                                   const std::u16string& tableName);

// Cells, leaf and interior, of the index b-tree below rootPage.
uint64_t CountIndexTreeEntries(const sqlite_base& engine, Reader& reader, const PageGeometry& g,
                               uint64_t rootPage);

struct IndexTreeJob {
  const std::u16string* tableName = nullptr;
  RecordLayout layout;          // indexCells is set by the walk
  std::vector<int> keyColumns;  // declared indexes of the key columns, in key order
  bool saving = false;
  uint64_t stopPosition = 0;    // progress position sent when a stop ends the walk
};

// Reads every row of the table below rootPage: shown in the record list
// while previewing, handed to the engine's insert target while saving, with
// the progress, stop and damage messages of the table walk.
void LoadIndexTreeRecords(sqlite_base& engine, EngineHost& host, Reader& reader,
                          const PageGeometry& g, uint64_t rootPage, IndexTreeJob& job);

}  // namespace korvel::format3
