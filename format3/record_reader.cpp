#include "format3/record_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/app_title.h"
#include "core/text_codec.h"
#include "format3/page_layout.h"

namespace korvel::format3 {

namespace {


// A big-endian two's-complement integer of 1 to 8 bytes.
int64_t BigEndianSigned(const uint8_t* p, size_t n) {
  uint64_t u = 0;
  for (size_t i = 0; i < n; ++i) u = (u << 8) | p[i];
  const unsigned shift = static_cast<unsigned>(64 - 8 * n);
  if (shift == 0) return static_cast<int64_t>(u);
  return static_cast<int64_t>(u << shift) >> shift;
}

constexpr size_t kIntegerSizes[] = {0, 1, 2, 3, 4, 6, 8, 8};

void SetText(RecordValue& v) {
  v.kind = RecordValue::Kind::Text;
  v.blob.clear();
}

}  // namespace

size_t ReadVarint(const uint8_t* p, const uint8_t* end, uint64_t& value) {
  value = 0;
  size_t i = 0;
  while (p + i < end) {
    const uint8_t b = p[i];
    if (i == 8) {
      value = (value << 8) | b;
      return 9;
    }
    value = (value << 7) | (b & 0x7F);
    ++i;
    if ((b & 0x80) == 0) return i;
  }
  return i;
}

uint64_t SerialTypeSize(uint64_t serialType) {
  if (serialType < 8) return kIntegerSizes[serialType];
  if (serialType < 12) return 0;
  return (serialType - 12) / 2;
}

uint64_t LocalPayloadSize(uint64_t payloadLength, uint32_t usableSize) {
  const uint64_t u = usableSize;
  if (u < 480) return payloadLength;  // not a usable page size; keep everything local
  const uint64_t maxLocal = u - 35;
  if (payloadLength <= maxLocal) return payloadLength;
  const uint64_t minLocal = (u - 12) * 32 / 255 - 23;
  const uint64_t k = minLocal + (payloadLength - minLocal) % (u - 4);
  return k <= maxLocal ? k : minLocal;
}

uint64_t LocalIndexPayloadSize(uint64_t payloadLength, uint32_t usableSize) {
  const uint64_t u = usableSize;
  if (u < 480) return payloadLength;
  const uint64_t maxLocal = (u - 12) * 64 / 255 - 23;
  if (payloadLength <= maxLocal) return payloadLength;
  const uint64_t minLocal = (u - 12) * 32 / 255 - 23;
  const uint64_t k = minLocal + (payloadLength - minLocal) % (u - 4);
  return k <= maxLocal ? k : minLocal;
}

RecordReader::RecordReader(const RecordLayout& layout, OverflowPageSource& overflow)
    : layout_(layout), overflow_(overflow) {
  if (layout_.usableSize == 0 || layout_.usableSize > layout_.pageSize) {
    layout_.usableSize = layout_.pageSize;
  }
  if (layout_.columnCount < 0) layout_.columnCount = 0;
  serialTypes_.reserve(static_cast<size_t>(layout_.columnCount));
}

bool RecordReader::NextPart(Stream& s) {
  const uint8_t* page = nullptr;
  size_t available = 0;
  if (!s.onOverflow) {
    if (s.overflowPointerAt + 4 > s.leafBytes) {
      damage_ = RecordDamage::OverflowPointer;
      return false;
    }
    const uint64_t first = Be32(s.segment + s.overflowPointerAt);
    if (first < 1 || first > layout_.pageCount) {
      damage_ = RecordDamage::OverflowPointer;
      return false;
    }
    page = overflow_.TakeOverflowPage(first, available);
    if (page == nullptr || available < 4) {
      damage_ = RecordDamage::OverflowPointer;
      return false;
    }
  } else {
    if (s.nextPage == 0) {
      damage_ = RecordDamage::ChainEnded;
      return false;
    }
    if (s.nextPage > layout_.pageCount) {
      damage_ = RecordDamage::ChainBroken;
      return false;
    }
    page = overflow_.TakeOverflowPage(s.nextPage, available);
    if (page == nullptr || available < 4) {
      damage_ = RecordDamage::ChainBroken;
      return false;
    }
  }
  s.nextPage = Be32(page);
  s.segment = page;
  s.pos = 4;
  s.end = layout_.usableSize;
  s.available = available;
  s.onOverflow = true;
  return true;
}

bool RecordReader::Take(Stream& s, uint64_t n, const uint8_t*& data, uint64_t& got) {
  got = 0;
  data = nullptr;
  const size_t inPart = s.end > s.pos ? s.end - s.pos : 0;
  if (n <= inPart) {
    if (s.pos + n > s.available) {
      damage_ = s.onOverflow ? RecordDamage::ChainBroken : RecordDamage::PastEndOfFile;
      return false;
    }
    data = s.segment + s.pos;
    s.pos += static_cast<size_t>(n);
    got = n;
    return true;
  }
  // The value continues beyond this part: assemble it.
  scratch_.clear();
  if (n <= (uint64_t{1} << 24)) scratch_.reserve(static_cast<size_t>(n));
  uint64_t remaining = n;
  for (;;) {
    size_t here = s.end > s.pos ? s.end - s.pos : 0;
    bool missing = false;
    if (s.pos + here > s.available) {
      here = s.available > s.pos ? s.available - s.pos : 0;
      missing = true;
    }
    const size_t take = static_cast<size_t>(std::min<uint64_t>(here, remaining));
    scratch_.append(reinterpret_cast<const char*>(s.segment + s.pos), take);
    s.pos += take;
    remaining -= take;
    if (remaining == 0) break;
    if (missing) {
      damage_ = s.onOverflow ? RecordDamage::ChainBroken : RecordDamage::PastEndOfFile;
      break;
    }
    if (!NextPart(s)) break;
  }
  data = reinterpret_cast<const uint8_t*>(scratch_.data());
  got = scratch_.size();
  return remaining == 0;
}

void RecordReader::DecodeText(const uint8_t* bytes, size_t n, RecordValue& value) const {
  SetText(value);
  // The text ends at its first zero character; its bytes are kept as they
  // are, to be read in the file's encoding wherever they are shown.
  if (layout_.encoding != TextEncoding::Utf8) {
    // Either byte order: a zero unit is two zero bytes. An odd last byte is
    // half a unit and is dropped.
    value.form = layout_.encoding == TextEncoding::Utf16be ? TextForm::Utf16be : TextForm::Utf16le;
    size_t units = n / 2;
    for (size_t i = 0; i < units; ++i) {
      if (bytes[2 * i] == 0 && bytes[2 * i + 1] == 0) {
        units = i;
        break;
      }
    }
    value.text.assign(reinterpret_cast<const char*>(bytes), 2 * units);
    return;
  }
  value.form = TextForm::Utf8;
  if (const void* zero = std::memchr(bytes, 0, n)) {
    n = static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes);
  }
  value.text.assign(reinterpret_cast<const char*>(bytes), n);
}

RecordDamage RecordReader::Read(const uint8_t* page, size_t pageBytes, uint32_t cellOffset,
                                uint32_t cellLimit, CarvedRecord& out) {
  damage_ = RecordDamage::None;
  out.damage = RecordDamage::None;
  out.rowid = 0;
  size_t count = 0;
  auto finish = [&]() {
    out.values.resize(count);
    out.damage = damage_;
    return damage_;
  };

  const size_t pageSize = layout_.pageSize;
  if (cellOffset >= pageBytes || cellOffset >= pageSize) {
    damage_ = RecordDamage::Unreadable;
    return finish();
  }
  if (cellLimit <= cellOffset || cellLimit > pageSize) cellLimit = static_cast<uint32_t>(pageSize);

  // Payload length and rowid.
  const uint8_t* bytesEnd = page + std::min<size_t>(pageBytes, cellLimit);
  uint64_t payloadLength = 0;
  const size_t n1 = ReadVarint(page + cellOffset, bytesEnd, payloadLength);
  uint64_t rowid = 0;
  const size_t n2 = n1 == 0 || layout_.indexCells
                        ? 0
                        : ReadVarint(page + cellOffset + n1, bytesEnd, rowid);
  if (n1 == 0 || (n2 == 0 && !layout_.indexCells)) {
    damage_ = RecordDamage::Unreadable;
    return finish();
  }
  out.rowid = rowid;
  const size_t bodyStart = cellOffset + n1 + n2;

  // Where the part of the payload kept on this page ends. The format fixes
  // it for a cell that spills onto overflow pages; when that does not fit
  // the cell's region (damage), the region decides: a payload longer than
  // the region ends with a 4-byte overflow page number at the region's end.
  size_t localEnd = 0;
  const uint64_t extentBytes = cellLimit - cellOffset;
  bool exact = false;
  const uint64_t local = layout_.indexCells
                             ? LocalIndexPayloadSize(payloadLength, layout_.usableSize)
                             : LocalPayloadSize(payloadLength, layout_.usableSize);
  if (layout_.usableSize >= 480 && local < payloadLength) {
    if (bodyStart + local + 4 <= cellLimit) {
      localEnd = static_cast<size_t>(bodyStart + local);
      exact = true;
    }
  }
  if (!exact) {
    const size_t allowance = payloadLength > extentBytes ? 4 : 0;
    localEnd = cellLimit >= bodyStart + allowance ? cellLimit - allowance : bodyStart;
  }

  Stream s;
  s.segment = page;
  s.pos = bodyStart;
  s.end = localEnd;
  s.available = pageBytes;
  s.leafBytes = pageBytes;
  s.overflowPointerAt = localEnd;

  // Record header: its size, then one serial type per column.
  const size_t headerLimit = std::min(localEnd, pageBytes);
  serialTypes_.clear();
  size_t valuesStart = bodyStart;
  if (bodyStart < headerLimit) {
    uint64_t headerSize = 0;
    const size_t hn = ReadVarint(page + bodyStart, page + headerLimit, headerSize);
    size_t p = bodyStart + hn;
    const size_t headerEnd =
        headerSize >= hn && headerSize <= headerLimit - bodyStart ? bodyStart + headerSize
                                                                  : headerLimit;
    while (p < headerEnd && serialTypes_.size() < static_cast<size_t>(layout_.columnCount)) {
      uint64_t t = 0;
      const size_t tn = ReadVarint(page + p, page + headerEnd, t);
      if (tn == 0) break;
      p += tn;
      serialTypes_.push_back(t);
    }
    // A sound header is skipped by its declared size; a damaged one ends
    // where its serial types were read.
    valuesStart = (headerSize >= hn && bodyStart + headerSize <= headerLimit)
                      ? bodyStart + static_cast<size_t>(headerSize)
                      : p;
  }
  s.pos = valuesStart;

  const uint64_t cap = layout_.valueCap;
  try {
    for (int column = 0; column < layout_.columnCount; ++column) {
      if (count == out.values.size()) out.values.emplace_back();
      RecordValue& v = out.values[count];
      if (static_cast<size_t>(column) >= serialTypes_.size()) {
        SetText(v);  // a column the record does not hold reads as an empty text
        v.text.clear();
        ++count;
        continue;
      }
      const uint64_t t = serialTypes_[column];
      const uint8_t* data = nullptr;
      uint64_t got = 0;
      if (t == 0) {
        if (column == layout_.keyColumn) {
          v.kind = RecordValue::Kind::Integer;
          v.integer = static_cast<int64_t>(rowid);
        } else {
          v.kind = RecordValue::Kind::Null;
        }
      } else if (t <= 6) {
        const size_t size = kIntegerSizes[t];
        if (!Take(s, size, data, got)) break;
        v.kind = RecordValue::Kind::Integer;
        v.integer = BigEndianSigned(data, size);
      } else if (t == 7) {
        if (!Take(s, 8, data, got)) break;
        const uint64_t bits = static_cast<uint64_t>(BigEndianSigned(data, 8));
        double d;
        std::memcpy(&d, &bits, sizeof d);
        v.kind = RecordValue::Kind::Real;
        v.real = d;
      } else if (t == 8 || t == 9) {
        v.kind = RecordValue::Kind::Integer;
        v.integer = t == 9 ? 1 : 0;
      } else if (t == 10 || t == 11) {
        SetText(v);
        v.text.clear();
      } else {
        uint64_t size = (t - 12) / 2;
        bool tooLong = false;
        if (size > cap) {
          size = cap;
          tooLong = true;
        }
        const bool complete = Take(s, size, data, got);
        const size_t have = static_cast<size_t>(got);
        if (t % 2 == 0) {
          v.kind = RecordValue::Kind::Blob;
          v.text.clear();
          v.blob.assign(reinterpret_cast<const char*>(data ? data : page), have);
        } else {
          DecodeText(data ? data : page, have, v);
        }
        if (!complete || tooLong) {
          // What arrived of a value cut off by damage is kept.
          if (damage_ == RecordDamage::None) damage_ = RecordDamage::ChainEnded;
          ++count;
          break;
        }
      }
      ++count;
    }
  } catch (const std::bad_alloc&) {
    // A value too large for memory: the record ends before it.
    if (damage_ == RecordDamage::None) damage_ = RecordDamage::ChainEnded;
  }
  return finish();
}

DamageEffect ReportRecordDamage(EngineHost& host, RecordDamage damage) {
  static constexpr char16_t kErrorInReading[] = u"Error in reading";
  static constexpr char16_t kCorruptionInCellArea[] = u"Corruption in file Cell content area";
  switch (damage) {
    case RecordDamage::Unreadable:
      return DamageEffect::Skip;
    case RecordDamage::PastEndOfFile:
      host.ShowMessage(kErrorInReading, kAppTitle, MessageButtons::Ok, MessageIcon::None);
      return DamageEffect::EndPage;
    case RecordDamage::OverflowPointer:
      host.ShowMessage(kCorruptionInCellArea, kAppTitle, MessageButtons::Ok, MessageIcon::None);
      return DamageEffect::Deliver;
    case RecordDamage::ChainBroken:
      host.ShowMessage(kErrorInReading, kAppTitle, MessageButtons::Ok, MessageIcon::None);
      return DamageEffect::Deliver;
    case RecordDamage::ChainEnded:
    case RecordDamage::None:
      break;
  }
  return DamageEffect::Deliver;
}

void AppendDisplayText(const RecordValue& value, std::u16string& out) {
  switch (value.kind) {
    case RecordValue::Kind::Null:
      out += u"NULL";
      return;
    case RecordValue::Kind::Integer: {
      char buffer[32];
      const int n = std::snprintf(buffer, sizeof buffer, "%lld",
                                  static_cast<long long>(value.integer));
      for (int i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(buffer[i]));
      return;
    }
    case RecordValue::Kind::Real: {
      char buffer[512];
      const int n = std::snprintf(buffer, sizeof buffer, "%lf", value.real);
      const int len = std::min<int>(n, static_cast<int>(sizeof buffer) - 1);
      for (int i = 0; i < len; ++i) out.push_back(static_cast<char16_t>(buffer[i]));
      return;
    }
    case RecordValue::Kind::Text:
      if (value.form == TextForm::Utf8 &&
          std::all_of(value.text.begin(), value.text.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        // Plain ASCII, the usual case, is widened as it stands.
        out.reserve(out.size() + value.text.size());
        for (char c : value.text) {
          out.push_back(static_cast<char16_t>(c));
          if (c == '\'') out.push_back(u'\'');
        }
        return;
      }
      for (char16_t c : TextCharacters(value)) {
        out.push_back(c);
        if (c == u'\'') out.push_back(u'\'');
      }
      return;
    case RecordValue::Kind::Blob:
      out += u"< Blob Data >";
      return;
  }
}

std::u16string DisplayText(const RecordValue& value) {
  std::u16string out;
  AppendDisplayText(value, out);
  return out;
}

}  // namespace korvel::format3
