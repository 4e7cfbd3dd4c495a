#include "format3/unreached_records.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "core/reader.h"
#include "core/text_codec.h"
#include "format3/deleted_records.h"
#include "format3/orphan_pages.h"
#include "format3/page_census.h"
#include "format3/sqlite_ver3.h"

namespace korvel::format3 {

namespace {

RecordValue TextValue(std::u16string_view text) { return RecordValue::Text(std::u16string(text)); }

// A 64-bit hash of a row's values; the column skip (the key column of a
// record whose rowid was lost) counts as NULL.
uint64_t Fingerprint(const std::vector<RecordValue>& values, int skip) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) {
      h ^= p[i];
      h *= 1099511628211ull;
    }
  };
  for (size_t i = 0; i < values.size(); ++i) {
    const RecordValue& v = values[i];
    const auto kind = static_cast<uint8_t>(static_cast<int>(i) == skip ? RecordValue::Kind::Null
                                                                        : v.kind);
    mix(&kind, 1);
    if (static_cast<int>(i) == skip) continue;
    switch (v.kind) {
      case RecordValue::Kind::Null: break;
      case RecordValue::Kind::Integer: mix(&v.integer, sizeof v.integer); break;
      case RecordValue::Kind::Real: mix(&v.real, sizeof v.real); break;
      case RecordValue::Kind::Text: {
        const uint64_t n = v.text.size();
        mix(&n, sizeof n);
        mix(&v.form, sizeof v.form);
        mix(v.text.data(), v.text.size());
        break;
      }
      case RecordValue::Kind::Blob: {
        const uint64_t n = v.blob.size();
        mix(&n, sizeof n);
        mix(v.blob.data(), v.blob.size());
        break;
      }
    }
  }
  return h;
}

// Page size less the bytes reserved at the end of every page, trusted only
// when the fixed bytes after it are intact.
uint32_t UsableSizeOf(Reader& reader, const PageGeometry& g) {
  uint8_t bytes[4] = {};
  if (reader.ReadAt(g.headerPosition + 20, bytes, 4) != 4) return g.pageSize;
  if (bytes[1] != 64 || bytes[2] != 32 || bytes[3] != 32) return g.pageSize;
  if (g.pageSize < 480u + bytes[0]) return g.pageSize;
  return g.pageSize - bytes[0];
}

// The encoding the scan settled on for the record texts.
TextEncoding EncodingOf(const sqlite_ver3& engine, bool utf16) {
  if (engine.textEncodingSettled) return engine.textEncoding;
  return utf16 ? TextEncoding::Utf16le : TextEncoding::Utf8;
}

// The rowids of the cells of a table-leaf page.
void LeafRowids(PageReader& pages, const PageGeometry& g, uint64_t page, const PageHeader& h,
                std::unordered_set<uint64_t>& out) {
  size_t available = 0;
  const uint8_t* bytes = pages.Get(page, available);
  if (bytes == nullptr) return;
  const size_t array = (page == 1 ? kDatabaseHeaderSize : 0) + kLeafPageHeaderSize;
  const uint8_t* end = bytes + available;
  for (size_t i = 0; i < h.cellCount && array + 2 * i + 2 <= available; ++i) {
    const size_t at = (bytes[array + 2 * i] << 8) | bytes[array + 2 * i + 1];
    if (at >= available) continue;
    uint64_t payload = 0, rowid = 0;
    const size_t n1 = ReadVarint(bytes + at, end, payload);
    if (n1 == 0 || ReadVarint(bytes + at + n1, end, rowid) == 0) continue;
    out.insert(rowid);
  }
}

// A name for the deleted records of a table: its own name with "_deleted"
// added, inside its quotes when it has any.
std::u16string DeletedTableName(const std::u16string& tableName) {
  std::u16string name = TrimBlanks(tableName);
  if (name.size() >= 2) {
    const char16_t open = name.front();
    const char16_t close = name.back();
    if ((open == u'"' && close == u'"') || (open == u'`' && close == u'`') ||
        (open == u'[' && close == u']') || (open == u'\'' && close == u'\'')) {
      return name.substr(0, name.size() - 1) + u"_deleted" + close;
    }
  }
  return name + u"_deleted";
}

// A column name as written, without its quotes, in capitals.
std::u16string BareUpper(std::u16string_view name) {
  std::u16string bare = TrimBlanks(name);
  if (bare.size() >= 2 && (bare.front() == u'"' || bare.front() == u'`' || bare.front() == u'[' ||
                           bare.front() == u'\'')) {
    bare = bare.substr(1, bare.size() - 2);
  }
  return AsciiUpper(bare);
}

const char16_t* TypeName(Affinity a) {
  switch (a) {
    case Affinity::Integer: return u"INTEGER";
    case Affinity::Text: return u"TEXT";
    case Affinity::Real: return u"REAL";
    case Affinity::Numeric: return u"NUMERIC";
    case Affinity::Blob: return u"BLOB";
  }
  return u"BLOB";
}

struct Column {
  std::u16string name;  // as written in the statement
  const char16_t* type;
};

// Appends one table made by the passes to the model's table lists, all at
// one index, and returns that index.
int AppendFoundTable(RecoveredModel& model, bool utf16, const std::u16string& name,
                     const std::vector<Column>& columns, int64_t rootPage) {
  std::u16string statement = u"CREATE TABLE " + name + u" (";
  std::u16string descriptor = name + u"+";
  std::u16string create = u"create Table [" + name + u"] ( ";
  std::vector<std::u16string> types;
  for (size_t i = 0; i < columns.size(); ++i) {
    const std::u16string separator = i == 0 ? u"" : u", ";
    statement += separator + columns[i].name + u" " + columns[i].type;
    descriptor += columns[i].name + u"~";
    create += separator + u"[" + columns[i].name + u"] " + columns[i].type;
    types.emplace_back(columns[i].type);
  }
  descriptor += u"#" + U16Number(static_cast<long long>(rootPage));
  const int index = static_cast<int>(model.tableDescriptors.size());
  if (utf16) {
    model.tableStatements16.push_back(statement);
  } else {
    model.tableStatements8.push_back(Utf16ToUtf8(statement));
  }
  model.tableDescriptors.push_back(descriptor);
  model.createStatements.push_back(create + u" )");
  model.columnTypes.push_back(std::move(types));
  return index;
}

// The location columns of a deleted table: page, offset and source, each
// renamed when the table has a column of that name.
std::vector<Column> LocationColumns(const std::vector<std::u16string>& taken) {
  std::vector<Column> out;
  const std::pair<const char16_t*, const char16_t*> wanted[] = {
      {u"page", u"INTEGER"}, {u"offset", u"INTEGER"}, {u"source", u"TEXT"}};
  for (const auto& [base, type] : wanted) {
    std::u16string name = base;
    auto used = [&](const std::u16string& n) {
      const std::u16string upper = AsciiUpper(n);
      for (const std::u16string& t : taken) {
        if (BareUpper(t) == upper) return true;
      }
      return false;
    };
    while (used(name)) name = u"found_" + name;
    out.push_back({name, type});
  }
  return out;
}

class Passes {
 public:
  explicit Passes(const UnreachedPassInputs& in)
      : in_(in),
        model_(in.engine.model),
        found_(in.engine.unreached),
        settings_(in.host.Settings()),
        pages_(in.reader, in.g) {
    layout_.pageSize = in.g.pageSize;
    layout_.usableSize = UsableSizeOf(in.reader, in.g);
    layout_.pageCount = in.g.pageCount;
    layout_.encoding = EncodingOf(in.engine, in.utf16);
    layout_.valueCap = in.g.fileLength;
  }

  void Run() {
    found_.Clear();
    realTables_ = model_.tableDescriptors.size();
    shapes_ = TableShapes(model_, realTables_, in_.utf16);
    std::vector<int64_t> roots =
        SchemaRootPages(pages_, in_.g, model_.pageTable, layout_.usableSize);
    for (const std::u16string& d : model_.tableDescriptors) {
      roots.push_back(ParseTableDescriptor(d).rootPage);
    }
    census_ = TakePageCensus(pages_, in_.g, model_.pageTable, roots, layout_.usableSize);
    rootOfShape_.assign(shapes_.size(), -1);
    shapeOfRoot_.assign(census_.roots.size(), -1);
    for (size_t r = 0; r < census_.roots.size(); ++r) {
      for (size_t s = 0; s < shapes_.size(); ++s) {
        if (static_cast<uint64_t>(shapes_[s].rootPage) == census_.roots[r]) {
          shapeOfRoot_[r] = static_cast<int>(s);
          rootOfShape_[s] = static_cast<int>(r);
        }
      }
    }
    if (settings_.recoverOrphans) Orphans();
    if (settings_.recoverDeleted) Deleted();
    AddTreeItems();
  }

 private:
  // The pages of the census that the walk from each shape's root reached.
  template <typename F>
  void ForEachLiveLeaf(const std::vector<bool>& wanted, F&& each) {
    for (size_t page = 1; page < census_.use.size(); ++page) {
      const int32_t owner = census_.owner[page];
      if (owner < 0 || model_.pageTable[page - 1].pageType != 13) continue;
      const int shape = shapeOfRoot_[owner];
      if (shape >= 0 && wanted[shape]) each(page, shape);
    }
  }

  void Orphans() {
    const std::vector<uint64_t> leaves = census_.OrphanLeaves(model_.pageTable);
    if (leaves.empty()) return;
    const OrphanInputs inputs{in_.reader, pages_, in_.g, model_.pageTable, layout_};
    std::vector<OrphanPage> orphans = ReadOrphanPages(inputs, leaves, shapes_);

    std::vector<bool> assigned(shapes_.size(), false);
    for (const OrphanPage& p : orphans) {
      if (p.shape >= 0) assigned[p.shape] = true;
    }
    std::vector<std::unordered_set<uint64_t>> rowids(shapes_.size());
    ForEachLiveLeaf(assigned, [&](uint64_t page, int shape) {
      LeafRowids(pages_, in_.g, page, model_.pageTable[page - 1], rowids[shape]);
    });

    FoundTable lost;
    size_t widest = 0;
    for (OrphanPage& p : orphans) {
      if (p.shape >= 0) {
        auto& rows = found_.orphanRows[shapes_[p.shape].rootPage];
        for (OrphanRecord& r : p.records) {
          // Once per rowid: the table's own rows first, then the first
          // orphan that holds it.
          if (!rowids[p.shape].insert(r.rowid).second) continue;
          rows.push_back(std::move(r.values));
        }
        continue;
      }
      for (OrphanRecord& r : p.records) {
        FoundRow row;
        row.values.push_back(RecordValue::Integer(static_cast<int64_t>(p.page)));
        row.values.push_back(RecordValue::Integer(r.cell));
        row.values.push_back(RecordValue::Integer(static_cast<int64_t>(r.rowid)));
        for (RecordValue& v : r.values) row.values.push_back(std::move(v));
        widest = std::max(widest, row.values.size() - 3);
        lost.rows.push_back(std::move(row));
      }
    }
    for (auto it = found_.orphanRows.begin(); it != found_.orphanRows.end();) {
      it = it->second.empty() ? found_.orphanRows.erase(it) : std::next(it);
    }
    if (lost.rows.empty()) return;
    for (FoundRow& row : lost.rows) row.values.resize(3 + widest, RecordValue::Null());
    std::vector<Column> columns = {{u"page", u"INTEGER"}, {u"cell", u"INTEGER"},
                                   {u"rowid", u"INTEGER"}};
    for (size_t i = 0; i < widest; ++i) {
      columns.push_back({u"c" + U16Number(static_cast<long long>(i)), u"BLOB"});
    }
    lostIndex_ = AppendFound(kLostAndFoundName, columns, std::move(lost));
  }

  void Deleted() {
    const CarveInputs inputs{in_.reader, pages_,   in_.g,   model_.pageTable,
                             layout_,    census_,  shapes_, shapeOfRoot_};
    std::vector<DeletedRecord> carved = CarveDeletedRecords(inputs);
    if (carved.empty()) return;

    // The live rows of the tables that have deleted records: whole, and
    // without the key column for records whose rowid was lost.
    std::vector<bool> wanted(shapes_.size(), false);
    for (const DeletedRecord& d : carved) wanted[d.shape] = true;
    std::vector<std::unordered_set<uint64_t>> live(shapes_.size());
    std::vector<std::unordered_set<uint64_t>> liveWithoutKey(shapes_.size());
    auto addLive = [&](int shape, const std::vector<RecordValue>& values) {
      live[shape].insert(Fingerprint(values, -1));
      liveWithoutKey[shape].insert(Fingerprint(values, shapes_[shape].keyColumn));
    };
    LeafRecords leafRecords(in_.reader, in_.g);
    ForEachLiveLeaf(wanted, [&](uint64_t page, int shape) {
      RecordLayout layout = layout_;
      layout.columnCount = shapes_[shape].columnCount;
      layout.keyColumn = shapes_[shape].keyColumn;
      leafRecords.Read(page, model_.pageTable[page - 1], layout,
                       [&](size_t, CarvedRecord& r) { addLive(shape, r.values); });
    });
    for (size_t s = 0; s < shapes_.size(); ++s) {
      if (!wanted[s]) continue;
      const auto orphans = found_.orphanRows.find(shapes_[s].rootPage);
      if (orphans == found_.orphanRows.end()) continue;
      for (const auto& values : orphans->second) addLive(static_cast<int>(s), values);
    }

    // Records whose rowid is known are compared whole, the others without
    // their key column; the first are taken first, so that a record found
    // twice, once with its rowid and once without, stays the one with it.
    std::vector<bool> dropped(carved.size(), false);
    std::vector<std::unordered_set<uint64_t>> seen(shapes_.size());
    std::vector<std::unordered_set<uint64_t>> seenWithoutKey(shapes_.size());
    for (bool known : {true, false}) {
      for (size_t i = 0; i < carved.size(); ++i) {
        const DeletedRecord& d = carved[i];
        if (d.rowidKnown != known) continue;
        const int key = shapes_[d.shape].keyColumn;
        const uint64_t whole = Fingerprint(d.values, -1);
        const uint64_t withoutKey = Fingerprint(d.values, key);
        if (known) {
          dropped[i] = live[d.shape].count(whole) != 0 || !seen[d.shape].insert(whole).second;
          if (!dropped[i]) seenWithoutKey[d.shape].insert(withoutKey);
        } else {
          dropped[i] = liveWithoutKey[d.shape].count(withoutKey) != 0 ||
                       !seenWithoutKey[d.shape].insert(withoutKey).second;
        }
      }
    }

    std::vector<FoundTable> tables(shapes_.size());
    for (size_t i = 0; i < carved.size(); ++i) {
      if (dropped[i]) continue;
      DeletedRecord& d = carved[i];
      FoundRow row;
      row.values = std::move(d.values);
      row.page = d.page;
      row.offset = d.offset;
      row.source = d.source == DeletedSource::Freeblock ? kDeletedSourceFreeblock
                                                        : kDeletedSourceFreelist;
      tables[d.shape].rows.push_back(std::move(row));
    }
    // In the order of the tables in the file.
    std::vector<size_t> order;
    for (size_t s = 0; s < shapes_.size(); ++s) {
      if (!tables[s].rows.empty()) order.push_back(s);
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      return shapes_[a].tableIndex < shapes_[b].tableIndex;
    });
    for (size_t s : order) {
      const TableShape& shape = shapes_[s];
      const TableDescriptorParts parts =
          ParseTableDescriptor(model_.tableDescriptors[shape.tableIndex]);
      std::vector<Column> columns;
      std::vector<std::u16string> names;
      for (size_t c = 0; c < parts.columnNames.size(); ++c) {
        std::u16string name = parts.columnNames[c];
        while (!name.empty() && name.back() == u'>') {
          const size_t mark = name.rfind(u"< P.K >");
          if (mark == std::u16string::npos) break;
          name.erase(mark);
        }
        names.push_back(name);
        columns.push_back({name, TypeName(shape.affinities[c])});
      }
      for (Column& c : LocationColumns(names)) columns.push_back(std::move(c));
      tables[s].deleted = true;
      deletedIndexes_.push_back(
          AppendFound(DeletedTableName(parts.tableName), columns, std::move(tables[s])));
    }
  }

  int AppendFound(const std::u16string& name, const std::vector<Column>& columns,
                  FoundTable table) {
    const int64_t root = kFoundTableRootBase + static_cast<int64_t>(found_.tables.size());
    found_.tables.push_back(std::move(table));
    return AppendFoundTable(model_, in_.utf16, name, columns, root);
  }

  void AddTreeItems() {
    TreeOps& tree = in_.host.Tree();
    auto nameOf = [&](int index) {
      return ParseTableDescriptor(model_.tableDescriptors[index]).tableName;
    };
    if (lostIndex_ >= 0 && settings_.tablesGroup != kNoItem) {
      const TreeItem item =
          tree.InsertItem(nameOf(lostIndex_), settings_.tablesGroup, InsertPosition::Last);
      tree.SetItemData(item, lostIndex_);
    }
    if (deletedIndexes_.empty() || settings_.tablesGroup == kNoItem) return;
    const TreeItem root = tree.GetParentItem(settings_.tablesGroup);
    if (root == kNoItem) return;
    settings_.deletedGroup = tree.InsertItem(kDeletedGroupText, root, InsertPosition::Last);
    tree.SetItemData(settings_.deletedGroup, kDeletedGroupData);
    for (int index : deletedIndexes_) {
      const TreeItem item = tree.InsertItem(nameOf(index), settings_.deletedGroup,
                                            InsertPosition::Last);
      tree.SetItemData(item, index);
    }
    tree.Expand(settings_.deletedGroup, ExpandAction::Expand);
  }

  const UnreachedPassInputs& in_;
  RecoveredModel& model_;
  UnreachedRecords& found_;
  ScanSettings& settings_;
  PageReader pages_;
  RecordLayout layout_;
  size_t realTables_ = 0;
  std::vector<TableShape> shapes_;
  PageCensus census_;
  std::vector<int> shapeOfRoot_;
  std::vector<int> rootOfShape_;
  int lostIndex_ = -1;
  std::vector<int> deletedIndexes_;
};

}  // namespace

const FoundTable* UnreachedRecords::TableOf(int64_t rootPage) const {
  if (rootPage < kFoundTableRootBase) return nullptr;
  const uint64_t i = static_cast<uint64_t>(rootPage - kFoundTableRootBase);
  return i < tables.size() ? &tables[i] : nullptr;
}

uint64_t UnreachedRecords::ExtraRows(int64_t rootPage) const {
  if (const FoundTable* t = TableOf(rootPage)) return t->rows.size();
  const auto it = orphanRows.find(rootPage);
  return it == orphanRows.end() ? 0 : it->second.size();
}

void RecoverUnreachedRecords(const UnreachedPassInputs& in) {
  in.engine.unreached.Clear();
  const ScanSettings& s = in.host.Settings();
  if (!s.recoverOrphans && !s.recoverDeleted) return;
  if (in.g.pageSize == 0 || in.engine.model.pageTable.empty()) return;
  Passes(in).Run();
}

RecordRow FoundRowDisplay(const FoundTable& table, const FoundRow& row) {
  RecordRow out;
  out.reserve(row.values.size() + 1);
  if (table.deleted) {
    out.push_back(u"page " + U16Number(static_cast<unsigned long long>(row.page)) + u", offset " +
                  U16Number(static_cast<unsigned long long>(row.offset)) + u", " +
                  (row.source ? row.source : u""));
  }
  for (const RecordValue& v : row.values) out.push_back(DisplayText(v));
  return out;
}

std::vector<RecordValue> FoundRowValues(const FoundTable& table, const FoundRow& row) {
  std::vector<RecordValue> out = row.values;
  if (table.deleted) {
    out.push_back(RecordValue::Integer(static_cast<int64_t>(row.page)));
    out.push_back(RecordValue::Integer(row.offset));
    out.push_back(TextValue(row.source ? row.source : u""));
  }
  return out;
}

}  // namespace korvel::format3

namespace korvel::format3 {

void DeliverUnreachedRows(sqlite_base& engine, EngineHost& host, const UnreachedRecords& found,
                          int64_t rootPage, const std::u16string& tableName,
                          uint64_t stopPosition) {
  const FoundTable* table = found.TableOf(rootPage);
  const std::vector<std::vector<RecordValue>>* orphans = nullptr;
  if (table == nullptr) {
    const auto it = found.orphanRows.find(rootPage);
    if (it == found.orphanRows.end()) return;
    orphans = &it->second;
  }
  ScanSettings& settings = host.Settings();
  const bool saving = settings.saveMode != 0;
  const size_t count = table ? table->rows.size() : orphans->size();
  for (size_t i = 0; i < count; ++i) {
    if (host.StopRequested()) {
      host.SetProgressPos(stopPosition);
      return;
    }
    if (saving) {
      host.SetProgressPos(settings.progressCounter++);
      RecordInsertTarget* target = engine.insertTarget;
      if (target == nullptr) continue;
      ++settings.rowsInserted;
      if (table) {
        target->ExecuteRecordInsert(tableName, FoundRowValues(*table, table->rows[i]));
      } else {
        target->ExecuteRecordInsert(tableName, (*orphans)[i]);
      }
      continue;
    }
    host.SetProgressPos(engine.engineProgressCounter++);
    if (table) {
      host.AddRecordRow(FoundRowDisplay(*table, table->rows[i]));
    } else {
      RecordRow row;
      for (const RecordValue& v : (*orphans)[i]) row.push_back(DisplayText(v));
      host.AddRecordRow(std::move(row));
    }
  }
}

}  // namespace korvel::format3
