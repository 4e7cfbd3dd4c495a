#pragma once
// The recovered model of one scanned database: the page table, the schema
// statements found for each kind of object, one descriptor per table and the
// rebuilt table definitions with their column types. Tree items refer to the
// entries by index, so entries are only ever appended.
//
// Texts ending in 8 hold the file's UTF-8 bytes; texts ending in 16 hold the
// UTF-16 code units of a UTF-16 file. Descriptors, rebuilt definitions and
// column types are UTF-16 strings of the user interface.
//
// Table descriptor: name "+" then per column the name (a primary-key column
// followed by "< P.K >") and "~", then "#" and the root page in decimal, e.g.
// "t1 +id< P.K >~name~#2".

#include <cstdint>
#include <string>
#include <vector>

namespace korvel {

// One b-tree page header of a format-3 file, in host order.
struct PageHeader {
  uint8_t pageType = 0;       // 13 leaf table, 5 interior table, 10 leaf index, 2 interior index
  uint16_t firstFreeblock = 0;
  uint16_t cellCount = 0;
  uint16_t cellContentStart = 0;
  uint8_t fragmentedBytes = 0;
  uint32_t rightMostChild = 0;  // meaningful on interior pages only
};

// The 8-byte page header of a format-2.1 file (little-endian in the file).
struct PageHeader2 {
  uint32_t rightChild = 0;
  uint16_t firstCell = 0;
  uint16_t firstFreeblock = 0;
};

struct RecoveredModel {
  std::vector<PageHeader> pageTable;

  // Buffers kept alive for the engine's lifetime (schema cell texts and
  // descriptor copies).
  std::vector<std::string> textBuffers8;
  std::vector<std::u16string> textBuffers16;

  // CREATE TABLE texts up to, not including, the parenthesis that closes the
  // column list.
  std::vector<std::string> tableStatements8;
  std::vector<std::u16string> tableStatements16;
  // One entry per indexed column, each one longer than the last.
  std::vector<std::string> indexStatements8;
  std::vector<std::u16string> indexStatements16;
  // Whole statements; the first character may be damaged ("%REATE VIEW").
  std::vector<std::string> viewStatements8;
  std::vector<std::u16string> viewStatements16;
  std::vector<std::string> triggerStatements8;
  std::vector<std::u16string> triggerStatements16;

  // Same index as the table statements.
  std::vector<std::u16string> tableDescriptors;
  std::vector<std::u16string> createStatements;
  std::vector<std::vector<std::u16string>> columnTypes;
  std::vector<std::u16string> currentColumnTypes;

  // Format 2.1 only.
  std::vector<PageHeader2> pageTable2;
  std::vector<int64_t> recordLengths;
  std::vector<uint32_t> rootPages;

  void Clear() { *this = RecoveredModel(); }
};

// A table descriptor taken apart.
// A table declared WITHOUT ROWID has this mark right after its root page
// in its descriptor, followed by its key's column indexes in key order:
// "t +a~b~c~#5 WITHOUT ROWID(2,0)".
inline constexpr char16_t kWithoutRowidMark[] = u" WITHOUT ROWID(";

struct TableDescriptorParts {
  std::u16string tableName;                // everything before the first "+"
  std::vector<std::u16string> columnNames;  // with their "< P.K >" marks
  int keyColumnMarker = 0;                  // 0, or 10 + index of the last marked column
  int64_t rootPage = 0;                     // leading digits after "#"; none give 0
  bool withoutRowid = false;                // the WITHOUT ROWID mark follows the root page
};

// Splits a descriptor at "+", "~" and "#". A descriptor without "+" yields
// its whole text as the name and no columns.
TableDescriptorParts ParseTableDescriptor(const std::u16string& descriptor);

}  // namespace korvel
