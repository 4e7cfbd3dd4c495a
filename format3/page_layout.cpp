#include "format3/page_layout.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

namespace korvel {

PageGeometry GeometryOf(const ScanSettings& s) {
  PageGeometry g;
  g.headerPosition = s.startOffset;
  g.pageSize = s.pageSize > kMaxPageSize ? 0 : static_cast<uint32_t>(s.pageSize);
  g.fileLength = s.reader != nullptr ? s.reader->length : 0;
  if (g.pageSize != 0 && g.fileLength > g.headerPosition) {
    const uint64_t whole = (g.fileLength - g.headerPosition) / g.pageSize;
    g.pageCount = std::min<uint64_t>(s.pageCount, whole);
  }
  return g;
}

uint64_t PageOffset(const PageGeometry& g, uint64_t page) {
  if (page == 0) return g.headerPosition;
  return g.headerPosition + (page - 1) * static_cast<uint64_t>(g.pageSize);
}

uint64_t PageHeaderOffset(const PageGeometry& g, uint64_t page) {
  return PageOffset(g, page) + (page == 1 ? kDatabaseHeaderSize : 0);
}

bool PageInRange(const PageGeometry& g, uint64_t page) {
  return page >= 1 && page <= g.pageCount;
}

PageHeader DecodePageHeader(const uint8_t* b) {
  PageHeader h;
  h.pageType = b[0];
  h.firstFreeblock = static_cast<uint16_t>((b[1] << 8) | b[2]);
  h.cellCount = static_cast<uint16_t>((b[3] << 8) | b[4]);
  h.cellContentStart = static_cast<uint16_t>((b[5] << 8) | b[6]);
  h.fragmentedBytes = b[7];
  h.rightMostChild = (static_cast<uint32_t>(b[8]) << 24) | (static_cast<uint32_t>(b[9]) << 16) |
                     (static_cast<uint32_t>(b[10]) << 8) | b[11];
  return h;
}

bool ReadPageHeader(Reader& r, const PageGeometry& g, uint64_t page, PageHeader& out) {
  if (page == 0 || g.pageSize == 0) return false;
  const uint64_t at = PageHeaderOffset(g, page);
  if (at >= g.fileLength) return false;
  uint8_t bytes[kInteriorPageHeaderSize] = {};
  if (r.ReadAt(at, bytes, sizeof bytes) == 0) return false;
  out = DecodePageHeader(bytes);
  return true;
}

std::vector<uint16_t> ReadLeafCellPointers(Reader& r, const PageGeometry& g, uint64_t page,
                                           const PageHeader& h) {
  std::vector<uint16_t> pointers;
  if (page == 0 || g.pageSize == 0) return pointers;
  const uint64_t pageStart = PageOffset(g, page);
  const uint32_t arrayInPage = (page == 1 ? kDatabaseHeaderSize : 0) + kLeafPageHeaderSize;
  if (arrayInPage >= g.pageSize) return pointers;
  uint64_t room = (g.pageSize - arrayInPage) / 2;
  const uint64_t arrayStart = pageStart + arrayInPage;
  if (arrayStart >= g.fileLength) return pointers;
  room = std::min<uint64_t>(room, (g.fileLength - arrayStart) / 2);
  const size_t count = static_cast<size_t>(std::min<uint64_t>(room, h.cellCount));
  if (count == 0) return pointers;

  pointers.resize(count);
  const uint8_t* bytes = r.Bytes();
  std::unique_ptr<uint8_t[]> copy;
  if (bytes != nullptr) {
    bytes += arrayStart;
  } else {
    copy.reset(new uint8_t[count * 2]);
    const size_t got = r.ReadAt(arrayStart, copy.get(), count * 2);
    if (got < count * 2) std::memset(copy.get() + got, 0, count * 2 - got);
    bytes = copy.get();
  }
  for (size_t i = 0; i < count; ++i) {
    pointers[i] = static_cast<uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
  }
  return pointers;
}

std::vector<uint16_t> ReadFreeblockList(Reader& r, const PageGeometry& g, uint64_t page,
                                        const PageHeader& h) {
  std::vector<uint16_t> list;
  list.push_back(h.firstFreeblock);
  if (page == 0 || g.pageSize == 0) return list;
  const uint64_t pageStart = PageOffset(g, page);
  const size_t room = static_cast<size_t>(h.cellCount) + 1;
  // Chains are short: a loop is found by looking through the list, and only
  // a long chain gets a table of the offsets already taken.
  constexpr size_t kShortChain = 32;
  std::vector<bool> seen;
  auto taken = [&](uint16_t offset) {
    if (seen.empty()) {
      for (uint16_t e : list) {
        if (e == offset) return true;
      }
      return false;
    }
    return static_cast<bool>(seen[offset]);
  };
  while (list.back() != 0 && list.size() < room) {
    const uint16_t at = list.back();
    // A free block starts with its 2-byte next pointer and 2-byte size.
    if (static_cast<uint32_t>(at) + 4 > g.pageSize) break;
    uint16_t next = 0;
    if (!ReadBE16(r, pageStart + at, next)) break;
    if (next != 0 && (next >= g.pageSize || taken(next))) break;  // outside, or a loop
    list.push_back(next);
    if (seen.empty() && list.size() > kShortChain) {
      seen.assign(kMaxPageSize, false);
      for (uint16_t e : list) seen[e] = true;
    } else if (!seen.empty()) {
      seen[next] = true;
    }
  }
  return list;
}

std::vector<uint32_t> ComputeCellExtents(const std::vector<uint16_t>& cellOffsets,
                                         const std::vector<uint16_t>& freeblocks) {
  const size_t n = cellOffsets.size();
  std::vector<uint32_t> extents(n, 0);
  if (n == 0) return extents;

  // Distinct cell offsets in ascending order.
  std::vector<uint16_t> cells(cellOffsets);
  std::sort(cells.begin(), cells.end());
  cells.erase(std::unique(cells.begin(), cells.end()), cells.end());

  // The free blocks (zeros are the list's end) by offset; for each offset
  // the latest position in the list at which it appears.
  struct Block {
    uint16_t offset;
    size_t listIndex;
  };
  std::vector<Block> blocks;
  blocks.reserve(freeblocks.size());
  for (size_t i = 0; i < freeblocks.size(); ++i) {
    if (freeblocks[i] != 0) blocks.push_back({freeblocks[i], i});
  }
  std::sort(blocks.begin(), blocks.end(),
            [](const Block& a, const Block& b) { return a.offset < b.offset; });
  const bool haveBlocks = !freeblocks.empty() && freeblocks[0] != 0;
  const uint16_t firstBlock = haveBlocks ? freeblocks[0] : 0;

  // For each distinct cell offset (ascending), the extent. The intervals
  // between neighbouring cells are disjoint, so one sweep over the sorted
  // free blocks finds the one listed last inside each interval.
  std::vector<uint32_t> extentOfCell(cells.size(), 0);
  size_t b = 0;
  for (size_t k = 0; k < cells.size(); ++k) {
    const uint16_t c = cells[k];
    if (k + 1 < cells.size()) {
      const uint16_t e = cells[k + 1];
      while (b < blocks.size() && blocks[b].offset <= c) ++b;
      size_t bestIndex = 0;
      uint16_t best = 0;
      bool found = false;
      size_t j = b;
      while (j < blocks.size() && blocks[j].offset < e) {
        if (!found || blocks[j].listIndex > bestIndex) {
          bestIndex = blocks[j].listIndex;
          best = blocks[j].offset;
          found = true;
        }
        ++j;
      }
      b = j;
      extentOfCell[k] = static_cast<uint32_t>((found ? best : e) - c);
    } else if (haveBlocks && firstBlock > c) {
      extentOfCell[k] = static_cast<uint32_t>(firstBlock - c);
    }
  }
  for (size_t i = 0; i < n; ++i) {
    const size_t k = static_cast<size_t>(
        std::lower_bound(cells.begin(), cells.end(), cellOffsets[i]) - cells.begin());
    extents[i] = extentOfCell[k];
  }
  return extents;
}

uint32_t CellLimit(uint32_t pageSize, uint16_t cellOffset, uint32_t extent) {
  if (cellOffset >= pageSize) return pageSize;
  const uint64_t end = extent == 0 ? pageSize : static_cast<uint64_t>(cellOffset) + extent;
  return static_cast<uint32_t>(std::min<uint64_t>(end, pageSize));
}

bool ReadBE16(Reader& r, uint64_t offset, uint16_t& value) {
  uint8_t b[2];
  if (r.ReadAt(offset, b, 2) != 2) return false;
  value = static_cast<uint16_t>((b[0] << 8) | b[1]);
  return true;
}

bool ReadBE32(Reader& r, uint64_t offset, uint32_t& value) {
  uint8_t b[4];
  if (r.ReadAt(offset, b, 4) != 4) return false;
  value = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
          (static_cast<uint32_t>(b[2]) << 8) | b[3];
  return true;
}

bool ReadVarint(Reader& r, uint64_t offset, uint64_t limit, uint64_t& value, uint32_t& length) {
  uint8_t b[9];
  if (offset >= limit) return false;
  const uint64_t want = std::min<uint64_t>(9, limit - offset);
  const size_t got = r.ReadAt(offset, b, static_cast<size_t>(want));
  uint64_t v = 0;
  for (size_t i = 0; i < got; ++i) {
    if (i == 8) {
      value = (v << 8) | b[8];
      length = 9;
      return true;
    }
    v = (v << 7) | (b[i] & 0x7F);
    if ((b[i] & 0x80) == 0) {
      value = v;
      length = static_cast<uint32_t>(i + 1);
      return true;
    }
  }
  return false;
}

void InteriorChildren(const uint8_t* bytes, size_t available, uint64_t page, const PageHeader& h,
                      std::vector<uint32_t>& children) {
  children.clear();
  const size_t array = (page == 1 ? kDatabaseHeaderSize : 0) + kInteriorPageHeaderSize;
  for (size_t i = 0; i < h.cellCount; ++i) {
    const size_t at = array + 2 * i;
    if (at + 2 > available) break;
    const size_t cell = Be16(bytes + at);
    if (cell + 4 > available) continue;
    children.push_back(Be32(bytes + cell));
  }
}

const uint8_t* ReadPage(Reader& reader, const PageGeometry& g, uint64_t page,
                        std::vector<uint8_t>& buffer, size_t& available) {
  available = 0;
  if (page == 0 || page > g.pageCount || g.pageSize == 0) return nullptr;
  const uint64_t start = PageOffset(g, page);
  if (start >= g.fileLength) return nullptr;
  available = static_cast<size_t>(std::min<uint64_t>(g.pageSize, g.fileLength - start));
  if (const uint8_t* memory = reader.Bytes()) return memory + start;
  buffer.resize(g.pageSize);
  available = reader.ReadAt(start, buffer.data(), available);
  return available == 0 ? nullptr : buffer.data();
}

bool EnterTreePage(std::vector<bool>& used, uint64_t page, int depth, size_t pageTableSize,
                   const PageGeometry& g) {
  if (depth > kMaxTreeDepth) return false;
  if (page == 0 || page > pageTableSize || page > g.pageCount || page >= used.size()) return false;
  if (used[page]) return false;
  used[page] = true;
  return true;
}

PageReader::PageReader(Reader& reader, const PageGeometry& g) : reader_(reader), g_(g) {}

const uint8_t* PageReader::Get(uint64_t page, size_t& available) {
  return ReadPage(reader_, g_, page, buffer_, available);
}

}  // namespace korvel
