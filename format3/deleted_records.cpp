#include "format3/deleted_records.h"
#include "format3/page_layout.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace korvel::format3 {

namespace {


void AppendVarint(std::string& out, uint64_t v) {
  if (v > 0x00FFFFFFFFFFFFFFull) {
    uint8_t bytes[9];
    bytes[8] = static_cast<uint8_t>(v);
    v >>= 8;
    for (int i = 7; i >= 0; --i) {
      bytes[i] = static_cast<uint8_t>((v & 0x7F) | 0x80);
      v >>= 7;
    }
    out.append(reinterpret_cast<const char*>(bytes), 9);
    return;
  }
  uint8_t bytes[9];
  int n = 0;
  do {
    bytes[n++] = static_cast<uint8_t>(v & 0x7F);
    v >>= 7;
  } while (v != 0);
  for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<char>(bytes[i] | (i > 0 ? 0x80 : 0)));
}

// Overflow pages are never followed for a carved record.
class NoOverflow final : public OverflowPageSource {
 public:
  const uint8_t* TakeOverflowPage(uint64_t, size_t& available) override {
    available = 0;
    return nullptr;
  }
};

// A record found in a page before it is decoded: its header as the record
// had it, and where its values lie.
struct Candidate {
  uint32_t offset = 0;
  uint32_t end = 0;  // one past its last byte in the page
  bool rowidKnown = false;
  uint64_t rowid = 0;
  std::string header;  // header size, serial types
  const uint8_t* body = nullptr;
  size_t bodySize = 0;
  std::vector<uint64_t> types;
};

class PageCarver {
 public:
  PageCarver(const CarveInputs& in) : in_(in) {
    usable_ = std::min<uint32_t>(in.layout.usableSize ? in.layout.usableSize : in.g.pageSize,
                                 in.g.pageSize);
    maxLocal_ = usable_ > 35 ? usable_ - 35 : 0;
    for (const TableShape& s : in.shapes) maxColumns_ = std::max(maxColumns_, s.columnCount);
    decodeLayout_ = in.layout;
    decodeLayout_.pageSize = in.g.pageSize + 64;
    decodeLayout_.usableSize = in.g.pageSize + 64;  // everything is local
  }

  void Run(std::vector<DeletedRecord>& out) {
    out_ = &out;
    const auto& census = in_.census;
    for (size_t page = 1; page < census.use.size(); ++page) {
      if (census.use[page] != PageUse::Tree || in_.pageTable[page - 1].pageType != 13) continue;
      const int32_t owner = census.owner[page];
      if (owner < 0 || static_cast<size_t>(owner) >= in_.shapeOfRoot.size()) continue;
      const int shape = in_.shapeOfRoot[owner];
      if (shape < 0) continue;
      LoadPage(page);
      if (bytes_ == nullptr) continue;
      found_.clear();
      LeafFreeSpace(shape);
      Keep(shape, DeletedSource::Freeblock);
    }
    for (uint64_t page : census.freelist) {
      LoadPage(page);
      if (bytes_ == nullptr) continue;
      FreelistPage(census.use[page] == PageUse::FreelistTrunk);
    }
  }

 private:
  void LoadPage(uint64_t page) {
    page_ = page;
    bytes_ = in_.pages.Get(page, available_);
    limit_ = static_cast<uint32_t>(std::min<size_t>(available_, usable_));
    headerStart_ = page == 1 ? kDatabaseHeaderSize : 0;
  }

  // The free blocks and the gap of a table-leaf page whose header holds.
  void LeafFreeSpace(int shape) {
    if (limit_ < headerStart_ + kLeafPageHeaderSize) return;
    const uint8_t* h = bytes_ + headerStart_;
    const uint32_t cells = Be16(h + 3);
    uint32_t contentStart = Be16(h + 5);
    if (contentStart == 0) contentStart = 65536;
    const uint32_t pointersEnd = headerStart_ + kLeafPageHeaderSize + 2 * cells;
    if (pointersEnd < contentStart && contentStart <= limit_) {
      ScanFree(pointersEnd, contentStart, shape);
    }
    // The free-block chain goes up the page; anything else is damage.
    uint32_t block = Be16(h + 1);
    uint32_t last = 0;
    while (block != 0 && block > last && block + 4 <= limit_) {
      const uint32_t next = Be16(bytes_ + block);
      const uint32_t size = Be16(bytes_ + block + 2);
      const uint32_t end = std::min<uint32_t>(block + std::max<uint32_t>(size, 4), limit_);
      if (size >= 4) {
        uint32_t from = block + 4;
        if (shape >= 0) BlockStart(block, end, size, shape, false, from);
        ScanFree(from, end, shape);
      }
      last = block;
      block = next;
    }
  }

  void FreelistPage(bool trunk) {
    found_.clear();
    uint32_t from = 0;
    if (trunk) {
      const uint64_t leaves = limit_ >= 8 ? Be32(bytes_ + 4) : 0;
      from = static_cast<uint32_t>(std::min<uint64_t>(8 + 4 * leaves, limit_));
      ScanFree(from, limit_, -1);
    } else if (limit_ > kLeafPageHeaderSize && bytes_[0] == 13) {
      // A table leaf freed whole: its cells stand where its pointers say.
      const uint32_t cells = Be16(bytes_ + 3);
      for (uint32_t i = 0; i < cells && kLeafPageHeaderSize + 2 * i + 2 <= limit_; ++i) {
        const uint32_t at = Be16(bytes_ + kLeafPageHeaderSize + 2 * i);
        Candidate c;
        if (at >= kLeafPageHeaderSize && at < limit_ && ParseWhole(at, limit_, -1, c)) Add(c);
      }
      LeafFreeSpace(-1);
    } else {
      ScanFree(0, limit_, -1);
    }
    std::vector<std::vector<uint64_t>> types;
    for (const Candidate& c : found_) types.push_back(c.types);
    const int shape = BestFit(in_.shapes, types);
    if (shape < 0) return;
    if (!trunk && bytes_[0] == 13) {
      // With the table known, the first records of its free blocks can be
      // rebuilt as well.
      std::vector<Candidate> whole = std::move(found_);
      found_.clear();
      LeafFreeSpace(shape);
      for (Candidate& c : whole) Add(c);
    }
    Keep(shape, DeletedSource::Freelist);
  }

  // Adds a candidate unless one found before covers its bytes.
  void Add(Candidate& c) {
    for (const Candidate& f : found_) {
      if (c.offset < f.end && f.offset < c.end) return;
    }
    found_.push_back(std::move(c));
  }

  // Free space from "from" to "to": whole cells (payload length, rowid,
  // record) at every position, and, once the table is known, free blocks
  // that were never linked or were merged into a lower one. A cell freed at
  // the content start gets a free block header before the content start
  // moves past it, so the gap below the cell content holds such blocks,
  // each as long as its size says. A record found is skipped as a whole.
  void ScanFree(uint32_t from, uint32_t to, int shape) {
    uint32_t p = from;
    while (p + 4 <= to) {
      if (bytes_[p] == 0 && bytes_[p + 1] == 0 && bytes_[p + 2] == 0 && bytes_[p + 3] == 0) {
        // Neither a cell nor a free block starts with four zero bytes; free
        // space is mostly zeros. A block header may start three bytes
        // before the next byte that is not.
        p = NextNonZero(p + 4, to);
        p = p >= 3 ? std::max(p - 3, from) : from;
        continue;
      }
      const uint32_t size = Be16(bytes_ + p + 2);
      const uint32_t next = Be16(bytes_ + p);
      uint32_t after = 0;
      if (shape >= 0 && size >= 4 && p + size <= to && (next == 0 || next > p) &&
          BlockStart(p, p + size, size, shape, true, after)) {
        p = after;
        continue;
      }
      Candidate c;
      if (ParseWhole(p, to, shape, c)) {
        p = c.end;
        Add(c);
      } else {
        ++p;
      }
    }
  }

  // The first offset from p on (up to "to") whose byte is not zero.
  uint32_t NextNonZero(uint32_t p, uint32_t to) const {
    while (p + 8 <= to) {
      uint64_t word;
      std::memcpy(&word, bytes_ + p, sizeof word);
      if (word != 0) break;
      p += 8;
    }
    while (p < to && bytes_[p] == 0) ++p;
    return p;
  }

  // The record at the start of a free block, whose first four bytes the
  // block's header took; with exactOnly, only a record that fills the
  // block counts. True when one was found; next is where the rest of the
  // block is carved.
  bool BlockStart(uint32_t block, uint32_t end, uint32_t size, int shape, bool exactOnly,
                  uint32_t& next) {
    next = block + 4;
    const TableShape& s = in_.shapes[shape];
    Candidate best;
    bool found = false;
    bool exact = false;
    // k: the bytes of payload length and rowid. With k < 4 the header's
    // size (k = 3) or its size and first serial type (k = 2) are lost.
    for (uint32_t k = 2; k <= 12 && !exact; ++k) {
      Candidate c;
      bool ok = false;
      if (k >= 4) {
        ok = ParseHeader(block + k, end, shape, c, nullptr);
      } else if (k == 3) {
        ok = Rebuild(block, end, shape, 1, c);
      } else if (s.keyColumn == 0) {
        ok = Rebuild(block, end, shape, 2, c);
      }
      if (!ok) continue;
      c.offset = block;
      const bool isExact = block + size == c.end;
      if (!found || (isExact && !exact)) {
        best = std::move(c);
        found = true;
        exact = isExact;
      }
    }
    if (!found || (exactOnly && !exact)) return false;
    next = best.end;
    Add(best);
    return true;
  }

  // Rebuilds a header whose first lost bytes were its size (lost = 1) or
  // its size and the key column's serial type (lost = 2, the key being
  // the first column and stored as NULL).
  bool Rebuild(uint32_t block, uint32_t end, int shape, int lost, Candidate& c) {
    const TableShape& s = in_.shapes[shape];
    const uint32_t typesAt = block + 4;
    const int known = s.columnCount - (lost - 1);
    if (known < 0) return false;
    std::vector<uint64_t> types;
    if (lost == 2) types.push_back(0);
    uint32_t p = typesAt;
    for (int i = 0; i < known; ++i) {
      uint64_t t = 0;
      if (p >= end) return false;
      const size_t n = ReadVarint(bytes_ + p, bytes_ + end, t);
      if (n == 0 || (n < 9 && (bytes_[p + n - 1] & 0x80) != 0)) return false;
      p += static_cast<uint32_t>(n);
      types.push_back(t);
    }
    const uint32_t headerSize = p - (block + 4 - lost);
    if (headerSize >= 128) return false;
    c.header.assign(1, static_cast<char>(headerSize));
    if (lost == 2) c.header.push_back(0);
    c.header.append(reinterpret_cast<const char*>(bytes_ + typesAt), p - typesAt);
    return Finish(p, end, shape, std::move(types), c);
  }

  // A record header at h (header size, serial types) and its values.
  bool ParseHeader(uint32_t h, uint32_t end, int shape, Candidate& c, const uint64_t* payload) {
    if (h >= end) return false;
    uint64_t headerSize = 0;
    std::vector<uint64_t> types;
    if (!ReadSerialTypes(bytes_ + h, end - h, types, headerSize)) return false;
    if (payload != nullptr && headerSize > *payload) return false;
    c.header.assign(reinterpret_cast<const char*>(bytes_ + h), static_cast<size_t>(headerSize));
    const uint32_t bodyAt = h + static_cast<uint32_t>(headerSize);
    if (!Finish(bodyAt, end, shape, std::move(types), c)) return false;
    if (payload != nullptr && headerSize + c.bodySize != *payload) return false;
    return true;
  }

  // Payload length, rowid and record at p.
  bool ParseWhole(uint32_t p, uint32_t end, int shape, Candidate& c) {
    uint64_t payload = 0, rowid = 0;
    const uint8_t* stop = bytes_ + end;
    const size_t n1 = ReadVarint(bytes_ + p, stop, payload);
    if (n1 == 0 || n1 > 3 || (bytes_[p + n1 - 1] & 0x80) != 0) return false;
    if (payload < 2 || payload > maxLocal_) return false;
    const size_t n2 = ReadVarint(bytes_ + p + n1, stop, rowid);
    if (n2 == 0 || (n2 < 9 && (bytes_[p + n1 + n2 - 1] & 0x80) != 0)) return false;
    if (rowid == 0 || rowid > static_cast<uint64_t>(INT64_MAX)) return false;
    const uint64_t record = p + n1 + n2;
    if (record + payload > end) return false;
    if (!ParseHeader(static_cast<uint32_t>(record), static_cast<uint32_t>(record + payload), shape,
                     c, &payload)) {
      return false;
    }
    c.offset = p;
    c.rowidKnown = true;
    c.rowid = rowid;
    return true;
  }

  // Checks the values of a record whose body starts at bodyAt against the
  // table (or, with shape -1, against every table) and completes c.
  bool Finish(uint32_t bodyAt, uint32_t end, int shape, std::vector<uint64_t> types,
              Candidate& c) {
    const size_t n = types.size();
    if (n == 0 || static_cast<int>(n) > maxColumns_) return false;
    uint64_t size = 0;
    for (uint64_t t : types) {
      if (t == 10 || t == 11) return false;
      size += SerialTypeSize(t);
      if (size > usable_) return false;
    }
    if (bodyAt + size > end) return false;
    if (shape >= 0) {
      const TableShape& s = in_.shapes[shape];
      if (static_cast<int>(n) != s.columnCount || FitScore(s, types) < 0) return false;
    } else {
      bool any = false;
      for (const TableShape& s : in_.shapes) {
        if (static_cast<int>(n) == s.columnCount && FitScore(s, types) >= 0) {
          any = true;
          break;
        }
      }
      if (!any) return false;
    }
    uint64_t at = bodyAt;
    for (uint64_t t : types) {
      const uint64_t len = SerialTypeSize(t);
      if (t >= 13 && t % 2 == 1 &&
          !TextDecodes(bytes_ + at, static_cast<size_t>(len), in_.layout.encoding)) {
        return false;
      }
      at += len;
    }
    c.body = bytes_ + bodyAt;
    c.bodySize = static_cast<size_t>(size);
    c.end = static_cast<uint32_t>(bodyAt + size);
    c.types = std::move(types);
    return true;
  }

  // Decodes the candidates that fit the shape.
  void Keep(int shape, DeletedSource source) {
    const TableShape& s = in_.shapes[shape];
    RecordLayout layout = decodeLayout_;
    layout.columnCount = s.columnCount;
    layout.keyColumn = s.keyColumn;
    NoOverflow none;
    RecordReader reader(layout, none);
    std::string cell;
    for (Candidate& c : found_) {
      if (static_cast<int>(c.types.size()) != s.columnCount || FitScore(s, c.types) < 0) continue;
      cell.clear();
      AppendVarint(cell, c.header.size() + c.bodySize);
      AppendVarint(cell, c.rowidKnown ? c.rowid : 0);
      cell += c.header;
      cell.append(reinterpret_cast<const char*>(c.body), c.bodySize);
      CarvedRecord record;
      const auto* data = reinterpret_cast<const uint8_t*>(cell.data());
      if (reader.Read(data, cell.size(), 0, static_cast<uint32_t>(cell.size()), record) !=
          RecordDamage::None) {
        continue;
      }
      if (static_cast<int>(record.values.size()) != s.columnCount) continue;
      if (!c.rowidKnown && s.keyColumn >= 0) record.values[s.keyColumn] = RecordValue::Null();
      DeletedRecord d;
      d.shape = shape;
      d.page = page_;
      d.offset = c.offset;
      d.source = source;
      d.rowidKnown = c.rowidKnown;
      d.rowid = c.rowid;
      d.values = std::move(record.values);
      out_->push_back(std::move(d));
    }
    found_.clear();
  }

  const CarveInputs& in_;
  uint32_t usable_ = 0;
  uint32_t maxLocal_ = 0;
  int maxColumns_ = 0;
  RecordLayout decodeLayout_;
  std::vector<DeletedRecord>* out_ = nullptr;
  std::vector<Candidate> found_;
  uint64_t page_ = 0;
  const uint8_t* bytes_ = nullptr;
  size_t available_ = 0;
  uint32_t limit_ = 0;
  uint32_t headerStart_ = 0;
};

bool IsControl(uint32_t c) { return c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D; }

}  // namespace

bool TextDecodes(const uint8_t* bytes, size_t n, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8) {
    size_t i = 0;
    while (i < n) {
      const uint8_t b = bytes[i];
      if (b < 0x80) {
        if (IsControl(b) || b == 0) return false;
        ++i;
        continue;
      }
      size_t len;
      uint32_t cp;
      if (b >= 0xC2 && b <= 0xDF) len = 2, cp = b & 0x1F;
      else if (b >= 0xE0 && b <= 0xEF) len = 3, cp = b & 0x0F;
      else if (b >= 0xF0 && b <= 0xF4) len = 4, cp = b & 0x07;
      else return false;
      if (i + len > n) return false;
      for (size_t k = 1; k < len; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (bytes[i + k] & 0x3F);
      }
      if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
          (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
        return false;
      }
      i += len;
    }
    return true;
  }
  if (n % 2 != 0) return false;
  const bool little = encoding == TextEncoding::Utf16le;
  for (size_t i = 0; i < n; i += 2) {
    const uint32_t u = little ? (bytes[i] | (bytes[i + 1] << 8)) : ((bytes[i] << 8) | bytes[i + 1]);
    if (u == 0 || IsControl(u)) return false;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 4 > n) return false;
      const uint32_t low =
          little ? (bytes[i + 2] | (bytes[i + 3] << 8)) : ((bytes[i + 2] << 8) | bytes[i + 3]);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      i += 2;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

std::vector<DeletedRecord> CarveDeletedRecords(const CarveInputs& in) {
  std::vector<DeletedRecord> out;
  if (in.shapes.empty()) return out;
  PageCarver carver(in);
  carver.Run(out);
  return out;
}

}  // namespace korvel::format3
