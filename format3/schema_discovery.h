#pragma once
// The walk of the schema b-tree of a format-3 file. It starts on page 1,
// descends depth first into interior pages (cells in order, the right-most
// child last, no page twice), reads every schema record of the leaf pages it
// reaches, finds the statement in the record's text by its first words and
// hands tables and indexes to the statement parser; views and triggers are
// stored as they stand. Damaged records, out-of-range children and
// statements that cannot be parsed are reported and skipped: everything else
// is still found.

#include <cstdint>
#include <optional>
#include <string>

#include "core/engine_host.h"
#include "core/reader.h"
#include "format3/page_layout.h"
#include "format3/statement_parser.h"
#include "format3/sqlite_ver3.h"

namespace korvel {

struct SchemaScan {
  sqlite_ver3& engine;
  EngineHost& host;
  Reader& reader;
  ScanReporter& report;
  PageGeometry geometry;
  uint32_t usableSize = 0;  // page size less the reserved bytes at the end of each page
  TextPass pass = TextPass::Utf8;
  bool bigEndian = false;  // UTF-16 pass: the texts' units are stored big-endian
};

// The page size less the reserved bytes named by header byte 20 (taken as 0
// when it would leave too little of the page).
uint32_t UsableSize(uint32_t pageSize, uint8_t reservedBytes);

// What the schema cell reader found in one cell.
struct SchemaCellText {
  std::string bytes;     // the statement (or the whole record body), in the file's encoding
  int64_t rootPage = 0;  // meaningful only when the record names a statement and a root page
};

// Reads the schema record whose cell starts at cellOffset of page. Without a
// text (a body beyond the end of the file, a broken overflow chain, an empty
// body) it returns nothing; a body beyond the end of the file is reported
// with "Error in reading". Sets the engine's last text length.
std::optional<SchemaCellText> ReadSchemaCell(SchemaScan& scan, uint64_t page, uint16_t cellOffset);

// Finds the statement in one record's text and stores or parses it.
// classifyFrom: the character where the search starts.
void ClassifySchemaText(SchemaScan& scan, const SchemaCellText& text, size_t classifyFrom,
                        bool rightMost);

// The whole walk, from page 1. Ends the scan (through the reporter) only
// when page 1 is no table b-tree page.
void DiscoverSchema(SchemaScan& scan);

}  // namespace korvel
