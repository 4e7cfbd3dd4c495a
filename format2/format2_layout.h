#pragma once
// The page, cell, overflow and record layout of a format-2.1 file, read with
// every length, offset and page number checked against what is really there.
//
// Pages are 1024 bytes; page N (from 1) starts at header position +
// (N - 1) * 1024. The numbers of page headers, cell headers and overflow
// links are in the byte order of the machine that wrote the file: the magic
// number 0xdae37528 after the header text tells which (little-endian unless
// it reads byte-swapped). Record offsets are always little-endian and the
// cell key always big-endian.
//   page header (8):  right child u32, first cell u16, first free block u16
//   cell header (12): left child u32, key length u16, next cell u16,
//                     key length high u8, data length high u8, data length u16
//   payload:          4-byte key (row number, big-endian, top bit flipped),
//                     then the record; the cell keeps the first 236 payload
//                     bytes, a longer payload continues on overflow pages
//                     (next page u32, then 1020 payload bytes each), the first
//                     of which the cell names in the 4 bytes after those 236.
//   record:           one offset per field plus an end offset (1 byte each
//                     below 256 record bytes, 2 below 65536, else 3), then
//                     the fields; a text field ends with a zero byte, an
//                     empty field is NULL.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {
class Reader;
}

namespace korvel::format2 {

inline constexpr uint32_t kPageSize = 1024;
inline constexpr uint32_t kPageHeaderSize = 8;
inline constexpr uint32_t kCellHeaderSize = 12;
inline constexpr uint32_t kKeySize = 4;
inline constexpr uint32_t kLocalPayload = 236;
inline constexpr uint32_t kOverflowPayload = 1020;
inline constexpr uint32_t kMasterRootPage = 2;

using PageBytes = std::array<uint8_t, kPageSize>;

uint16_t ReadLe16(const uint8_t* p);
uint32_t ReadLe32(const uint8_t* p);

inline constexpr uint32_t kFileMagic = 0xdae37528u;
inline constexpr uint32_t kFileMagicOffset = 48;

// The byte order of the header numbers of one file.
struct ByteOrder {
  bool bigEndian = false;
  uint16_t U16(const uint8_t* p) const {
    return bigEndian ? static_cast<uint16_t>((p[0] << 8) | p[1]) : ReadLe16(p);
  }
  uint32_t U32(const uint8_t* p) const {
    return bigEndian ? (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                           (static_cast<uint32_t>(p[2]) << 8) | p[3]
                     : ReadLe32(p);
  }
};

// The database inside the file: whole pages from the header position on.
class PageFile {
 public:
  // Takes the byte order from the magic number of the file header.
  PageFile(Reader* reader, uint64_t headerPosition);
  uint64_t PageCount() const { return pageCount_; }
  ByteOrder Order() const { return order_; }
  // Page 1 holds the file header and is never a b-tree or overflow page.
  bool IsTreePage(uint64_t page) const { return page >= 2 && page <= pageCount_; }
  // Fills out with the page (zeros where the file ends); false outside the file.
  bool ReadPage(uint64_t page, PageBytes& out) const;

 private:
  Reader* reader_ = nullptr;
  uint64_t headerPosition_ = 0;
  uint64_t pageCount_ = 0;
  ByteOrder order_;
};

struct Cell {
  uint16_t offset = 0;  // of the cell header within its page
  uint32_t leftChild = 0;
  uint32_t dataLength = 0;  // record bytes the header claims
};

struct PageCells {
  uint32_t rightChild = 0;
  uint16_t firstCell = 0;
  std::vector<Cell> cells;
  bool damaged = false;  // the next-cell chain looped or left the page
};

// The cells of a page from firstCell along the next-cell offsets.
PageCells ReadCells(const PageBytes& page, uint16_t firstCell, ByteOrder order = {});
// The same from the page's own first-cell offset.
PageCells ReadCells(const PageBytes& page, ByteOrder order = {});

struct Payload {
  std::string bytes;  // key then record, as far as it could be read
  uint64_t recordLength = 0;  // record bytes the cell claims
  bool complete = false;
  bool damaged = false;  // the overflow chain looped, left the file or ended early
  std::string_view Record() const {
    return bytes.size() > kKeySize ? std::string_view(bytes).substr(kKeySize) : std::string_view();
  }
};

Payload ReadPayload(const PageFile& file, const PageBytes& page, const Cell& cell);

// The row number held in the key: big-endian with the top bit flipped.
int64_t RowNumber(const Payload& payload);

struct RecordField {
  bool null = false;
  bool cut = false;       // the record ended inside this field
  std::string_view text;  // up to the field's terminating zero byte
};

// Up to fieldCount fields of a record (fewer when the record's own header
// holds fewer, or damage ends it early).
std::vector<RecordField> DecodeRecord(std::string_view record, uint64_t recordLength,
                                      size_t fieldCount);

// Walks a b-tree in key order: a cell's left-child subtree, then the cell,
// and after the last cell the right child's subtree. Every page is read at
// most once; a child outside the file, page 1, or a page already seen
// (a loop back to an ancestor) is skipped and counted as damage. No
// recursion: the pending pages are kept on a list.
class TreeWalker {
 public:
  // Return false to end the walk.
  using CellVisitor = std::function<bool(const PageBytes& page, const Cell& cell)>;
  using PageGate = std::function<bool()>;

  explicit TreeWalker(const PageFile& file) : file_(file) {}
  // When a page's first-cell offset is 0, take the first cell at offset 8
  // (the master table's pages: a zeroed page header may still hold cells).
  bool assumeFirstCellWhenEmpty = false;
  // Asked before each page is read; false ends the walk (stop request).
  PageGate beforePage;

  // False when the visitor or the gate ended the walk.
  bool Walk(uint64_t rootPage, const CellVisitor& visit);
  uint64_t damagedLinks() const { return damaged_; }

 private:
  const PageFile& file_;
  uint64_t damaged_ = 0;
};

}  // namespace korvel::format2

namespace korvel::format2 {

// The header position from the start offset of the settings (header
// position + 1, or 0 for a header at position 0).
inline uint64_t HeaderPositionFromStartOffset(uint64_t startOffset) {
  return startOffset == 0 ? 0 : startOffset - 1;
}

}  // namespace korvel::format2
