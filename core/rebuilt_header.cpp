#include "core/rebuilt_header.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/reader.h"
#include "core/text_codec.h"

namespace korvel {
namespace {

constexpr uint32_t kSmallestPageSize = 512;
constexpr uint32_t kLargestPageSize = 65536;
constexpr uint32_t kDatabaseHeaderBytes = 100;
// The library never lets more fragmented bytes than this gather on a page.
constexpr uint8_t kMaxFragmentedBytes = 60;
// Cells are never smaller than this.
constexpr uint32_t kMinCellSize = 4;
// Interior levels followed from page 1 down to the first schema leaf.
constexpr int kMaxSchemaDepth = 4;
// Columns of a schema record: type, name, table name, root page, statement.
constexpr size_t kSchemaColumns = 5;

constexpr uint8_t kIndexInterior = 2;
constexpr uint8_t kTableInterior = 5;
constexpr uint8_t kIndexLeaf = 10;
constexpr uint8_t kTableLeaf = 13;

constexpr uint8_t kUtf8 = 1;
constexpr uint8_t kUtf16le = 2;
constexpr uint8_t kUtf16be = 3;

uint32_t Be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Whole pages of the file at a candidate page size. One page is held at a
// time: a new call may overwrite the bytes of the previous one.
class PageSource {
 public:
  explicit PageSource(Reader& reader) : reader_(reader), memory_(reader.Bytes()) {}

  // The bytes of the page, or null when it does not lie wholly in the file.
  const uint8_t* Page(uint32_t pageSize, uint64_t page) {
    if (page == 0) return nullptr;
    const uint64_t count = reader_.length / pageSize;
    if (page > count) return nullptr;
    const uint64_t start = (page - 1) * pageSize;
    if (memory_ != nullptr) return memory_ + start;
    buffer_.resize(pageSize);
    if (reader_.ReadAt(start, buffer_.data(), pageSize) != pageSize) return nullptr;
    return buffer_.data();
  }

 private:
  Reader& reader_;
  const uint8_t* memory_;
  std::vector<uint8_t> buffer_;
};

// A varint of at most nine bytes that ends before limit.
bool Varint(const uint8_t* page, uint32_t limit, uint32_t& at, uint64_t& value) {
  value = 0;
  for (int i = 0; i < 9; ++i) {
    if (at >= limit) return false;
    const uint8_t byte = page[at++];
    if (i == 8) {
      value = (value << 8) | byte;
      return true;
    }
    value = (value << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

// The bytes a cell takes in its page, from its start: what precedes the
// payload, the payload's part that is kept in the page and, when the rest
// overflows, the 4-byte number of the first overflow page. The page's
// usable size is taken to be the page size (no reserved bytes). 0 when the
// cell does not end inside the page.
uint32_t CellSize(const uint8_t* page, uint32_t pageSize, uint32_t cell, uint8_t type) {
  uint32_t at = cell;
  if (type == kTableInterior || type == kIndexInterior) at += 4;  // the child page
  uint64_t payload = 0;
  uint64_t rowid = 0;
  if (type == kTableInterior) return Varint(page, pageSize, at, rowid) ? at - cell : 0;
  if (!Varint(page, pageSize, at, payload)) return 0;
  if (type == kTableLeaf && !Varint(page, pageSize, at, rowid)) return 0;
  const uint64_t usable = pageSize;
  const uint64_t most = type == kTableLeaf ? usable - 35 : (usable - 12) * 64 / 255 - 23;
  const uint64_t least = (usable - 12) * 32 / 255 - 23;
  uint64_t local = payload;
  if (payload > most) {
    const uint64_t k = least + (payload - least) % (usable - 4);
    local = (k <= most ? k : least) + 4;
  }
  if (local > pageSize - at) return 0;
  return at - cell + static_cast<uint32_t>(local);
}

// The free blocks of a page lie in its content area, in rising order, each
// inside the page and apart from the next.
bool FreeblocksFit(const uint8_t* page, uint32_t pageSize, uint32_t first,
                   uint32_t contentStart) {
  uint32_t block = first;
  uint32_t lowest = contentStart;
  for (uint32_t steps = 0; block != 0; ++steps) {
    if (steps > pageSize / 4 || block < lowest || block + 4 > pageSize) return false;
    const uint32_t size = Be16(page + block + 2);
    if (size < 4 || size > pageSize - block) return false;
    lowest = block + size;
    block = Be16(page + block);
  }
  return true;
}

// The type of the b-tree page whose page header starts at `at`, when that
// header, its free blocks and its cells are well formed for the page size;
// else 0.
uint8_t WellFormedPageType(const uint8_t* page, uint32_t pageSize, uint32_t at,
                           uint64_t pageCount) {
  const uint8_t type = page[at];
  const bool interior = type == kIndexInterior || type == kTableInterior;
  if (!interior && type != kIndexLeaf && type != kTableLeaf) return 0;
  const uint32_t headerSize = interior ? 12 : 8;
  if (at + headerSize > pageSize) return 0;
  const uint32_t firstFreeblock = Be16(page + at + 1);
  const uint32_t cellCount = Be16(page + at + 3);
  uint32_t contentStart = Be16(page + at + 5);
  if (contentStart == 0) contentStart = kLargestPageSize;
  if (page[at + 7] > kMaxFragmentedBytes) return 0;
  const uint32_t pointersEnd = at + headerSize + 2 * cellCount;
  if (pointersEnd > contentStart || contentStart > pageSize) return 0;
  if (!FreeblocksFit(page, pageSize, firstFreeblock, contentStart)) return 0;
  if (interior) {
    const uint32_t rightChild = Be32(page + at + 8);
    if (rightChild == 0 || rightChild > pageCount) return 0;
  }
  for (uint32_t i = 0; i < cellCount; ++i) {
    const uint32_t cell = Be16(page + at + headerSize + 2 * i);
    if (cell < contentStart || cell + kMinCellSize > pageSize) return 0;
    if (CellSize(page, pageSize, cell, type) == 0) return 0;
    if (interior) {
      const uint32_t child = Be32(page + cell);
      if (child == 0 || child > pageCount) return 0;
    }
  }
  return type;
}

bool IsText(uint64_t serialType) { return serialType >= 13 && (serialType & 1) == 1; }

uint64_t ValueSize(uint64_t serialType) {
  static constexpr std::array<uint8_t, 12> kFixed = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
  return serialType < kFixed.size() ? kFixed[serialType] : (serialType - 12) / 2;
}

// The type text ("table", "index", ...) of the schema record in the table-leaf
// cell at `cell`, when the record has the schema table's shape: five
// columns, three texts, a root page (an integer or null) and a statement (a
// text or null), whose sizes add up to the payload.
std::optional<std::span<const uint8_t>> SchemaRecordType(const uint8_t* page, uint32_t pageSize,
                                                         uint32_t cell) {
  uint32_t at = cell;
  uint64_t payload = 0;
  uint64_t rowid = 0;
  if (!Varint(page, pageSize, at, payload) || !Varint(page, pageSize, at, rowid)) return {};
  const uint32_t headerStart = at;
  uint64_t headerLength = 0;
  if (!Varint(page, pageSize, at, headerLength)) return {};
  if (headerLength < 1 + kSchemaColumns || headerLength > pageSize - headerStart) return {};
  const uint32_t headerEnd = headerStart + static_cast<uint32_t>(headerLength);
  std::array<uint64_t, kSchemaColumns> types{};
  size_t columns = 0;
  while (at < headerEnd) {
    if (columns == kSchemaColumns) return {};
    if (!Varint(page, headerEnd, at, types[columns])) return {};
    ++columns;
  }
  if (columns != kSchemaColumns) return {};
  if (!IsText(types[0]) || !IsText(types[1]) || !IsText(types[2])) return {};
  if (types[3] > 9 || types[3] == 7) return {};
  if (types[4] != 0 && !IsText(types[4])) return {};
  uint64_t total = headerLength;
  for (uint64_t type : types) total += ValueSize(type);
  if (total != payload) return {};
  const uint64_t typeLength = ValueSize(types[0]);
  if (typeLength > pageSize - headerEnd) return {};
  return std::span<const uint8_t>(page + headerEnd, static_cast<size_t>(typeLength));
}

// Which encodings a schema type text reads as: a known type word, else
// the pattern of zero bytes that ASCII leaves in UTF-16.
struct EncodingVotes {
  uint32_t utf8 = 0;
  uint32_t utf16le = 0;
  uint32_t utf16be = 0;
};

void VoteOn(std::span<const uint8_t> text, EncodingVotes& votes) {
  static constexpr std::string_view kWords[] = {"table", "index", "view", "trigger"};
  auto wordUnder = [&](size_t unit, size_t low) {
    if (text.size() % unit != 0) return false;
    const size_t n = text.size() / unit;
    for (std::string_view word : kWords) {
      if (word.size() != n) continue;
      bool same = true;
      for (size_t i = 0; i < n && same; ++i) {
        for (size_t b = 0; b < unit; ++b) {
          const uint8_t byte = text[i * unit + b];
          const uint8_t want = b == low ? static_cast<uint8_t>(word[i]) : 0;
          if ((b == low ? (byte | 0x20) : byte) != want) same = false;
        }
      }
      if (same) return true;
    }
    return false;
  };
  if (wordUnder(1, 0)) {
    ++votes.utf8;
  } else if (wordUnder(2, 0)) {
    ++votes.utf16le;
  } else if (wordUnder(2, 1)) {
    ++votes.utf16be;
  } else if (!text.empty() && text.size() % 2 == 0) {
    bool le = true;
    bool be = true;
    for (size_t i = 0; i < text.size(); i += 2) {
      le = le && text[i] != 0 && text[i + 1] == 0;
      be = be && text[i] == 0 && text[i + 1] != 0;
    }
    if (le) ++votes.utf16le;
    else if (be) ++votes.utf16be;
    else ++votes.utf8;
  } else {
    ++votes.utf8;
  }
}

// Page 1 and the interior pages below it down to the first schema leaf are
// well-formed table pages, and that leaf holds at least one schema record.
// The votes of its records' type texts are added.
bool SchemaFits(PageSource& pages, uint32_t pageSize, uint64_t pageCount,
                EncodingVotes& votes) {
  uint64_t page = 1;
  for (int depth = 0; depth < kMaxSchemaDepth; ++depth) {
    const uint8_t* bytes = pages.Page(pageSize, page);
    if (bytes == nullptr) return false;
    const uint32_t at = page == 1 ? kDatabaseHeaderBytes : 0;
    const uint8_t type = WellFormedPageType(bytes, pageSize, at, pageCount);
    const uint32_t cellCount = Be16(bytes + at + 3);
    if (type == kTableLeaf) {
      bool any = false;
      for (uint32_t i = 0; i < cellCount; ++i) {
        const uint32_t cell = Be16(bytes + at + 8 + 2 * i);
        if (const auto text = SchemaRecordType(bytes, pageSize, cell)) {
          VoteOn(*text, votes);
          any = true;
        }
      }
      return any;
    }
    if (type != kTableInterior) return false;
    // The left-most child: that of the first cell, or the right-most child
    // of a page without cells.
    page = cellCount == 0 ? Be32(bytes + at + 8) : Be32(bytes + Be16(bytes + at + 12));
  }
  return false;
}

// Up to kRebuildSamplePages pages from page 2 on, spread evenly over the
// file: more must be well-formed b-tree pages than pages no database page
// can be. A page that starts with a page number (overflow, freelist) counts
// neither way, nor does a page of zeros (freed pages are wiped by secure
// deletion).
bool SampledPagesFit(PageSource& pages, uint32_t pageSize, uint64_t pageCount) {
  if (pageCount < 2) return true;
  const uint64_t others = pageCount - 1;
  const uint64_t samples = std::min<uint64_t>(others, kRebuildSamplePages);
  uint64_t fitting = 0;
  uint64_t wrong = 0;
  for (uint64_t i = 0; i < samples; ++i) {
    const uint64_t page = samples == 1 ? 2 : 2 + i * (others - 1) / (samples - 1);
    const uint8_t* bytes = pages.Page(pageSize, page);
    if (bytes == nullptr) {
      ++wrong;
      continue;
    }
    if (WellFormedPageType(bytes, pageSize, 0, pageCount) != 0) {
      ++fitting;
    } else if (Be32(bytes) > pageCount) {
      ++wrong;
    }
  }
  return fitting > wrong;
}

}  // namespace

std::optional<RebuiltHeader> RebuildHeader(Reader& reader) {
  PageSource pages(reader);
  for (uint32_t pageSize = kSmallestPageSize; pageSize <= kLargestPageSize; pageSize *= 2) {
    const uint64_t pageCount = reader.length / pageSize;
    if (pageCount == 0) break;
    EncodingVotes votes;
    if (!SchemaFits(pages, pageSize, pageCount, votes)) continue;
    if (!SampledPagesFit(pages, pageSize, pageCount)) continue;
    RebuiltHeader header;
    header.pageSize = pageSize;
    if (votes.utf16le > votes.utf8 && votes.utf16le >= votes.utf16be) {
      header.textEncoding = kUtf16le;
    } else if (votes.utf16be > votes.utf8 && votes.utf16be > votes.utf16le) {
      header.textEncoding = kUtf16be;
    } else {
      header.textEncoding = kUtf8;
    }
    return header;
  }
  return std::nullopt;
}

std::u16string HeaderRebuiltNotice(uint64_t pageSize, uint8_t textEncoding) {
  const char16_t* encoding = textEncoding == kUtf16le   ? u"UTF-16le"
                             : textEncoding == kUtf16be ? u"UTF-16be"
                                                        : u"UTF-8";
  return u"No database header was found; the header was rebuilt from the pages (page size " +
         Utf8ToUtf16(std::to_string(pageSize)) + u", " + encoding + u").";
}

}  // namespace korvel
