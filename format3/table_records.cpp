// The table record operation of the format-3 engine: the walk of one
// table's b-tree from its root page down to its leaf pages, every leaf cell
// decoded into a record, shown in the record list while previewing or handed
// to the repaired database while saving; and the entry counts that the
// progress display and the save use.

#include <algorithm>
#include <memory>
#include <vector>

#include "core/app_title.h"
#include "core/reader.h"
#include "format3/index_tree_records.h"
#include "format3/page_layout.h"
#include "format3/record_reader.h"
#include "format3/sqlite_ver3.h"
#include "format3/text_encoding_choice.h"

namespace korvel {

namespace {

using format3::CarvedRecord;
using format3::RecordDamage;
using format3::RecordLayout;
using format3::RecordReader;
using format3::TextEncoding;

// The most columns a table of the format can have.
constexpr int kMaxColumns = 32767;

constexpr char16_t kFileCorrupted[] = u"File is corrupted";


// The text encoding of the table texts: the one the scan settled, else the
// one chosen for the file or named by its header.
TextEncoding ChooseEncoding(const sqlite_ver3& engine, Reader& reader, const PageGeometry& g) {
  if (engine.textEncodingSettled) return engine.textEncoding;
  uint8_t field = 0;
  reader.ReadAt(g.headerPosition + 59, &field, 1);
  return format3::ChooseTextEncoding(engine.utf8Chosen, engine.utf16Chosen, field, reader, g)
      .encoding;
}

// Page size less the bytes reserved at the end of every page (header byte
// 20). The byte is trusted only when the three fixed bytes after it (the
// payload fractions 64, 32, 32) are intact: a damaged header must not shift
// every overflow value of the file.
uint32_t UsableSize(Reader& reader, const PageGeometry& g) {
  uint8_t bytes[4] = {};
  if (reader.ReadAt(g.headerPosition + 20, bytes, 4) != 4) return g.pageSize;
  const uint8_t reserved = bytes[0];
  if (bytes[1] != 64 || bytes[2] != 32 || bytes[3] != 32) return g.pageSize;
  if (g.pageSize < 480u + reserved) return g.pageSize;
  return g.pageSize - reserved;
}

bool IsLeaf(const PageHeader& h) { return static_cast<int8_t>(h.pageType) >= 11; }
bool IsInterior(const PageHeader& h) { return h.pageType == 5; }

// One walk of a table b-tree from its root page. Every page, b-tree or
// overflow, is used at most once per walk, so a damaged page that points
// back at an ancestor or at another cell's overflow chain cannot make the
// walk loop or read the file over and over.
class TableWalk final : public format3::OverflowPageSource {
 public:
  TableWalk(sqlite_base& engine, EngineHost& host, Reader& reader, const PageGeometry& g)
      : engine_(engine),
        host_(host),
        g_(g),
        treePages_(reader, g),
        overflowPages_(reader, g),
        used_(g.pageCount + 1, false) {}

  // Cells of the leaf pages below page.
  uint64_t Count(uint64_t page, int depth) {
    if (!Enter(page, depth)) return 0;
    const PageHeader& h = engine_.model.pageTable[page - 1];
    if (IsLeaf(h)) return h.cellCount;
    if (!IsInterior(h)) return 0;
    size_t available = 0;
    const uint8_t* bytes = treePages_.Get(page, available);
    if (bytes == nullptr) return 0;
    std::vector<uint32_t> children;
    InteriorChildren(bytes, available, page, h, children);
    uint64_t total = 0;
    for (uint32_t child : children) total += Count(child, depth + 1);
    return total + Count(h.rightMostChild, depth + 1);
  }

  // Reads the records of the table below page.
  struct RecordJob {
    const std::u16string* tableName = nullptr;
    RecordLayout layout;
    bool saving = false;
    uint64_t stopPosition = 0;  // progress position sent when a stop ends the walk
  };

  void Records(RecordJob& job) {
    job_ = &job;
    reader_ = std::make_unique<RecordReader>(job.layout, *this);
  }

  void Walk(uint64_t page, int depth) {
    if (host_.StopRequested()) return;
    if (g_.pageSize == 0 || g_.headerPosition + page * g_.pageSize > g_.fileLength) {
      host_.ShowMessage(kFileCorrupted, kAppTitle, MessageButtons::Ok, MessageIcon::None);
      return;
    }
    if (!Enter(page, depth)) return;
    const PageHeader h = engine_.model.pageTable[page - 1];
    if (IsLeaf(h)) {
      Leaf(page, h);
      if (host_.StopRequested()) return;
    }
    if (!IsInterior(h)) return;
    size_t available = 0;
    const uint8_t* bytes = treePages_.Get(page, available);
    if (bytes == nullptr) return;
    std::vector<uint32_t> children;
    InteriorChildren(bytes, available, page, h, children);
    for (uint32_t child : children) {
      if (host_.StopRequested()) {
        host_.SetProgressPos(job_->stopPosition);
        return;
      }
      Walk(child, depth + 1);
    }
    Walk(h.rightMostChild, depth + 1);
  }

  const uint8_t* TakeOverflowPage(uint64_t page, size_t& available) override {
    available = 0;
    if (page == 0 || page > g_.pageCount || used_[page]) return nullptr;
    used_[page] = true;
    return overflowPages_.Get(page, available);
  }

 private:
  // True when page is a page of the page table that this walk has not used.
  bool Enter(uint64_t page, int depth) {
    return EnterTreePage(used_, page, depth, engine_.model.pageTable.size(), g_);
  }

  void Leaf(uint64_t page, const PageHeader& h) {
    Reader& reader = *host_.Settings().reader;
    const std::vector<uint16_t> offsets = ReadLeafCellPointers(reader, g_, page, h);
    const std::vector<uint32_t> extents =
        ComputeCellExtents(offsets, ReadFreeblockList(reader, g_, page, h));
    size_t available = 0;
    const uint8_t* bytes = treePages_.Get(page, available);
    if (bytes == nullptr) return;
    ScanSettings& settings = host_.Settings();
    for (size_t i = 0; i < offsets.size(); ++i) {
      if (host_.StopRequested()) {
        host_.SetProgressPos(job_->stopPosition);
        return;
      }
      if (job_->saving) {
        host_.SetProgressPos(settings.progressCounter++);
      } else {
        host_.SetProgressPos(engine_.engineProgressCounter++);
      }
      const uint32_t limit = CellLimit(g_.pageSize, offsets[i], extents[i]);
      const RecordDamage damage = reader_->Read(bytes, available, offsets[i], limit, record_);
      const format3::DamageEffect effect = format3::ReportRecordDamage(host_, damage);
      // After PastEndOfFile the rest of the page lies beyond the end of the
      // file as well.
      if (effect == format3::DamageEffect::EndPage) return;
      if (effect == format3::DamageEffect::Skip) continue;
      Deliver();
    }
  }

  void Deliver() {
    if (job_->saving) {
      RecordInsertTarget* target = engine_.insertTarget;
      if (target == nullptr) return;
      ++host_.Settings().rowsInserted;
      target->ExecuteRecordInsert(*job_->tableName, record_.values);
      return;
    }
    RecordRow row;
    row.reserve(record_.values.size());
    for (const RecordValue& v : record_.values) row.push_back(format3::DisplayText(v));
    host_.AddRecordRow(std::move(row));
  }

  sqlite_base& engine_;
  EngineHost& host_;
  PageGeometry g_;
  PageReader treePages_;      // the b-tree page being read
  PageReader overflowPages_;  // the overflow page being read
  std::vector<bool> used_;
  RecordJob* job_ = nullptr;
  std::unique_ptr<RecordReader> reader_;
  CarvedRecord record_;
};

}  // namespace

uint64_t sqlite_ver3::CountTableEntries(int64_t rootPage) {
  if (owner == nullptr || rootPage <= 0) return 0;
  if (unreached.TableOf(rootPage) != nullptr) return unreached.ExtraRows(rootPage);
  ScanSettings& settings = owner->Settings();
  if (settings.reader == nullptr) return 0;
  const PageGeometry g = GeometryOf(settings);
  if (g.pageSize == 0) return 0;
  const uint64_t root = static_cast<uint64_t>(rootPage);
  if (root <= model.pageTable.size() && format3::IsIndexTreePage(model.pageTable[root - 1])) {
    return format3::CountIndexTreeEntries(*this, *settings.reader, g, root);
  }
  TableWalk walk(*this, *owner, *settings.reader, g);
  return walk.Count(root, 0) + unreached.ExtraRows(rootPage);
}

uint64_t sqlite_ver3::CountTableRows(const std::string&, int64_t rootPage) {
  return CountTableEntries(rootPage);
}

uint64_t sqlite_ver3::CountCheckedEntries() {
  if (owner == nullptr) return 0;
  TreeOps& tree = owner->Tree();
  TreeItem tables = owner->Settings().tablesGroup;
  if (tables == kNoItem) tables = tree.GetChildItem(tree.GetRootItem());
  if (tables == kNoItem) return 0;
  uint64_t total = 0;
  for (TreeItem group : {tables, owner->Settings().deletedGroup}) {
    if (group == kNoItem) continue;
    for (TreeItem item = tree.GetChildItem(group); item != kNoItem;
         item = tree.GetNextSiblingItem(item)) {
      if (tree.GetCheck(item) != 1) continue;
      const int32_t index = tree.GetItemData(item);
      if (index < 0 || static_cast<size_t>(index) >= model.tableDescriptors.size()) continue;
      total += CountTableEntries(ParseTableDescriptor(model.tableDescriptors[index]).rootPage);
    }
  }
  return total;
}

void sqlite_ver3::LoadTableRecords(const std::string&, int64_t rootPage, int columnCount,
                                   const std::u16string& tableName, int keyColumnMarker) {
  if (owner == nullptr) return;
  EngineHost& host = *owner;
  if (host.StopRequested()) return;
  ScanSettings& settings = host.Settings();
  if (settings.reader == nullptr) return;
  const PageGeometry g = GeometryOf(settings);
  const bool saving = settings.saveMode != 0;

  uint64_t count = 0;
  if (!saving && engineProgressCounter == 0) {
    count = CountTableEntries(rootPage);
    host.SetProgressRange(count);
    engineProgressCounter = 1;
  }

  if (rootPage < 0) return;  // no page of the file
  if (unreached.TableOf(rootPage) != nullptr) {
    format3::DeliverUnreachedRows(*this, host, unreached, rootPage, tableName, count);
    return;
  }
  if (g.pageSize == 0 ||
      g.headerPosition + static_cast<uint64_t>(rootPage) * g.pageSize > g.fileLength) {
    host.ShowMessage(kFileCorrupted, kAppTitle, MessageButtons::Ok, MessageIcon::None);
    return;
  }

  TableWalk::RecordJob job;
  job.layout.encoding = ChooseEncoding(*this, *settings.reader, g);
  job.tableName = &tableName;
  job.saving = saving;
  job.stopPosition = count;
  job.layout.pageSize = g.pageSize;
  job.layout.usableSize = UsableSize(*settings.reader, g);
  job.layout.pageCount = g.pageCount;
  job.layout.columnCount = std::clamp(columnCount, 0, kMaxColumns);
  job.layout.keyColumn = keyColumnMarker > 9 ? keyColumnMarker - 10 : -1;
  job.layout.valueCap = g.fileLength;

  const uint64_t root = static_cast<uint64_t>(rootPage);
  if (root >= 1 && root <= model.pageTable.size() &&
      format3::IsIndexTreePage(model.pageTable[root - 1])) {
    // A table without rowid: its rows live in an index b-tree.
    format3::IndexTreeJob rows;
    rows.tableName = &tableName;
    rows.layout = job.layout;
    rows.keyColumns = format3::WithoutRowidKeyOf(model, rootPage, tableName);
    rows.saving = saving;
    rows.stopPosition = count;
    format3::LoadIndexTreeRecords(*this, host, *settings.reader, g, root, rows);
    return;
  }
  TableWalk walk(*this, host, *settings.reader, g);
  walk.Records(job);
  walk.Walk(static_cast<uint64_t>(rootPage), 0);
  format3::DeliverUnreachedRows(*this, host, unreached, rootPage, tableName, count);
}

}  // namespace korvel
