// Decoding of single table leaf cells built byte by byte: serial types and
// their text forms, record headers, text encodings and overflow chains.

#include "format3/record_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "tests/support/recording_host.h"

namespace korvel::format3 {
namespace {

using korvel::testing::U8;
using Bytes = std::vector<uint8_t>;

Bytes Varint(uint64_t v) {
  if (v > 0x00FFFFFFFFFFFFFFull) {
    Bytes out(9);
    out[8] = static_cast<uint8_t>(v);
    v >>= 8;
    for (int i = 7; i >= 0; --i) {
      out[i] = static_cast<uint8_t>((v & 0x7F) | 0x80);
      v >>= 7;
    }
    return out;
  }
  Bytes rev;
  rev.push_back(v & 0x7F);
  v >>= 7;
  while (v != 0) {
    rev.push_back(static_cast<uint8_t>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  return Bytes(rev.rbegin(), rev.rend());
}

void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

struct Column {
  uint64_t type;
  Bytes body;
};

Column TextColumn(const std::string& s) { return {13 + 2 * s.size(), Bytes(s.begin(), s.end())}; }
Column BlobColumn(const Bytes& b) { return {12 + 2 * b.size(), b}; }

// Record header (its size, serial types) and body.
Bytes Payload(const std::vector<Column>& columns) {
  Bytes types;
  for (const auto& c : columns) Append(types, Varint(c.type));
  uint64_t headerSize = types.size() + 1;
  if (headerSize >= 128) headerSize = types.size() + 2;
  Bytes out = Varint(headerSize);
  Append(out, types);
  for (const auto& c : columns) Append(out, c.body);
  return out;
}

// Overflow pages by number; each page may be taken once.
class FakeOverflow : public OverflowPageSource {
 public:
  const uint8_t* TakeOverflowPage(uint64_t page, size_t& available) override {
    auto it = pages.find(page);
    if (it == pages.end() || !used.insert(page).second) return nullptr;
    available = it->second.size();
    return it->second.data();
  }
  std::map<uint64_t, Bytes> pages;
  std::set<uint64_t> used;
};

constexpr uint32_t kPageSize = 512;
constexpr uint32_t kCellAt = 100;

struct Harness {
  explicit Harness(int columns, int keyColumn = -1, TextEncoding enc = TextEncoding::Utf8) {
    layout.pageSize = kPageSize;
    layout.usableSize = kPageSize;
    layout.pageCount = 10;
    layout.encoding = enc;
    layout.columnCount = columns;
    layout.keyColumn = keyColumn;
    layout.valueCap = 100000;
    page.assign(kPageSize, 0);
  }
  // A cell held wholly on the page.
  RecordDamage ReadLocal(const Bytes& payload, uint64_t rowid = 7) {
    Bytes cell = Varint(payload.size());
    Append(cell, Varint(rowid));
    Append(cell, payload);
    std::memcpy(page.data() + kCellAt, cell.data(), cell.size());
    RecordReader reader(layout, overflow);
    return reader.Read(page.data(), page.size(), kCellAt, kPageSize, record);
  }
  // A cell whose first `local` payload bytes stay on the page, followed by
  // the first overflow page number; the rest goes onto pages 2, 3, ...
  // chained in order (the last one's next page is lastNext).
  RecordDamage ReadSpilled(const Bytes& payload, size_t local, uint32_t firstPage = 2,
                           uint32_t lastNext = 0) {
    Bytes cell = Varint(payload.size());
    Append(cell, Varint(7));
    cell.insert(cell.end(), payload.begin(), payload.begin() + local);
    for (int i = 3; i >= 0; --i) cell.push_back(static_cast<uint8_t>(firstPage >> (8 * i)));
    std::memcpy(page.data() + kCellAt, cell.data(), cell.size());
    size_t at = local;
    uint32_t number = 2;
    while (at < payload.size()) {
      const size_t n = std::min<size_t>(kPageSize - 4, payload.size() - at);
      Bytes p(kPageSize, 0);
      const uint32_t next = at + n < payload.size() ? number + 1 : lastNext;
      for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(next >> (8 * (3 - i)));
      std::memcpy(p.data() + 4, payload.data() + at, n);
      overflow.pages[number] = p;
      at += n;
      ++number;
    }
    RecordReader reader(layout, overflow);
    return reader.Read(page.data(), page.size(), kCellAt,
                       static_cast<uint32_t>(kCellAt + cell.size()), record);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& v : record.values) out.push_back(U8(DisplayText(v)));
    return out;
  }

  RecordLayout layout;
  FakeOverflow overflow;
  Bytes page;
  CarvedRecord record;
};

TEST(ReadVarintTest, DecodesEveryLength) {
  struct Case {
    Bytes bytes;
    uint64_t value;
    size_t length;
  } cases[] = {
      {{0x00}, 0, 1},
      {{0x7F}, 127, 1},
      {{0x81, 0x00}, 128, 2},
      {{0x82, 0x80, 0x01}, 0x8001, 3},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, ~0ull, 9},
      {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 0x55}, 1, 9},
  };
  for (const auto& c : cases) {
    uint64_t v = 0;
    EXPECT_EQ(ReadVarint(c.bytes.data(), c.bytes.data() + c.bytes.size(), v), c.length);
    EXPECT_EQ(v, c.value);
  }
  // Cut off by the end: only the bytes that are there.
  const Bytes cut = {0x81, 0x81};
  uint64_t v = 0;
  EXPECT_EQ(ReadVarint(cut.data(), cut.data() + cut.size(), v), 2u);
  EXPECT_EQ(ReadVarint(cut.data(), cut.data(), v), 0u);
}

TEST(SerialTypeTest, SizesAndLocalPayload) {
  const uint64_t sizes[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0, 0, 0, 1, 1};
  for (uint64_t t = 0; t < 16; ++t) EXPECT_EQ(SerialTypeSize(t), sizes[t]) << t;
  // 512-byte pages: at most 477 bytes local; beyond, 39 + (P - 39) % 508
  // when that stays within 477, else 39.
  EXPECT_EQ(LocalPayloadSize(477, 512), 477u);
  EXPECT_EQ(LocalPayloadSize(1203, 512), 187u);
  EXPECT_EQ(LocalPayloadSize(1041, 512), 39u);
  EXPECT_EQ(LocalPayloadSize(4096, 4096), 489u);
}

TEST(RecordTextFormTest, EachSerialTypeHasItsText) {
  auto be = [](uint64_t v, int n) {
    Bytes out;
    for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
  };
  double d = 1.5;
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  struct Case {
    Column column;
    int keyColumn;
    const char* text;
  } cases[] = {
      {{0, {}}, -1, "NULL"},
      {{0, {}}, 0, "7"},  // a NULL in the key column is the rowid
      {{1, {0xFF}}, -1, "-1"},
      {{1, {0x7F}}, 0, "127"},
      {{2, {0x80, 0x00}}, -1, "-32768"},
      {{3, {0xFF, 0xFF, 0xFF}}, -1, "-1"},
      {{3, {0x7F, 0xFF, 0xFF}}, -1, "8388607"},
      {{4, {0x80, 0, 0, 0}}, -1, "-2147483648"},
      {{5, {0x80, 0, 0, 0, 0, 0}}, -1, "-140737488355328"},
      {{5, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}}, -1, "-2"},
      {{5, {0, 0, 0, 1, 0, 0}}, -1, "65536"},
      {{6, be(0x8000000000000000ull, 8)}, -1, "-9223372036854775808"},
      {{6, be(1234567890123ull, 8)}, -1, "1234567890123"},
      {{7, be(bits, 8)}, -1, "1.500000"},
      {{8, {}}, -1, "0"},
      {{9, {}}, -1, "1"},
      {{8, {}}, 0, "0"},
      {{10, {}}, -1, ""},
      {{11, {}}, -1, ""},
      {TextColumn("O'Brien"), -1, "O''Brien"},
      {TextColumn(""), -1, ""},
      {BlobColumn({1, 2, 3}), -1, "< Blob Data >"},
  };
  for (const auto& c : cases) {
    Harness h(1, c.keyColumn);
    EXPECT_EQ(h.ReadLocal(Payload({c.column})), RecordDamage::None);
    ASSERT_EQ(h.record.values.size(), 1u);
    EXPECT_EQ(h.Texts()[0], c.text) << "serial type " << c.column.type;
  }
}

TEST(RecordValueTest, ValuesKeepTheirKindAndExactBits) {
  const double tenth = 0.1;
  uint64_t bits;
  std::memcpy(&bits, &tenth, 8);
  Bytes real;
  for (int i = 7; i >= 0; --i) real.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  Harness h(5, 0);
  ASSERT_EQ(h.ReadLocal(Payload({{0, {}}, {7, real}, BlobColumn({0, 0xFF, 0}), TextColumn("ab"),
                                 {9, {}}}),
                        42),
            RecordDamage::None);
  const auto& v = h.record.values;
  ASSERT_EQ(v.size(), 5u);
  EXPECT_EQ(v[0].kind, RecordValue::Kind::Integer);
  EXPECT_EQ(v[0].integer, 42);
  EXPECT_EQ(v[1].kind, RecordValue::Kind::Real);
  EXPECT_EQ(v[1].real, 0.1);  // the exact double, not its six-digit text
  EXPECT_EQ(h.Texts()[1], "0.100000");
  EXPECT_EQ(v[2].kind, RecordValue::Kind::Blob);
  EXPECT_EQ(v[2].blob, std::string("\0\xFF\0", 3));
  EXPECT_EQ(v[3].kind, RecordValue::Kind::Text);
  EXPECT_EQ(TextCharacters(v[3]), u"ab");
  EXPECT_EQ(v[4].kind, RecordValue::Kind::Integer);
  EXPECT_EQ(v[4].integer, 1);
  EXPECT_EQ(h.record.rowid, 42u);
}

TEST(RecordHeaderTest, MissingColumnsReadAsEmptyText) {
  Harness h(3);
  ASSERT_EQ(h.ReadLocal(Payload({{1, {5}}})), RecordDamage::None);
  EXPECT_EQ(h.Texts(), (std::vector<std::string>{"5", "", ""}));
  EXPECT_EQ(h.record.values[1].kind, RecordValue::Kind::Text);
}

TEST(RecordHeaderTest, LongHeaderIsRead) {
  // 130 NULL columns and an integer: the header size takes two bytes.
  std::vector<Column> columns(130, Column{0, {}});
  columns.push_back({1, {9}});
  Harness h(131);
  ASSERT_EQ(h.ReadLocal(Payload(columns)), RecordDamage::None);
  ASSERT_EQ(h.record.values.size(), 131u);
  EXPECT_EQ(h.Texts()[0], "NULL");
  EXPECT_EQ(h.Texts()[130], "9");
}

TEST(RecordHeaderTest, ExtraSerialTypesAreSkippedByTheHeaderSize) {
  // The record holds three columns; the table knows two of them.
  Harness h(2);
  ASSERT_EQ(h.ReadLocal(Payload({{1, {1}}, {1, {2}}, {1, {3}}})), RecordDamage::None);
  EXPECT_EQ(h.Texts(), (std::vector<std::string>{"1", "2"}));
}

TEST(RecordTextTest, EncodingsDecode) {
  struct Case {
    TextEncoding enc;
    Bytes bytes;
    std::u16string text;
  } cases[] = {
      {TextEncoding::Utf8, {'a', 0xC3, 0xA9}, u"a\u00E9"},  // valid UTF-8
      {TextEncoding::Utf8, {'a', 0xE9}, u"a\u00E9"},        // a lone byte: the ANSI code page
      {TextEncoding::Utf8, {'a', 0x80}, u"a\u20AC"},
      {TextEncoding::Utf8, {'a', 'b', 0, 'c'}, u"ab"},      // up to the first zero byte
      {TextEncoding::Utf16le, {'h', 0, 'i', 0, 0, 0, 'x', 0}, u"hi"},
      {TextEncoding::Utf16le, {0xAC, 0x20, 'x'}, u"\u20AC"},  // odd byte dropped
  };
  for (const auto& c : cases) {
    Harness h(1, -1, c.enc);
    ASSERT_EQ(h.ReadLocal(Payload({{13 + 2 * c.bytes.size(), c.bytes}})), RecordDamage::None);
    EXPECT_EQ(TextCharacters(h.record.values[0]), c.text);
  }
}

TEST(RecordTextTest, UnreadableCells) {
  Harness h(1);
  RecordReader reader(h.layout, h.overflow);
  EXPECT_EQ(reader.Read(h.page.data(), h.page.size(), kPageSize, kPageSize, h.record),
            RecordDamage::Unreadable);
  EXPECT_TRUE(h.record.values.empty());
  // Bytes that stop inside the varints.
  h.page[kPageSize - 1] = 0x81;
  EXPECT_EQ(reader.Read(h.page.data(), h.page.size(), kPageSize - 1, 0, h.record),
            RecordDamage::Unreadable);
}

TEST(RecordOverflowTest, TextOverTwoOverflowPages) {
  std::string text;
  for (int i = 0; i < 1200; ++i) text.push_back(static_cast<char>('a' + i % 26));
  Harness h(2);
  const Bytes payload = Payload({{1, {3}}, TextColumn(text)});
  ASSERT_EQ(payload.size(), 1205u);  // 189 bytes local, 2 x 508 on overflow pages
  ASSERT_EQ(h.ReadSpilled(payload, LocalPayloadSize(payload.size(), kPageSize)),
            RecordDamage::None);
  EXPECT_EQ(h.overflow.used, (std::set<uint64_t>{2, 3}));
  ASSERT_EQ(h.record.values.size(), 2u);
  EXPECT_EQ(h.record.values[1].text, text);
}

TEST(RecordOverflowTest, IntegerSplitAcrossTheOverflowBoundary) {
  // Header 5 bytes + 32-byte text: the 4-byte integer starts at payload byte
  // 37, and only 39 bytes stay on the page.
  Bytes blob(1000);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 7);
  const Bytes payload = Payload({TextColumn(std::string(32, 'x')),
                                 {4, {0x12, 0x34, 0x56, 0x78}}, BlobColumn(blob)});
  ASSERT_EQ(payload.size(), 1041u);
  Harness h(3);
  ASSERT_EQ(h.ReadSpilled(payload, 39), RecordDamage::None);
  ASSERT_EQ(h.record.values.size(), 3u);
  EXPECT_EQ(h.record.values[1].integer, 0x12345678);
  EXPECT_EQ(h.record.values[2].blob, std::string(blob.begin(), blob.end()));
}

TEST(RecordOverflowTest, DamagedChains) {
  std::string text(1200, 'q');
  const Bytes payload = Payload({{1, {3}}, TextColumn(text), {1, {4}}});
  const size_t local = LocalPayloadSize(payload.size(), kPageSize);
  struct Case {
    const char* what;
    uint32_t firstPage;
    uint32_t lastNext;
    bool dropPage3;
    RecordDamage damage;
    size_t values;
  } cases[] = {
      {"first page 0", 0, 0, false, RecordDamage::OverflowPointer, 2},
      {"first page beyond the count", 11, 0, false, RecordDamage::OverflowPointer, 2},
      {"next page beyond the count", 2, 0, true, RecordDamage::ChainBroken, 2},
      {"sound", 2, 0, false, RecordDamage::None, 3},
  };
  for (const auto& c : cases) {
    Harness h(3);
    if (c.dropPage3) {
      // Page 2 names page 12, beyond the page count of 10.
      h.ReadSpilled(payload, local, c.firstPage, c.lastNext);
      h.overflow.used.clear();
      h.overflow.pages[2][3] = 12;
      RecordReader reader(h.layout, h.overflow);
      const Bytes& page = h.page;
      uint64_t len = payload.size();
      const size_t cellSize = Varint(len).size() + 1 + local + 4;
      EXPECT_EQ(reader.Read(page.data(), page.size(), kCellAt,
                            static_cast<uint32_t>(kCellAt + cellSize), h.record),
                c.damage)
          << c.what;
    } else {
      EXPECT_EQ(h.ReadSpilled(payload, local, c.firstPage, c.lastNext), c.damage) << c.what;
    }
    ASSERT_EQ(h.record.values.size(), c.values) << c.what;
    EXPECT_EQ(h.Texts()[0], "3");
    // What arrived of the cut-off text is kept.
    EXPECT_FALSE(h.record.values[1].text.empty()) << c.what;
    EXPECT_EQ(h.record.values[1].text, std::string(h.record.values[1].text.size(), 'q'));
  }
}

TEST(RecordOverflowTest, ChainThatEndsEarlyOrLoops) {
  // 2000 bytes need four overflow pages; the chain stops after two.
  std::string text(2000, 'z');
  const Bytes payload = Payload({TextColumn(text), {1, {4}}});
  const size_t local = LocalPayloadSize(payload.size(), kPageSize);
  {
    Harness h(2);
    h.ReadSpilled(payload, local);
    h.overflow.used.clear();
    h.overflow.pages[3][3] = 0;  // page 3 ends the chain
    h.overflow.pages.erase(4);
    h.overflow.pages.erase(5);
    RecordReader reader(h.layout, h.overflow);
    const size_t cellSize = Varint(payload.size()).size() + 1 + local + 4;
    EXPECT_EQ(reader.Read(h.page.data(), h.page.size(), kCellAt,
                          static_cast<uint32_t>(kCellAt + cellSize), h.record),
              RecordDamage::ChainEnded);
    ASSERT_EQ(h.record.values.size(), 1u);
    EXPECT_EQ(h.record.values[0].text.size(), local - 4 + 2 * (kPageSize - 4));
  }
  {
    Harness h(2);
    h.ReadSpilled(payload, local);
    h.overflow.used.clear();
    h.overflow.pages[3][3] = 2;  // page 3 points back to page 2
    RecordReader reader(h.layout, h.overflow);
    const size_t cellSize = Varint(payload.size()).size() + 1 + local + 4;
    EXPECT_EQ(reader.Read(h.page.data(), h.page.size(), kCellAt,
                          static_cast<uint32_t>(kCellAt + cellSize), h.record),
              RecordDamage::ChainBroken);
  }
}

TEST(RecordOverflowTest, ClaimedLengthBeyondTheFileIsBounded) {
  // A serial type claiming a text of 2^40 bytes in a small cell.
  Harness h(1);
  h.layout.valueCap = 5000;
  const Bytes payload = Payload({{13 + (uint64_t{1} << 41), {'a', 'b'}}});
  const RecordDamage d = h.ReadLocal(payload);
  EXPECT_NE(d, RecordDamage::None);
  ASSERT_LE(h.record.values.size(), 1u);
  if (!h.record.values.empty()) {
    EXPECT_LE(h.record.values[0].text.size(), 5000u);
  }
}

}  // namespace
}  // namespace korvel::format3
