#include "format3/index_tree_records.h"

#include <algorithm>
#include <memory>

#include "core/app_title.h"
#include "format3/statement_parser.h"
#include "format3/page_layout.h"

namespace korvel::format3 {

namespace {

bool IsIndexLeaf(const PageHeader& h) { return h.pageType == 10; }

// Pages of the tree, each taken at most once per walk.
class IndexPages {
 public:
  IndexPages(const sqlite_base& engine, Reader& reader, const PageGeometry& g)
      : engine_(engine), reader_(reader), g_(g), used_(g.pageCount + 1, false) {}

  // True when page is an unused page of the page table; marks it used.
  bool Enter(uint64_t page, int depth) {
    return EnterTreePage(used_, page, depth, engine_.model.pageTable.size(), g_);
  }

  // The bytes of the page that lie in the file (into buffer unless the
  // reader holds the file in memory); null when none do.
  const uint8_t* Get(uint64_t page, std::vector<uint8_t>& buffer, size_t& available) {
    return ReadPage(reader_, g_, page, buffer, available);
  }

  bool TakeOnce(uint64_t page) {
    if (page == 0 || page > g_.pageCount || used_[page]) return false;
    used_[page] = true;
    return true;
  }

  const sqlite_base& engine() const { return engine_; }
  Reader& reader() { return reader_; }
  const PageGeometry& geometry() const { return g_; }

 private:
  const sqlite_base& engine_;
  Reader& reader_;
  PageGeometry g_;
  std::vector<bool> used_;
};

// The cell offsets of an index page, from its cell pointer array; pointers
// beyond the bytes of the page end the array.
std::vector<uint16_t> CellOffsets(const uint8_t* bytes, size_t available, uint64_t page,
                                  const PageHeader& h) {
  std::vector<uint16_t> offsets;
  const size_t array = (page == 1 ? kDatabaseHeaderSize : 0) +
                       (IsIndexLeaf(h) ? kLeafPageHeaderSize : kInteriorPageHeaderSize);
  for (size_t i = 0; i < h.cellCount; ++i) {
    const size_t at = array + 2 * i;
    if (at + 2 > available) break;
    offsets.push_back(Be16(bytes + at));
  }
  return offsets;
}

uint64_t Count(IndexPages& pages, uint64_t page, int depth) {
  if (!pages.Enter(page, depth)) return 0;
  const PageHeader& h = pages.engine().model.pageTable[page - 1];
  if (!IsIndexTreePage(h)) return 0;
  if (IsIndexLeaf(h)) return h.cellCount;
  std::vector<uint8_t> buffer;
  size_t available = 0;
  const uint8_t* bytes = pages.Get(page, buffer, available);
  if (bytes == nullptr) return 0;
  uint64_t total = 0;
  for (uint16_t cell : CellOffsets(bytes, available, page, h)) {
    ++total;
    if (static_cast<size_t>(cell) + 4 <= available) total += Count(pages, Be32(bytes + cell), depth + 1);
  }
  return total + Count(pages, h.rightMostChild, depth + 1);
}

class IndexTreeWalk final : public OverflowPageSource {
 public:
  IndexTreeWalk(sqlite_base& engine, EngineHost& host, Reader& reader, const PageGeometry& g,
                IndexTreeJob& job)
      : engine_(engine), host_(host), pages_(engine, reader, g), job_(job) {
    job_.layout.indexCells = true;
    job_.layout.keyColumn = -1;  // no rowid to put back
    order_ = RecordToDeclaredOrder(job_.layout.columnCount, job_.keyColumns);
    reader_ = std::make_unique<RecordReader>(job_.layout, *this);
  }

  // Reads the subtree below page, in key order.
  void Walk(uint64_t page, int depth) {
    if (host_.StopRequested()) return;
    const PageGeometry& g = pages_.geometry();
    if (g.pageSize == 0 || g.headerPosition + page * g.pageSize > g.fileLength) {
      host_.ShowMessage(kFileIsCorrupted, kAppTitle, MessageButtons::Ok, MessageIcon::None);
      return;
    }
    if (!pages_.Enter(page, depth)) return;
    const PageHeader h = engine_.model.pageTable[page - 1];
    if (!IsIndexTreePage(h)) return;
    std::vector<uint8_t> buffer;
    size_t available = 0;
    const uint8_t* bytes = pages_.Get(page, buffer, available);
    if (bytes == nullptr) return;
    const std::vector<uint16_t> offsets = CellOffsets(bytes, available, page, h);
    const std::vector<uint32_t> extents =
        ComputeCellExtents(offsets, ReadFreeblockList(pages_.reader(), g, page, h));
    const bool leaf = IsIndexLeaf(h);
    for (size_t i = 0; i < offsets.size(); ++i) {
      if (host_.StopRequested()) {
        host_.SetProgressPos(job_.stopPosition);
        return;
      }
      const uint16_t cell = offsets[i];
      if (!leaf && static_cast<size_t>(cell) + 4 <= available) {
        Walk(Be32(bytes + cell), depth + 1);
        if (host_.StopRequested()) {
          host_.SetProgressPos(job_.stopPosition);
          return;
        }
      }
      const uint32_t limit = CellLimit(g.pageSize, cell, extents[i]);
      if (!Record(bytes, available, leaf ? cell : cell + 4u, limit)) return;
    }
    if (!leaf) Walk(h.rightMostChild, depth + 1);
  }

  const uint8_t* TakeOverflowPage(uint64_t page, size_t& available) override {
    available = 0;
    if (!pages_.TakeOnce(page)) return nullptr;
    return pages_.Get(page, overflowBuffer_, available);
  }

 private:
  // Reads and hands on one record; false when the rest of the page cannot
  // be read.
  bool Record(const uint8_t* bytes, size_t available, uint32_t offset, uint32_t limit) {
    ScanSettings& settings = host_.Settings();
    if (job_.saving) {
      host_.SetProgressPos(settings.progressCounter++);
    } else {
      host_.SetProgressPos(engine_.engineProgressCounter++);
    }
    const RecordDamage damage = reader_->Read(bytes, available, offset, limit, record_);
    const DamageEffect effect = ReportRecordDamage(host_, damage);
    if (effect == DamageEffect::EndPage) return false;
    if (effect == DamageEffect::Skip) return true;
    Deliver();
    return true;
  }

  void Deliver() {
    const std::vector<RecordValue>& values = record_.values;
    const bool complete = values.size() == order_.size();
    if (job_.saving) {
      RecordInsertTarget* target = engine_.insertTarget;
      if (target == nullptr) return;
      ++host_.Settings().rowsInserted;
      // A record that damage cut short keeps its fewer values, so that the
      // repaired database refuses it as it refuses any such record.
      if (!complete) {
        target->ExecuteRecordInsert(*job_.tableName, values);
        return;
      }
      declared_.resize(order_.size());
      for (size_t i = 0; i < values.size(); ++i) declared_[order_[i]] = values[i];
      target->ExecuteRecordInsert(*job_.tableName, declared_);
      return;
    }
    // The record list shows what arrived in its own columns; the columns
    // damage left out stay empty.
    RecordRow row(order_.size());
    for (size_t i = 0; i < values.size() && i < order_.size(); ++i) {
      row[order_[i]] = DisplayText(values[i]);
    }
    host_.AddRecordRow(std::move(row));
  }

  sqlite_base& engine_;
  EngineHost& host_;
  IndexPages pages_;
  IndexTreeJob& job_;
  std::vector<int> order_;
  std::unique_ptr<RecordReader> reader_;
  CarvedRecord record_;
  std::vector<RecordValue> declared_;
  std::vector<uint8_t> overflowBuffer_;
};

}  // namespace

bool IsIndexTreePage(const PageHeader& h) { return h.pageType == 10 || h.pageType == 2; }

std::vector<int> RecordToDeclaredOrder(int columnCount, const std::vector<int>& keyColumns) {
  std::vector<int> order;
  if (columnCount <= 0) return order;
  std::vector<bool> taken(static_cast<size_t>(columnCount), false);
  for (int k : keyColumns) {
    if (k < 0 || k >= columnCount || taken[k]) continue;
    taken[k] = true;
    order.push_back(k);
  }
  for (int c = 0; c < columnCount; ++c) {
    if (!taken[c]) order.push_back(c);
  }
  return order;
}

std::vector<int> WithoutRowidKeyOf(const RecoveredModel& model, int64_t rootPage,
                                   const std::u16string& tableName) {
  std::vector<int> found;
  bool haveFound = false;
  std::vector<int> key;
  for (const std::u16string& descriptor : model.tableDescriptors) {
    if (!ParseWithoutRowidKey(descriptor, key)) continue;
    const TableDescriptorParts parts = ParseTableDescriptor(descriptor);
    if (parts.rootPage != rootPage) continue;
    if (parts.tableName == tableName) return key;
    if (!haveFound) {
      found = key;
      haveFound = true;
    }
  }
  return found;
}

uint64_t CountIndexTreeEntries(const sqlite_base& engine, Reader& reader, const PageGeometry& g,
                               uint64_t rootPage) {
  IndexPages pages(engine, reader, g);
  return Count(pages, rootPage, 0);
}

void LoadIndexTreeRecords(sqlite_base& engine, EngineHost& host, Reader& reader,
                          const PageGeometry& g, uint64_t rootPage, IndexTreeJob& job) {
  IndexTreeWalk walk(engine, host, reader, g, job);
  walk.Walk(rootPage, 0);
}

}  // namespace korvel::format3
