#pragma once
// Page addressing and in-page structures of a format-3 file.
//
// Page n (counted from 1) starts at header position + (n - 1) * page size.
// Its b-tree page header starts at the page start, except on page 1, where
// the 100-byte database header comes first. The cell pointer array of a leaf
// page follows its 8-byte page header, that of an interior page its 12-byte
// page header. Cell pointers, cell offsets and free-block offsets are counted
// from the page start (for page 1, from the header position).
//
// Every read here is bounded by the page and by the file: nothing read from
// the file is used as an offset or a count before it has been checked.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/engine_host.h"
#include "core/reader.h"
#include "core/recovered_model.h"

namespace korvel {

// Big-endian numbers in page bytes that the caller has checked are there.
inline uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline constexpr uint32_t kDatabaseHeaderSize = 100;
inline constexpr uint32_t kLeafPageHeaderSize = 8;
inline constexpr uint32_t kInteriorPageHeaderSize = 12;
inline constexpr uint32_t kMaxPageSize = 65536;

struct PageGeometry {
  uint64_t headerPosition = 0;
  uint32_t pageSize = 0;
  uint64_t pageCount = 0;  // whole pages that lie inside the file
  uint64_t fileLength = 0;
};

// From the settings and the reader's length, once the scan has made the start
// offset the header position. The page count never exceeds the whole pages
// that the file really holds.
PageGeometry GeometryOf(const ScanSettings& s);

// headerPosition + (page - 1) * pageSize; page >= 1.
uint64_t PageOffset(const PageGeometry& g, uint64_t page);

// Where the b-tree page header of a page starts (page 1: after the database
// header).
uint64_t PageHeaderOffset(const PageGeometry& g, uint64_t page);

// True when 1 <= page <= page count.
bool PageInRange(const PageGeometry& g, uint64_t page);

// Decodes a 12-byte page header record (big-endian fields).
PageHeader DecodePageHeader(const uint8_t* bytes);

// Reads the 12-byte page header of a page. False (out untouched) when the
// page lies outside the file; bytes that would lie past the end of the file
// read as 0.
bool ReadPageHeader(Reader& r, const PageGeometry& g, uint64_t page, PageHeader& out);

// The leaf cell pointer array (page start + 8; page 1: header position + 108):
// h.cellCount pointers, but never past the end of the page or of the file.
std::vector<uint16_t> ReadLeafCellPointers(Reader& r, const PageGeometry& g, uint64_t page,
                                           const PageHeader& h);

// The free-block chain of a page: element 0 is h.firstFreeblock, each further
// element the 2-byte big-endian value at page start + the previous element;
// the list ends with the first 0 (included). It has room for h.cellCount + 1
// entries; a chain that loops, runs out of room, or names an offset outside
// the page ends there (without the 0; an offset whose 4-byte block header
// does not fit into the page is kept but not followed). A first free block of
// 0 gives the list {0}.
std::vector<uint16_t> ReadFreeblockList(Reader& r, const PageGeometry& g, uint64_t page,
                                        const PageHeader& h);

// The number of bytes of each cell inside its page, from the cell offsets and
// the free-block list of the page. For a cell at offset c, let e be the
// smallest other cell offset above c: the extent is e - c, or, when free
// blocks lie strictly between c and e, d - c for the one listed last of them.
// Without a higher cell, the extent is d - c for the first listed free block
// when it lies above c, otherwise 0, which means the cell reaches the end of
// the page. Runs in O(n log n).
std::vector<uint32_t> ComputeCellExtents(const std::vector<uint16_t>& cellOffsets,
                                         const std::vector<uint16_t>& freeblocks);

// The end of a cell's region inside its page: cell offset + extent, where an
// extent of 0 reaches the end of the page. Never beyond the page size.
uint32_t CellLimit(uint32_t pageSize, uint16_t cellOffset, uint32_t extent);

// Big-endian reads through the reader; false when the bytes do not all lie
// inside the file.
// The bytes of one page at a time: straight from memory when the reader
// holds the file, else read into a buffer of its own. Pages beyond the page
// count or the file give none.
// The bytes of page (1-based) that lie inside the file: in the reader's
// memory when it holds the file, else copied into buffer; null when none do.
const uint8_t* ReadPage(Reader& reader, const PageGeometry& g, uint64_t page,
                        std::vector<uint8_t>& buffer, size_t& available);

// A b-tree walk enters no page twice and goes no deeper than this: sound
// b-trees are a few levels deep, anything deeper is a damaged page that
// points back into its own subtree.
inline constexpr int kMaxTreeDepth = 64;

// True when page is a page of the page table (pageTableSize pages, none
// past the file's page count) at a depth the walk may still go to, and
// used does not mark it yet; marks it.
bool EnterTreePage(std::vector<bool>& used, uint64_t page, int depth, size_t pageTableSize,
                   const PageGeometry& g);

class PageReader {
 public:
  PageReader(Reader& reader, const PageGeometry& g);
  // ReadPage into a buffer of the reader's own: valid until the next call.
  const uint8_t* Get(uint64_t page, size_t& available);

 private:
  Reader& reader_;
  PageGeometry g_;
  std::vector<uint8_t> buffer_;
};

// The child page numbers of an interior page (table or index) whose bytes
// are bytes[0 .. available), left to right, without the right-most child.
// Pointers and cells that lie outside the bytes are passed over.
void InteriorChildren(const uint8_t* bytes, size_t available, uint64_t page, const PageHeader& h,
                      std::vector<uint32_t>& children);

bool ReadBE16(Reader& r, uint64_t offset, uint16_t& value);
bool ReadBE32(Reader& r, uint64_t offset, uint32_t& value);

// A variable-length integer at offset: 7 bits per byte, high bit set means
// another byte follows, the ninth byte gives all 8 bits. Reads no byte at or
// after limit (and none past the end of the file). False when the integer
// does not end before limit; length is the number of bytes taken.
bool ReadVarint(Reader& r, uint64_t offset, uint64_t limit, uint64_t& value, uint32_t& length);

}  // namespace korvel
