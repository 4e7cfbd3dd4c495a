#include "format3/schema_discovery.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/app_title.h"
#include "core/text_codec.h"

namespace korvel {
namespace {

// The largest record body taken as a schema statement; the database library
// itself refuses longer texts.
constexpr uint64_t kMaxStatementBytes = 1000000000;

// Bytes of a column's value for its serial type.
uint64_t SerialTypeSize(uint64_t type) {
  static constexpr uint8_t kFixed[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
  if (type >= 12) return (type - 12) / 2;
  return kFixed[type];
}

// How much of a payload of the given length a table leaf cell keeps in its
// page; the rest goes to overflow pages.
uint64_t LocalPayload(uint64_t payload, uint32_t usable) {
  const uint64_t maxLocal = usable - 35;
  if (payload <= maxLocal) return payload;
  const uint64_t minLocal = (static_cast<uint64_t>(usable) - 12) * 32 / 255 - 23;
  const uint64_t k = minLocal + (payload - minLocal) % (usable - 4);
  return k <= maxLocal ? k : minLocal;
}

// Copies payload bytes [from, from + count) of a cell whose payload starts
// at payloadStart and keeps `local` bytes in its page; the rest is read from
// the overflow chain. False when the chain breaks before the bytes are
// complete.
bool ReadPayloadRange(SchemaScan& scan, uint64_t payloadStart, uint64_t local, uint64_t from,
                      uint64_t count, std::string& out) {
  Reader& r = scan.reader;
  const PageGeometry& g = scan.geometry;
  out.clear();
  out.reserve(static_cast<size_t>(std::min<uint64_t>(count, 1 << 20)));
  const uint64_t end = from + count;
  auto take = [&](uint64_t fileOffset, uint64_t pieceStart, uint64_t pieceLength) -> bool {
    // The piece covers payload bytes [pieceStart, pieceStart + pieceLength).
    const uint64_t a = std::max(from, pieceStart);
    const uint64_t b = std::min(end, pieceStart + pieceLength);
    if (a >= b) return true;
    const size_t n = static_cast<size_t>(b - a);
    const size_t old = out.size();
    out.resize(old + n);
    return r.ReadAt(fileOffset + (a - pieceStart), out.data() + old, n) == n;
  };
  if (!take(payloadStart, 0, local)) return false;
  if (end <= local) return true;

  uint32_t next = 0;
  if (!ReadBE32(r, payloadStart + local, next)) return false;
  const uint64_t perPage = scan.usableSize - 4;
  uint64_t covered = local;
  std::unordered_set<uint32_t> visited;
  while (covered < end) {
    if (next == 0 || !PageInRange(g, next) || !visited.insert(next).second) return false;
    const uint64_t pageStart = PageOffset(g, next);
    uint32_t following = 0;
    if (!ReadBE32(r, pageStart, following)) return false;
    if (!take(pageStart + 4, covered, perPage)) return false;
    covered += perPage;
    next = following;
  }
  return true;
}

template <typename Ch>
bool StartsWithWord(std::basic_string_view<Ch> t, size_t p, std::string_view word) {
  if (p + word.size() > t.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (AsciiUpper(static_cast<char16_t>(t[p + i])) != AsciiUpper(static_cast<char16_t>(word[i]))) {
      return false;
    }
  }
  return true;
}

enum class Kind { None, Table, Index, UniqueIndex, Ignored, View, Trigger };

struct Prefix {
  std::string_view text;
  Kind kind;
};

constexpr Prefix kPrefixes[] = {
    {"CREATE TABLE", Kind::Table},         {"CREATE INDEX", Kind::Index},
    {"CREATE UNIQUE INDEX", Kind::UniqueIndex}, {"CREATE VIRTUAL TABLE", Kind::Ignored},
    {"_autoindex", Kind::Ignored},         {"autoindex", Kind::Ignored},
    {"CREATE VIEW", Kind::View},           {"%REATE VIEW", Kind::View},
    {"CREATE TRIGGER", Kind::Trigger},     {"&REATE TRIGGER", Kind::Trigger},
};

template <typename Ch>
void Classify(SchemaScan& scan, std::basic_string_view<Ch> t, size_t from, int64_t rootPage,
              bool rightMost) {
  RecoveredModel& model = scan.engine.model;
  Kind kind = Kind::None;
  size_t at = 0;
  for (size_t p = from; p + 2 <= t.size() && kind == Kind::None; ++p) {
    for (const Prefix& prefix : kPrefixes) {
      if (StartsWithWord(t, p, prefix.text)) {
        kind = prefix.kind;
        at = p;
        break;
      }
    }
  }
  ParseContext ctx{scan.engine, scan.host, scan.report,
                   std::is_same_v<Ch, char16_t> ? TextPass::Utf16 : TextPass::Utf8, rightMost};
  switch (kind) {
    case Kind::None:
      scan.report.Damage(kNoStatementFound, kAppTitle);
      return;
    case Kind::Table:
      ParseTableStatement(ctx, t, at, rootPage);
      return;
    case Kind::Index:
    case Kind::UniqueIndex:
      ParseIndexStatement(ctx, t, at, kind == Kind::UniqueIndex);
      return;
    case Kind::Ignored:
      return;
    case Kind::View: {
      // A view is only taken with its " AS".
      bool found = false;
      for (size_t j = at + 11; j + 2 < t.size(); ++j) {
        if (IsBlank(static_cast<char16_t>(t[j])) && (t[j + 1] == 'a' || t[j + 1] == 'A') &&
            (t[j + 2] == 's' || t[j + 2] == 'S')) {
          found = true;
          break;
        }
      }
      if (!found) {
        scan.report.Damage(kFileIsCorrupted, kAppTitle);
        return;
      }
      if constexpr (std::is_same_v<Ch, char16_t>) {
        model.viewStatements16.emplace_back(t.substr(at));
      } else {
        model.viewStatements8.emplace_back(t.substr(at));
      }
      return;
    }
    case Kind::Trigger:
      if constexpr (std::is_same_v<Ch, char16_t>) {
        model.triggerStatements16.emplace_back(t.substr(at));
      } else {
        model.triggerStatements8.emplace_back(t.substr(at));
      }
      return;
  }
}

enum class LeafMode { Normal, RightMost };

void ReadLeaf(SchemaScan& scan, uint64_t page, LeafMode mode, uint64_t progressRange) {
  const PageGeometry& g = scan.geometry;
  const PageHeader& h = scan.engine.model.pageTable[page - 1];
  const std::vector<uint16_t> cells = ReadLeafCellPointers(scan.reader, g, page, h);
  scan.host.SetProgressRange(progressRange);
  if (cells.empty()) return;

  const uint64_t pageStart = PageOffset(g, page);
  // The right-most child of the schema root is read past a free block that
  // sits at the start of its content area.
  int64_t distance = 0;
  uint16_t nextBlock = 0;
  uint16_t blockSize = 0;
  auto readBlock = [&](uint16_t at, uint16_t& next, uint16_t& size) {
    next = 0;
    size = 0;
    if (static_cast<uint32_t>(at) + 4 > g.pageSize) return;
    ReadBE16(scan.reader, pageStart + at, next);
    ReadBE16(scan.reader, pageStart + at + 2, size);
  };
  const int64_t contentSize = static_cast<int64_t>(g.pageSize) - h.cellContentStart;
  if (mode == LeafMode::RightMost && h.pageType != 0 && h.firstFreeblock != 0) {
    distance = static_cast<int64_t>(h.firstFreeblock) - h.cellContentStart;
    readBlock(h.firstFreeblock, nextBlock, blockSize);
  }

  for (size_t k = 0; k < cells.size(); ++k) {
    size_t classifyFrom = 0;
    if (mode == LeafMode::RightMost && distance < 1 && h.firstFreeblock != 0 &&
        h.fragmentedBytes != 0) {
      if (contentSize <= 0) return;
      classifyFrom = blockSize;
      const uint16_t at = nextBlock;
      readBlock(at, nextBlock, blockSize);
      distance = static_cast<int64_t>(at) - h.cellContentStart;
    }
    const std::optional<SchemaCellText> text = ReadSchemaCell(scan, page, cells[k]);
    if (!text) {
      scan.report.Damage(kNoStatementFound, kAppTitle);
    } else {
      ClassifySchemaText(scan, *text, classifyFrom, mode == LeafMode::RightMost);
    }
    scan.host.SetProgressPos(k + 1);
  }
}

struct InteriorFrame {
  uint64_t page = 0;
  size_t nextCell = 0;
  size_t cellCount = 0;
  bool rightMostTaken = false;
  LeafMode mode = LeafMode::Normal;
};

bool ChildInRange(const PageGeometry& g, uint64_t child) {
  return PageInRange(g, child) && PageOffset(g, child) + g.pageSize <= g.fileLength;
}

}  // namespace

uint32_t UsableSize(uint32_t pageSize, uint8_t reservedBytes) {
  if (pageSize < 512) return pageSize;
  const uint32_t usable = pageSize - reservedBytes;
  return usable >= 480 ? usable : pageSize;
}

std::optional<SchemaCellText> ReadSchemaCell(SchemaScan& scan, uint64_t page, uint16_t cellOffset) {
  Reader& r = scan.reader;
  const PageGeometry& g = scan.geometry;
  scan.engine.lastTextLength = 0;
  auto unreadable = [&]() -> std::optional<SchemaCellText> {
    scan.report.Damage(kErrorInReading, kAppTitle);
    return std::nullopt;
  };
  if (cellOffset >= g.pageSize) return unreadable();
  const uint64_t pageStart = PageOffset(g, page);
  const uint64_t pageEnd = std::min(pageStart + g.pageSize, g.fileLength);
  const uint64_t cellStart = pageStart + cellOffset;

  uint64_t payload = 0;
  uint64_t rowid = 0;
  uint64_t headerLength = 0;
  uint32_t n1 = 0;
  uint32_t n2 = 0;
  uint32_t n3 = 0;
  if (!ReadVarint(r, cellStart, pageEnd, payload, n1) ||
      !ReadVarint(r, cellStart + n1, pageEnd, rowid, n2)) {
    return unreadable();
  }
  const uint64_t headerStart = cellStart + n1 + n2;
  if (!ReadVarint(r, headerStart, pageEnd, headerLength, n3)) return unreadable();
  if (headerLength > payload) return unreadable();

  // The five serial types: type, name, table name, root page, statement.
  uint64_t types[5] = {0, 0, 0, 0, 0};
  const uint64_t headerEnd = std::min(headerStart + headerLength, pageEnd);
  uint64_t at = headerStart + n3;
  for (uint64_t& type : types) {
    uint32_t len = 0;
    if (!ReadVarint(r, at, headerEnd, type, len)) break;
    at += len;
  }
  const uint64_t namesLength =
      SerialTypeSize(types[0]) + SerialTypeSize(types[1]) + SerialTypeSize(types[2]);
  const uint64_t rootType = types[3];
  const uint64_t statementType = types[4];

  // The part kept in the cell must lie in the file, and the whole payload
  // cannot hold more than the file's pages do.
  const uint64_t local = LocalPayload(payload, scan.usableSize);
  if (headerStart + local > g.fileLength ||
      payload > g.pageCount * static_cast<uint64_t>(scan.usableSize)) {
    return unreadable();
  }

  SchemaCellText out;
  uint64_t textFrom = headerLength;  // within the payload
  if (statementType != 0 && rootType <= 6) {
    const uint64_t rootSize = SerialTypeSize(rootType);
    if (headerLength + namesLength + rootSize > payload) return unreadable();
    // Long names can push the root page onto an overflow page.
    std::string rootBytes;
    if (rootSize > 0 && !ReadPayloadRange(scan, headerStart, local, headerLength + namesLength,
                                          rootSize, rootBytes)) {
      return std::nullopt;
    }
    uint64_t root = 0;
    for (const char b : rootBytes) root = (root << 8) | static_cast<uint8_t>(b);
    out.rootPage = rootSize <= 4 ? static_cast<int64_t>(root) : 0;
    textFrom = headerLength + namesLength + rootSize;
  }
  const uint64_t textLength = payload - textFrom;
  if (textLength > kMaxStatementBytes) return unreadable();
  if (textLength == 0) return std::nullopt;
  if (!ReadPayloadRange(scan, headerStart, local, textFrom, textLength, out.bytes)) {
    return std::nullopt;
  }
  scan.engine.lastTextLength = out.bytes.size();
  return out;
}

void ClassifySchemaText(SchemaScan& scan, const SchemaCellText& text, size_t classifyFrom,
                        bool rightMost) {
  RecoveredModel& model = scan.engine.model;
  if (scan.pass == TextPass::Utf16) {
    model.textBuffers16.push_back(scan.bigEndian ? Utf16BeBytesToString(text.bytes)
                                                 : Utf16LeBytesToString(text.bytes));
    Classify<char16_t>(scan, std::u16string_view(model.textBuffers16.back()), classifyFrom,
                       text.rootPage, rightMost);
  } else {
    model.textBuffers8.push_back(text.bytes);
    Classify<char>(scan, std::string_view(model.textBuffers8.back()), classifyFrom, text.rootPage,
                   rightMost);
  }
}

void DiscoverSchema(SchemaScan& scan) {
  const PageGeometry& g = scan.geometry;
  RecoveredModel& model = scan.engine.model;
  if (model.pageTable.empty() || g.pageCount == 0) {
    scan.report.Fatal(kContentNotInForm, kFileCorruptedCaption);
    return;
  }
  const uint64_t pages = std::min<uint64_t>(g.pageCount, model.pageTable.size());
  const PageHeader& root = model.pageTable[0];
  if (root.pageType > 11) {
    ReadLeaf(scan, 1, LeafMode::Normal, root.cellCount);
    return;
  }
  if (root.pageType != 5) {
    scan.report.Fatal(kContentNotInForm, kFileCorruptedCaption);
    return;
  }

  std::vector<bool> visited(pages + 1, false);
  visited[1] = true;
  auto interiorCells = [&](uint64_t page) {
    const uint32_t arrayInPage = (page == 1 ? kDatabaseHeaderSize : 0) + kInteriorPageHeaderSize;
    const size_t room = g.pageSize > arrayInPage ? (g.pageSize - arrayInPage) / 2 : 0;
    return std::min<size_t>(model.pageTable[page - 1].cellCount, room);
  };
  std::vector<InteriorFrame> stack;
  stack.push_back({1, 0, interiorCells(1), false, LeafMode::Normal});
  const uint64_t progressRange = root.cellCount;

  // Takes a child page: an interior page goes on the stack, a leaf is read.
  auto visit = [&](uint64_t child, LeafMode mode) {
    if (child > pages || visited[child]) {
      scan.report.SilentDamage();  // a page reached twice: the tree loops
      return;
    }
    visited[child] = true;
    if (model.pageTable[child - 1].pageType == 5) {
      stack.push_back({child, 0, interiorCells(child), false, mode});
    } else {
      ReadLeaf(scan, child, mode, progressRange);
    }
  };

  while (!stack.empty()) {
    InteriorFrame& f = stack.back();
    const uint64_t page = f.page;
    const LeafMode mode = f.mode;
    if (f.nextCell < f.cellCount) {
      const size_t k = f.nextCell++;
      const uint64_t arrayStart = PageHeaderOffset(g, page) + kInteriorPageHeaderSize;
      uint16_t pointer = 0;
      uint32_t child = 0;
      const bool read = ReadBE16(scan.reader, arrayStart + 2 * k, pointer) &&
                        static_cast<uint32_t>(pointer) + 4 <= g.pageSize &&
                        ReadBE32(scan.reader, PageOffset(g, page) + pointer, child);
      if (!read || !ChildInRange(g, child)) {
        scan.report.Damage(kContentNotInForm, kFileCorruptedCaption);
        continue;
      }
      visit(child, mode);
      continue;
    }
    if (!f.rightMostTaken) {
      f.rightMostTaken = true;
      const uint32_t child = model.pageTable[page - 1].rightMostChild;
      if (!ChildInRange(g, child)) {
        scan.report.Damage(kWrongFile, kFormatNotSupportedCaption);
        continue;
      }
      visit(child, page == 1 ? LeafMode::RightMost : mode);
      continue;
    }
    stack.pop_back();
  }
}

}  // namespace korvel
