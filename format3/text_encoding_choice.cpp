#include "format3/text_encoding_choice.h"
#include "format3/page_layout.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace korvel::format3 {

namespace {

// Schema pages looked at, and pages waiting to be; a sound schema fits on
// far fewer.
constexpr size_t kMaxSchemaPages = 64;
constexpr size_t kMaxPendingPages = 4096;

constexpr std::string_view kKinds[] = {"table", "index", "view", "trigger"};


char Lower(uint8_t c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); }

// True when the n bytes at p spell word in the encoding (letter case
// ignored).
bool Spells(const uint8_t* p, size_t n, std::string_view word, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8) {
    if (n != word.size()) return false;
    for (size_t i = 0; i < n; ++i) {
      if (Lower(p[i]) != word[i]) return false;
    }
    return true;
  }
  if (n != 2 * word.size()) return false;
  const size_t low = encoding == TextEncoding::Utf16le ? 0 : 1;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Lower(p[2 * i + low]) != word[i] || p[2 * i + 1 - low] != 0) return false;
  }
  return true;
}

// Adds a vote per schema record of a table leaf page whose first column
// names a kind of object in an encoding.
void VoteOnLeaf(const uint8_t* page, size_t available, uint64_t pageNumber, int votes[3]) {
  const size_t header = pageNumber == 1 ? kDatabaseHeaderSize : 0;
  if (header + kLeafPageHeaderSize > available) return;
  const size_t cells = Be16(page + header + 3);
  const size_t array = header + kLeafPageHeaderSize;
  for (size_t i = 0; i < cells && array + 2 * i + 2 <= available; ++i) {
    const size_t cell = Be16(page + array + 2 * i);
    if (cell >= available) continue;
    const uint8_t* end = page + available;
    uint64_t payload = 0;
    uint64_t rowid = 0;
    uint64_t headerSize = 0;
    uint64_t type = 0;
    size_t at = cell;
    size_t n = ReadVarint(page + at, end, payload);
    at += n;
    if (n == 0 || (n = ReadVarint(page + at, end, rowid)) == 0) continue;
    at += n;
    const size_t body = at;
    if ((n = ReadVarint(page + at, end, headerSize)) == 0) continue;
    at += n;
    if (ReadVarint(page + at, end, type) == 0 || type < 13 || type % 2 == 0) continue;
    const uint64_t length = (type - 13) / 2;
    if (headerSize > available - body || length > available - body - headerSize) continue;
    const uint8_t* text = page + body + headerSize;
    for (TextEncoding e : {TextEncoding::Utf8, TextEncoding::Utf16le, TextEncoding::Utf16be}) {
      for (std::string_view kind : kKinds) {
        if (Spells(text, static_cast<size_t>(length), kind, e)) ++votes[static_cast<int>(e)];
      }
    }
  }
}

}  // namespace

TextEncoding SchemaTextEncoding(Reader& reader, const PageGeometry& g) {
  int votes[3] = {0, 0, 0};
  if (g.pageSize == 0 || g.pageCount == 0) return TextEncoding::Utf8;
  std::vector<uint8_t> page(g.pageSize);
  std::vector<uint64_t> pending = {1};
  std::vector<uint64_t> seen;
  while (!pending.empty() && seen.size() < kMaxSchemaPages) {
    const uint64_t number = pending.back();
    pending.pop_back();
    if (!PageInRange(g, number) || std::find(seen.begin(), seen.end(), number) != seen.end()) {
      continue;
    }
    seen.push_back(number);
    const size_t available = reader.ReadAt(PageOffset(g, number), page.data(), page.size());
    const size_t header = number == 1 ? kDatabaseHeaderSize : 0;
    if (header + kInteriorPageHeaderSize > available) continue;
    const uint8_t type = page[header];
    if (type == 13) {
      VoteOnLeaf(page.data(), available, number, votes);
    } else if (type == 5) {
      // The children, right-most last (taken from the back of the list).
      pending.push_back(Be32(page.data() + header + 8));
      const size_t cells = Be16(page.data() + header + 3);
      const size_t array = header + kInteriorPageHeaderSize;
      for (size_t i = cells; i-- > 0 && pending.size() < kMaxPendingPages;) {
        if (array + 2 * i + 2 > available) continue;
        const size_t cell = Be16(page.data() + array + 2 * i);
        if (cell + 4 <= available) pending.push_back(Be32(page.data() + cell));
      }
    }
  }
  TextEncoding best = TextEncoding::Utf8;
  for (TextEncoding e : {TextEncoding::Utf16le, TextEncoding::Utf16be}) {
    if (votes[static_cast<int>(e)] > votes[static_cast<int>(best)]) best = e;
  }
  return best;
}

EncodingChoice ChooseTextEncoding(bool utf8Chosen, bool utf16Chosen, uint8_t headerField,
                                  Reader& reader, const PageGeometry& g) {
  EncodingChoice choice;
  const bool named = headerField >= 1 && headerField <= 3;
  if (utf16Chosen) {
    if (headerField == 3) {
      choice.encoding = TextEncoding::Utf16be;
    } else if (named) {
      choice.encoding = TextEncoding::Utf16le;
    } else {
      choice.fieldRepaired = true;
      choice.encoding = SchemaTextEncoding(reader, g) == TextEncoding::Utf16be
                            ? TextEncoding::Utf16be
                            : TextEncoding::Utf16le;
    }
  } else if (utf8Chosen) {
    choice.encoding = TextEncoding::Utf8;
  } else if (named) {
    choice.encoding = headerField == 1   ? TextEncoding::Utf8
                      : headerField == 2 ? TextEncoding::Utf16le
                                         : TextEncoding::Utf16be;
  } else {
    choice.fieldRepaired = true;
    choice.encoding = SchemaTextEncoding(reader, g);
  }
  return choice;
}

const char16_t* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf16le: return u"UTF-16le";
    case TextEncoding::Utf16be: return u"UTF-16be";
    case TextEncoding::Utf8: break;
  }
  return u"UTF-8";
}

}  // namespace korvel::format3
