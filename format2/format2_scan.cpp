// The scan of a format-2.1 file: the page table, the walk of the master
// b-tree (page 2), the statement of each master record, and the object tree.

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "core/reader.h"
#include "core/text_codec.h"
#include "format2/format2_layout.h"
#include "format2/format2_statement_parser.h"
#include "format2/sqlite_ver2.h"

namespace korvel {
namespace {

using namespace format2;

enum class StatementKind { None, Table, Index, AutoIndex, Virtual, View, Trigger };

struct Keyword {
  std::string_view text;
  StatementKind kind;
};

// Tested in this order at each position; "%REATE VIEW" and "&REATE TRIGGER"
// are statements whose first byte was overwritten.
constexpr std::array<Keyword, 10> kKeywords = {{
    {"CREATE TABLE", StatementKind::Table},
    {"CREATE INDEX", StatementKind::Index},
    {"CREATE UNIQUE INDEX", StatementKind::Index},
    {"_autoindex", StatementKind::AutoIndex},
    {"autoindex", StatementKind::AutoIndex},
    {"CREATE VIRTUAL TABLE", StatementKind::Virtual},
    {"CREATE VIEW", StatementKind::View},
    {"%REATE VIEW", StatementKind::View},
    {"CREATE TRIGGER", StatementKind::Trigger},
    {"&REATE TRIGGER", StatementKind::Trigger},
}};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view word) {
  if (at > text.size() || text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Lower(text[at + i]) != Lower(word[i])) return false;
  }
  return true;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text, i, word)) return true;
  }
  return false;
}

struct Match {
  StatementKind kind = StatementKind::None;
  size_t at = 0;
};

Match FindStatement(std::string_view text) {
  for (size_t at = 0; at < text.size(); ++at) {
    for (const Keyword& keyword : kKeywords) {
      if (StartsWithNoCase(text, at, keyword.text)) return {keyword.kind, at};
    }
  }
  return {};
}

uint32_t ParseDecimal(std::string_view digits) {
  uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return static_cast<uint32_t>(value);
}

// The decimal root page that stands right before a statement, separated
// from it by the zero byte that ends it.
uint32_t RootPageBefore(std::string_view buffer, size_t keywordAt) {
  if (keywordAt < 2) return 0;
  size_t first = keywordAt - 1;  // one past the last digit
  while (first > 0 && buffer[first - 1] >= '0' && buffer[first - 1] <= '9') --first;
  return ParseDecimal(buffer.substr(first, keywordAt - 1 - first));
}

std::string_view UpToZero(std::string_view text) {
  const size_t zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

bool IsSchemaType(std::string_view type) {
  for (std::string_view known : {"table", "index", "view", "trigger"}) {
    if (type.size() == known.size() && StartsWithNoCase(type, 0, known)) return true;
  }
  return false;
}

// The word of the master record's kind field for a statement kind.
std::string_view KindWord(StatementKind kind) {
  switch (kind) {
    case StatementKind::Table:
    case StatementKind::Virtual:
      return "table";
    case StatementKind::Index:
      return "index";
    case StatementKind::View:
      return "view";
    case StatementKind::Trigger:
      return "trigger";
    default:
      return "-";
  }
}

// The statement of one master record and the kind of object it creates.
void ClassifyMasterRecord(sqlite_ver2& engine, const Payload& payload) {
  RecoveredModel& model = engine.model;
  const std::string_view record = payload.Record();
  // A record whose five fields (kind, name, table name, root page, statement)
  // decode cleanly is read field by field; otherwise the statement is
  // searched for in the raw bytes.
  const std::vector<RecordField> fields = DecodeRecord(record, payload.recordLength, 5);
  const bool structured =
      fields.size() == 5 &&
      std::none_of(fields.begin(), fields.end(), [](const RecordField& f) { return f.cut; }) &&
      IsSchemaType(fields[0].text);

  std::string_view text;
  std::string repaired;
  Match match;
  uint32_t rootPage = 0;
  if (structured) {
    text = fields[4].text;
    match = FindStatement(text);
    if (match.kind == StatementKind::None) {
      // A statement whose first byte was overwritten by any other byte: the
      // record's kind field says what it creates.
      std::string candidate = "C" + std::string(text.substr(std::min<size_t>(1, text.size())));
      const Match damaged = FindStatement(candidate);
      if (damaged.kind != StatementKind::None && damaged.at == 0 &&
          damaged.kind != StatementKind::AutoIndex &&
          StartsWithNoCase(fields[0].text, 0, KindWord(damaged.kind))) {
        repaired = std::move(candidate);
        text = repaired;
        match = damaged;
      }
    }
    if (match.kind == StatementKind::None && ContainsNoCase(fields[1].text, "autoindex")) {
      match.kind = StatementKind::AutoIndex;
    }
    rootPage = ParseDecimal(fields[3].text);
  } else {
    text = payload.bytes;
    match = FindStatement(text);
    rootPage = RootPageBefore(text, match.at);
  }
  const std::string_view statement = text.substr(std::min(match.at, text.size()));

  switch (match.kind) {
    case StatementKind::None:
      return;
    case StatementKind::AutoIndex:
    case StatementKind::Virtual:
      model.rootPages.push_back(0);
      return;
    case StatementKind::View:
    case StatementKind::Trigger: {
      model.rootPages.push_back(0);
      std::string copy(UpToZero(statement));
      model.textBuffers8.push_back(copy);
      (match.kind == StatementKind::View ? model.viewStatements8 : model.triggerStatements8)
          .push_back(std::move(copy));
      return;
    }
    case StatementKind::Table:
      model.rootPages.push_back(rootPage);
      ParseTableStatement(engine, statement, rootPage);
      return;
    case StatementKind::Index:
      model.rootPages.push_back(rootPage);
      ParseIndexStatement(engine, statement);
      return;
  }
}

// The object name as the tree shows it, cut from the statement after the
// kind word; false when the word is missing.
bool ObjectName(std::string_view statement, int kind, std::u16string& name) {
  // Line breaks and tabs in a statement read as blanks in the tree.
  std::u16string text = Utf8ToUtf16(statement);
  for (char16_t& c : text) {
    if (IsBlank(c)) c = u' ';
  }
  const std::u16string upper = AsciiUpper(text);
  static constexpr std::array<std::u16string_view, 4> kWords = {u"TABLE", u"INDEX", u"VIEW",
                                                                 u"TRIGGER"};
  const size_t word = upper.find(kWords[kind]);
  if (word == std::u16string::npos) return false;
  const size_t start = word + kWords[kind].size();
  switch (kind) {
    case 0:
    case 1: {
      const size_t paren = text.find(u'(', start);
      name = text.substr(start, paren == std::u16string::npos ? std::u16string::npos : paren - start);
      return true;
    }
    case 2: {
      // Up to the blank before "AS"; the blank right after VIEW does not count.
      size_t end = text.size();
      for (size_t i = start + 1; i + 2 < text.size(); ++i) {
        if (text[i] == u' ' && (text[i + 1] == u'a' || text[i + 1] == u'A') &&
            (text[i + 2] == u's' || text[i + 2] == u'S')) {
          end = i;
          break;
        }
      }
      name = text.substr(start, end - start);
      return true;
    }
    default: {
      size_t from = start;
      while (from < text.size() && IsBlank(text[from])) ++from;
      size_t end = from;
      while (end < text.size() && text[end] != u' ') ++end;
      name = text.substr(from, end - from);
      return true;
    }
  }
}

void RegisterObjects(sqlite_ver2& engine) {
  EngineHost& host = *engine.owner;
  ScanSettings& settings = host.Settings();
  TreeOps& tree = host.Tree();
  const RecoveredModel& model = engine.model;
  const std::array<const std::vector<std::string>*, 4> lists = {
      &model.tableStatements8, &model.indexStatements8, &model.viewStatements8,
      &model.triggerStatements8};
  const std::array<TreeItem, 4> groups = {settings.tablesGroup, settings.indexesGroup,
                                          settings.viewsGroup, settings.triggersGroup};
  for (int kind = 0; kind < 4; ++kind) {
    const std::vector<std::string>& list = *lists[kind];
    for (size_t i = list.size(); i-- > 0;) {
      std::u16string name;
      if (!ObjectName(list[i], kind, name)) continue;
      auto& map = settings.nameMaps[kind];
      auto [entry, isNew] = map.try_emplace(name);
      if (isNew && groups[kind] != kNoItem) {
        const TreeItem item = tree.InsertItem(name, groups[kind], InsertPosition::First);
        if (item != kNoItem) tree.SetItemData(item, static_cast<int32_t>(i));
      }
      entry->second.push_back(static_cast<int>(i));
    }
  }
  for (TreeItem group : {settings.tablesGroup, settings.triggersGroup, settings.indexesGroup,
                         settings.viewsGroup}) {
    if (group != kNoItem) tree.Expand(group, ExpandAction::Expand);
  }
}

}  // namespace

void sqlite_ver2::Scan(const std::string&) {
  scanEndedEarly = false;
  scanReportedDamage = false;
  damagedLinks = 0;
  if (owner == nullptr) return;
  ScanSettings& settings = owner->Settings();
  headerPosition = HeaderPositionFromStartOffset(settings.startOffset);
  const PageFile file(settings.reader, headerPosition);
  filePageCount = file.PageCount();

  // The page table: one 8-byte header per page.
  model.pageTable2.reserve(model.pageTable2.size() + filePageCount);
  for (uint64_t page = 1; page <= filePageCount; ++page) {
    uint8_t header[kPageHeaderSize] = {};
    settings.reader->ReadAt(headerPosition + (page - 1) * kPageSize, header, sizeof header);
    const ByteOrder order = file.Order();
    model.pageTable2.push_back({order.U32(header), order.U16(header + 4), order.U16(header + 6)});
  }
  if (filePageCount < kMasterRootPage) {
    owner->WriteOutputLine(u"The database is shorter than two pages: it holds no master table");
    scanEndedEarly = true;
    RegisterObjects(*this);
    return;
  }

  // The master b-tree in key order, which is the order the objects were
  // created in.
  std::vector<Payload> records;
  bool damagedRecord = false;
  TreeWalker walker(file);
  walker.assumeFirstCellWhenEmpty = true;
  walker.Walk(kMasterRootPage, [&](const PageBytes& page, const Cell& cell) {
    Payload payload = ReadPayload(file, page, cell);
    damagedRecord = damagedRecord || payload.damaged;
    model.recordLengths.push_back(static_cast<int64_t>(payload.bytes.size()));
    records.push_back(std::move(payload));
    return true;
  });
  damagedLinks += walker.damagedLinks();

  for (const Payload& payload : records) ClassifyMasterRecord(*this, payload);
  for (Payload& payload : records) model.textBuffers8.push_back(std::move(payload.bytes));

  if (damagedLinks > 0 || damagedRecord) {
    owner->WriteOutputLine(
        u"The master table is damaged: some schema entries may be missing or incomplete");
    scanReportedDamage = true;
  }
  RegisterObjects(*this);
}

}  // namespace korvel
