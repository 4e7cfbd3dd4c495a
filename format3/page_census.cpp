#include "format3/page_census.h"

#include <algorithm>

#include "format3/record_reader.h"
#include "format3/page_layout.h"

namespace korvel::format3 {

namespace {


bool IsInteriorType(uint8_t type) { return type == 5 || type == 2; }

// Where the b-tree page header of a page starts within its bytes.
size_t HeaderStart(uint64_t page) { return page == 1 ? kDatabaseHeaderSize : 0; }

}  // namespace

std::vector<uint64_t> PageCensus::OrphanLeaves(const std::vector<PageHeader>& pageTable) const {
  std::vector<uint64_t> out;
  const size_t pages = std::min(pageTable.size() + 1, use.size());
  for (size_t page = 1; page < pages; ++page) {
    if (use[page] == PageUse::Unreached && pageTable[page - 1].pageType == 13) {
      out.push_back(page);
    }
  }
  return out;
}

PageCensus TakePageCensus(PageReader& pages, const PageGeometry& g,
                          const std::vector<PageHeader>& pageTable,
                          const std::vector<int64_t>& roots, uint32_t usableSize) {
  PageCensus census;
  const uint64_t pageCount = std::min<uint64_t>(g.pageCount, pageTable.size());
  census.use.assign(pageCount + 1, PageUse::Unreached);
  census.owner.assign(pageCount + 1, -1);
  auto usable = [&](uint64_t page) { return page >= 1 && page <= pageCount; };

  std::vector<uint64_t> order{1};
  for (int64_t root : roots) {
    if (root > 0 && static_cast<uint64_t>(root) != 1) order.push_back(static_cast<uint64_t>(root));
  }
  std::vector<uint64_t> stack;
  std::vector<uint32_t> children;
  for (uint64_t root : order) {
    if (!usable(root) || census.use[root] != PageUse::Unreached) continue;
    const int32_t owner = static_cast<int32_t>(census.roots.size());
    census.roots.push_back(root);
    stack.assign(1, root);
    while (!stack.empty()) {
      const uint64_t page = stack.back();
      stack.pop_back();
      if (!usable(page) || census.use[page] != PageUse::Unreached) continue;
      census.use[page] = PageUse::Tree;
      census.owner[page] = owner;
      const PageHeader& h = pageTable[page - 1];
      if (!IsInteriorType(h.pageType)) continue;
      size_t available = 0;
      const uint8_t* bytes = pages.Get(page, available);
      if (bytes == nullptr) continue;
      InteriorChildren(bytes, available, page, h, children);
      // Pushed right to left, so that pages are taken in key order.
      stack.push_back(h.rightMostChild);
      for (size_t i = children.size(); i-- > 0;) stack.push_back(children[i]);
    }
  }

  // The freelist: trunk pages chained from header offset 32, each naming
  // its leaf pages after an 8-byte head.
  size_t available = 0;
  const uint8_t* first = pages.Get(1, available);
  if (first == nullptr || available < 40) return census;
  uint64_t trunk = Be32(first + 32);
  const size_t maxLeaves = usableSize >= 8 ? usableSize / 4 - 2 : 0;
  while (usable(trunk) && census.use[trunk] == PageUse::Unreached) {
    census.use[trunk] = PageUse::FreelistTrunk;
    census.freelist.push_back(trunk);
    const uint8_t* bytes = pages.Get(trunk, available);
    if (bytes == nullptr || available < 8) break;
    const uint64_t next = Be32(bytes);
    const size_t leaves = std::min<size_t>(Be32(bytes + 4), maxLeaves);
    for (size_t i = 0; i < leaves && 8 + 4 * i + 4 <= available; ++i) {
      const uint64_t leaf = Be32(bytes + 8 + 4 * i);
      if (!usable(leaf) || census.use[leaf] != PageUse::Unreached) continue;
      census.use[leaf] = PageUse::FreelistLeaf;
      census.freelist.push_back(leaf);
    }
    trunk = next;
  }
  return census;
}

std::vector<int64_t> SchemaRootPages(PageReader& pages, const PageGeometry& g,
                                     const std::vector<PageHeader>& pageTable,
                                     uint32_t usableSize) {
  std::vector<int64_t> roots;
  const PageCensus schema = TakePageCensus(pages, g, pageTable, {}, usableSize);
  for (size_t page = 1; page < schema.use.size(); ++page) {
    if (schema.owner[page] != 0 || pageTable[page - 1].pageType != 13) continue;
    size_t available = 0;
    const uint8_t* bytes = pages.Get(page, available);
    if (bytes == nullptr) continue;
    const PageHeader& h = pageTable[page - 1];
    const size_t array = HeaderStart(page) + kLeafPageHeaderSize;
    for (size_t i = 0; i < h.cellCount; ++i) {
      if (array + 2 * i + 2 > available) break;
      const uint8_t* p = bytes + Be16(bytes + array + 2 * i);
      const uint8_t* end = bytes + available;
      if (p >= end) continue;
      uint64_t payload = 0, rowid = 0, headerSize = 0;
      size_t n = ReadVarint(p, end, payload);
      if (n == 0) continue;
      p += n;
      n = ReadVarint(p, end, rowid);
      if (n == 0) continue;
      p += n;
      const uint8_t* header = p;
      n = ReadVarint(p, end, headerSize);
      if (n == 0 || headerSize < n || headerSize > static_cast<uint64_t>(end - header)) continue;
      const uint8_t* headerEnd = header + headerSize;
      p += n;
      // type, name, table name: skipped by their sizes; then the root page.
      uint64_t skip = 0;
      uint64_t types[4] = {};
      bool whole = true;
      for (uint64_t& t : types) {
        n = ReadVarint(p, headerEnd, t);
        if (n == 0) {
          whole = false;
          break;
        }
        p += n;
      }
      if (!whole || types[3] < 1 || types[3] > 6) continue;
      for (int c = 0; c < 3; ++c) skip += SerialTypeSize(types[c]);
      const uint64_t size = SerialTypeSize(types[3]);
      if (skip > static_cast<uint64_t>(end - headerEnd) ||
          size > static_cast<uint64_t>(end - headerEnd) - skip) {
        continue;
      }
      const uint8_t* value = headerEnd + skip;
      uint64_t root = 0;
      for (uint64_t k = 0; k < size; ++k) root = (root << 8) | value[k];
      if (root > 0 && root <= g.pageCount) roots.push_back(static_cast<int64_t>(root));
    }
  }
  return roots;
}

}  // namespace korvel::format3
