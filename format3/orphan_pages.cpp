#include "format3/orphan_pages.h"

#include <algorithm>
#include "core/text_codec.h"

namespace korvel::format3 {

namespace {

// More values than a table of the library can have columns: no row.
constexpr size_t kMaxRecordValues = 2000;

bool Contains(const std::u16string& upper, std::u16string_view part) {
  return upper.find(part) != std::u16string::npos;
}

bool StartsWithWord(const std::u16string& upper, std::u16string_view word) {
  if (upper.compare(0, word.size(), word) != 0) return false;
  if (upper.size() == word.size()) return true;
  const char16_t next = upper[word.size()];
  return !((next >= u'A' && next <= u'Z') || (next >= u'0' && next <= u'9') || next == u'_');
}

// The words that end a column's type and begin its constraints.
constexpr std::u16string_view kConstraintWords[] = {
    u"CONSTRAINT", u"PRIMARY", u"NOT", u"NULL", u"UNIQUE", u"CHECK",
    u"DEFAULT", u"COLLATE", u"REFERENCES", u"GENERATED", u"AS"};

bool IsConstraintWord(const std::u16string& upperWord) {
  for (std::u16string_view w : kConstraintWords) {
    if (upperWord == w) return true;
  }
  return false;
}

// The type of one column definition: the words after its name up to the
// first constraint word.
std::u16string TypeOfColumn(std::u16string_view def) {
  size_t i = 0;
  while (i < def.size() && IsBlank(def[i])) ++i;
  // The name, quoted or bare.
  if (i < def.size() && (def[i] == u'"' || def[i] == u'`' || def[i] == u'[' || def[i] == u'\'')) {
    const char16_t close = def[i] == u'[' ? u']' : def[i];
    ++i;
    while (i < def.size() && def[i] != close) ++i;
    if (i < def.size()) ++i;
  } else {
    while (i < def.size() && !IsBlank(def[i]) && def[i] != u'(') ++i;
  }
  std::u16string type;
  while (i < def.size()) {
    while (i < def.size() && IsBlank(def[i])) ++i;
    if (i >= def.size()) break;
    if (def[i] == u'(') {
      // A size such as VARCHAR(20): part of the type.
      const size_t close = def.find(u')', i);
      if (close == std::u16string_view::npos) break;
      type.append(def.substr(i, close + 1 - i));
      i = close + 1;
      continue;
    }
    size_t j = i;
    while (j < def.size() && !IsBlank(def[j]) && def[j] != u'(') ++j;
    const std::u16string word(def.substr(i, j - i));
    if (IsConstraintWord(AsciiUpper(word))) break;
    if (!type.empty()) type.push_back(u' ');
    type += word;
    i = j;
  }
  return type;
}

enum class StorageClass { Null, Integer, Real, Text, Blob, Invalid };

StorageClass ClassOf(uint64_t t) {
  if (t == 0) return StorageClass::Null;
  if (t <= 6 || t == 8 || t == 9) return StorageClass::Integer;
  if (t == 7) return StorageClass::Real;
  if (t == 10 || t == 11) return StorageClass::Invalid;
  return t % 2 == 0 ? StorageClass::Blob : StorageClass::Text;
}

}  // namespace

Affinity AffinityOf(std::u16string_view declaredType) {
  const std::u16string upper = AsciiUpper(declaredType);
  if (Contains(upper, u"INT")) return Affinity::Integer;
  if (Contains(upper, u"CHAR") || Contains(upper, u"CLOB") || Contains(upper, u"TEXT")) {
    return Affinity::Text;
  }
  if (TrimBlanks(upper).empty() || Contains(upper, u"BLOB")) return Affinity::Blob;
  if (Contains(upper, u"REAL") || Contains(upper, u"FLOA") || Contains(upper, u"DOUB")) {
    return Affinity::Real;
  }
  return Affinity::Numeric;
}

std::vector<std::u16string> DeclaredColumnTypes(std::u16string_view statement) {
  std::vector<std::u16string> types;
  // The column list starts at the first "(" outside a quoted name.
  size_t i = 0;
  char16_t quote = 0;
  for (; i < statement.size(); ++i) {
    const char16_t c = statement[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == u'"' || c == u'`' || c == u'\'') {
      quote = c;
    } else if (c == u'[') {
      quote = u']';
    } else if (c == u'(') {
      break;
    }
  }
  if (i >= statement.size()) return types;
  ++i;
  int depth = 0;
  quote = 0;
  size_t start = i;
  auto take = [&](size_t end) {
    const std::u16string_view def = statement.substr(start, end - start);
    const std::u16string upper = AsciiUpper(TrimBlanks(def));
    for (std::u16string_view w : {u"CONSTRAINT", u"PRIMARY", u"UNIQUE", u"CHECK", u"FOREIGN"}) {
      if (StartsWithWord(upper, w)) return;
    }
    if (upper.empty()) return;
    types.push_back(TypeOfColumn(def));
  };
  for (; i < statement.size(); ++i) {
    const char16_t c = statement[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == u'"' || c == u'`' || c == u'\'') {
      quote = c;
    } else if (c == u'[') {
      quote = u']';
    } else if (c == u'(') {
      ++depth;
    } else if (c == u')') {
      if (depth == 0) break;
      --depth;
    } else if (c == u',' && depth == 0) {
      take(i);
      start = i + 1;
    }
  }
  take(i);
  return types;
}

std::vector<TableShape> TableShapes(const RecoveredModel& model, size_t realTables, bool utf16) {
  std::vector<TableShape> shapes;
  std::unordered_set<int64_t> roots;
  const size_t n = std::min(realTables, model.tableDescriptors.size());
  for (size_t i = n; i-- > 0;) {
    // The last entry of a name is the one its tree item refers to.
    const TableDescriptorParts parts = ParseTableDescriptor(model.tableDescriptors[i]);
    if (parts.rootPage <= 0 || parts.columnNames.empty()) continue;
    if (static_cast<uint64_t>(parts.rootPage) <= model.pageTable.size()) {
      const uint8_t type = model.pageTable[parts.rootPage - 1].pageType;
      if (type == 2 || type == 10) continue;
    }
    if (!roots.insert(parts.rootPage).second) continue;
    std::u16string statement;
    if (utf16) {
      if (i < model.tableStatements16.size()) statement = model.tableStatements16[i];
    } else if (i < model.tableStatements8.size()) {
      statement = Utf8ToUtf16(model.tableStatements8[i]);
    }
    const std::vector<std::u16string> declared = DeclaredColumnTypes(statement);
    TableShape shape;
    shape.tableIndex = static_cast<int>(i);
    shape.rootPage = parts.rootPage;
    shape.columnCount = static_cast<int>(parts.columnNames.size());
    shape.keyColumn = parts.keyColumnMarker > 9 ? parts.keyColumnMarker - 10 : -1;
    for (size_t c = 0; c < parts.columnNames.size(); ++c) {
      // Without a readable declaration a column could hold anything.
      shape.affinities.push_back(declared.size() == parts.columnNames.size()
                                     ? AffinityOf(declared[c])
                                     : Affinity::Blob);
    }
    shapes.push_back(std::move(shape));
  }
  return shapes;
}

int FitScore(const TableShape& shape, const std::vector<uint64_t>& serialTypes) {
  const size_t n = serialTypes.size();
  if (n == 0 || n > static_cast<size_t>(shape.columnCount)) return -1;
  int score = n == static_cast<size_t>(shape.columnCount) ? 3 : 0;
  for (size_t c = 0; c < n; ++c) {
    const StorageClass k = ClassOf(serialTypes[c]);
    if (k == StorageClass::Invalid) return -1;
    if (static_cast<int>(c) == shape.keyColumn) {
      if (k != StorageClass::Null) return -1;
      ++score;
      continue;
    }
    switch (shape.affinities[c]) {
      case Affinity::Text:
        // A number stored into a TEXT column becomes text.
        if (k == StorageClass::Integer || k == StorageClass::Real) return -1;
        if (k == StorageClass::Text) score += 2;
        break;
      case Affinity::Integer:
      case Affinity::Numeric:
        if (k == StorageClass::Integer) score += 2;
        else if (k == StorageClass::Real) score += 1;
        break;
      case Affinity::Real:
        // Whole reals are stored as integers.
        if (k == StorageClass::Real) score += 2;
        else if (k == StorageClass::Integer) score += 1;
        break;
      case Affinity::Blob:
        if (k == StorageClass::Blob) score += 1;
        break;
    }
  }
  return score;
}

int BestFit(const std::vector<TableShape>& shapes,
            const std::vector<std::vector<uint64_t>>& records) {
  if (records.empty()) return -1;
  int best = -1;
  long long bestScore = -1;
  bool tie = false;
  for (size_t s = 0; s < shapes.size(); ++s) {
    long long score = 0;
    size_t misfits = 0;
    for (const auto& types : records) {
      const int fit = FitScore(shapes[s], types);
      if (fit < 0) ++misfits;
      else score += fit;
    }
    if (misfits * 10 > records.size() || misfits == records.size()) continue;
    if (score > bestScore) {
      best = static_cast<int>(s);
      bestScore = score;
      tie = false;
    } else if (score == bestScore) {
      tie = true;
    }
  }
  return tie ? -1 : best;
}

bool ReadSerialTypes(const uint8_t* bytes, size_t size, std::vector<uint64_t>& types,
                     uint64_t& headerSize) {
  types.clear();
  const uint8_t* end = bytes + size;
  const size_t n = ReadVarint(bytes, end, headerSize);
  if (n == 0 || headerSize < n + 1 || headerSize > size) return false;
  const uint8_t* p = bytes + n;
  const uint8_t* headerEnd = bytes + headerSize;
  while (p < headerEnd) {
    uint64_t t = 0;
    const size_t tn = ReadVarint(p, headerEnd, t);
    if (tn == 0 || (tn < 9 && (p[tn - 1] & 0x80) != 0)) return false;  // cut off
    p += tn;
    types.push_back(t);
  }
  return true;
}

LeafRecords::LeafRecords(Reader& reader, const PageGeometry& g)
    : reader_(reader), g_(g), leaves_(reader, g), overflow_(reader, g) {}

const uint8_t* LeafRecords::TakeOverflowPage(uint64_t page, size_t& available) {
  available = 0;
  if (!used_.insert(page).second) return nullptr;
  return overflow_.Get(page, available);
}

void LeafRecords::Read(uint64_t page, const PageHeader& h, const RecordLayout& layout,
                       const std::function<void(size_t, CarvedRecord&)>& each) {
  const std::vector<uint16_t> offsets = ReadLeafCellPointers(reader_, g_, page, h);
  if (offsets.empty()) return;
  const std::vector<uint32_t> extents =
      ComputeCellExtents(offsets, ReadFreeblockList(reader_, g_, page, h));
  size_t available = 0;
  const uint8_t* bytes = leaves_.Get(page, available);
  if (bytes == nullptr) return;
  RecordReader reader(layout, *this);
  CarvedRecord record;
  for (size_t i = 0; i < offsets.size(); ++i) {
    used_.clear();
    const uint32_t limit = CellLimit(g_.pageSize, offsets[i], extents[i]);
    const RecordDamage damage = reader.Read(bytes, available, offsets[i], limit, record);
    if (damage == RecordDamage::Unreadable || damage == RecordDamage::PastEndOfFile) continue;
    each(i, record);
  }
}

std::vector<OrphanPage> ReadOrphanPages(const OrphanInputs& in, const std::vector<uint64_t>& leaves,
                                        const std::vector<TableShape>& shapes) {
  std::vector<OrphanPage> out;
  LeafRecords records(in.reader, in.g);
  std::vector<uint64_t> types;
  for (uint64_t page : leaves) {
    if (page == 0 || page > in.pageTable.size()) continue;
    const PageHeader& h = in.pageTable[page - 1];
    const std::vector<uint16_t> offsets = ReadLeafCellPointers(in.reader, in.g, page, h);
    size_t available = 0;
    const uint8_t* bytes = in.pages.Get(page, available);
    if (bytes == nullptr || offsets.empty()) continue;

    // The serial types of every record, for the fit.
    std::vector<std::vector<uint64_t>> headers(offsets.size());
    std::vector<std::vector<uint64_t>> readable;
    size_t most = 0;
    for (size_t i = 0; i < offsets.size(); ++i) {
      const size_t at = offsets[i];
      if (at >= available) continue;
      const uint8_t* end = bytes + available;
      uint64_t payload = 0, rowid = 0, headerSize = 0;
      const size_t n1 = ReadVarint(bytes + at, end, payload);
      const size_t n2 = n1 == 0 ? 0 : ReadVarint(bytes + at + n1, end, rowid);
      if (n1 == 0 || n2 == 0) continue;
      const size_t body = at + n1 + n2;
      if (body >= available) continue;
      const size_t local = static_cast<size_t>(std::min<uint64_t>(payload, available - body));
      if (!ReadSerialTypes(bytes + body, local, types, headerSize) || types.empty() ||
          types.size() > kMaxRecordValues) {
        continue;
      }
      headers[i] = types;
      readable.push_back(types);
      most = std::max(most, types.size());
    }
    if (readable.empty()) continue;

    OrphanPage result;
    result.page = page;
    result.shape = BestFit(shapes, readable);
    RecordLayout layout = in.layout;
    if (result.shape >= 0) {
      layout.columnCount = shapes[result.shape].columnCount;
      layout.keyColumn = shapes[result.shape].keyColumn;
    } else {
      layout.columnCount = static_cast<int>(most);
      layout.keyColumn = -1;
    }
    records.Read(page, h, layout, [&](size_t i, CarvedRecord& record) {
      const std::vector<uint64_t>& own = headers[i];
      if (own.empty()) return;
      if (result.shape >= 0) {
        if (FitScore(shapes[result.shape], own) < 0) return;  // a damaged cell among the rows
      } else if (record.values.size() > own.size()) {
        record.values.resize(own.size());
      }
      result.records.push_back({static_cast<uint32_t>(i), record.rowid, record.values});
    });
    if (!result.records.empty()) out.push_back(std::move(result));
  }
  return out;
}

}  // namespace korvel::format3
