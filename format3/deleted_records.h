#pragma once
// Deleted records: records carved out of the free space of table-leaf pages
// (free blocks and the gap between the cell pointers and the cell content)
// and out of the pages of the freelist.
//
// A record is taken only when it decodes consistently: valid serial types
// (10 and 11 are none) whose sizes add up to the space the record takes,
// texts that decode in the file's encoding, as many values as its table has
// columns and a fit to that table's declared column types. Freeing a cell
// overwrites its first four bytes (the payload length, the rowid and maybe
// the start of the record header) with the free block's own header; such a
// record is read from its header on, its lost first bytes rebuilt from the
// table's shape where they can be, and its rowid stays unknown.
//
// Only records whose payload lies wholly on their page are carved.

#include <cstdint>
#include <vector>

#include "core/record_value.h"
#include "format3/orphan_pages.h"
#include "format3/page_census.h"
#include "format3/record_reader.h"

namespace korvel::format3 {

enum class DeletedSource { Freeblock, Freelist };

struct DeletedRecord {
  int shape = -1;  // the table, an index in the shapes
  uint64_t page = 0;
  uint32_t offset = 0;  // where the record's bytes start in the page
  DeletedSource source = DeletedSource::Freeblock;
  bool rowidKnown = false;
  uint64_t rowid = 0;
  std::vector<RecordValue> values;
};

struct CarveInputs {
  Reader& reader;
  PageReader& pages;
  const PageGeometry& g;
  const std::vector<PageHeader>& pageTable;
  const RecordLayout& layout;  // encoding and sizes
  const PageCensus& census;
  const std::vector<TableShape>& shapes;
  // Per census root (census.roots), the shape of its table or -1.
  const std::vector<int>& shapeOfRoot;
};

// Every deleted record found, page by page in page order (freelist pages
// after the tree pages). Not yet compared with the live rows.
std::vector<DeletedRecord> CarveDeletedRecords(const CarveInputs& in);

// True when n bytes are a text that decodes in the encoding: well-formed,
// without zero characters or control characters other than tab, line feed
// and carriage return.
bool TextDecodes(const uint8_t* bytes, size_t n, TextEncoding encoding);

}  // namespace korvel::format3
