#pragma once
// Which pages of a format-3 file the database still uses: the pages that the
// walk of some table's or index's b-tree reaches, and the trunk and leaf
// pages of the freelist. Every other table-leaf page is an orphan, a page
// whose records no walk reads.
//
// The census walks interior pages only: the page table from the scan holds
// every page's header, so a leaf is known by its type and costs nothing.

#include <cstdint>
#include <vector>

#include "core/reader.h"
#include "core/recovered_model.h"
#include "format3/page_layout.h"

namespace korvel::format3 {

enum class PageUse : uint8_t { Unreached = 0, Tree, FreelistTrunk, FreelistLeaf };

struct PageCensus {
  // Indexed by page number (entry 0 unused).
  std::vector<PageUse> use;
  // For a tree page: the index in roots of the root whose walk reached it
  // first; -1 for every other page.
  std::vector<int32_t> owner;
  std::vector<uint64_t> roots;
  // Freelist pages in chain order, trunks and leaves.
  std::vector<uint64_t> freelist;

  // Table-leaf pages (type 13) that no walk reached and that are not on the
  // freelist, in page order.
  std::vector<uint64_t> OrphanLeaves(const std::vector<PageHeader>& pageTable) const;
};

// Walks the b-tree below each root (page 1 is always walked first; roots
// that are 0, repeated or outside the file are passed over) and the freelist
// named by the database header. Loops and damaged pointers end a chain,
// never the census.
PageCensus TakePageCensus(PageReader& pages, const PageGeometry& g,
                          const std::vector<PageHeader>& pageTable,
                          const std::vector<int64_t>& roots, uint32_t usableSize);

// The root page numbers that the records of the schema b-tree (below page 1)
// name, whatever kind of object each belongs to. Records are taken as they
// stand; a damaged one gives no root.
std::vector<int64_t> SchemaRootPages(PageReader& pages, const PageGeometry& g,
                                     const std::vector<PageHeader>& pageTable,
                                     uint32_t usableSize);

}  // namespace korvel::format3
