#include "format2/format2_layout.h"

#include <algorithm>
#include <unordered_set>

#include "core/reader.h"

namespace korvel::format2 {

uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

PageFile::PageFile(Reader* reader, uint64_t headerPosition)
    : reader_(reader), headerPosition_(headerPosition) {
  if (reader_ != nullptr && reader_->length > headerPosition_) {
    pageCount_ = (reader_->length - headerPosition_) / kPageSize;
    uint8_t magic[4] = {};
    if (reader_->ReadAt(headerPosition_ + kFileMagicOffset, magic, sizeof magic) == sizeof magic) {
      order_.bigEndian = ReadLe32(magic) != kFileMagic && ByteOrder{true}.U32(magic) == kFileMagic;
    }
  }
}

bool PageFile::ReadPage(uint64_t page, PageBytes& out) const {
  out.fill(0);
  if (reader_ == nullptr || page < 1 || page > pageCount_) return false;
  const uint64_t offset = headerPosition_ + (page - 1) * kPageSize;
  reader_->ReadAt(offset, out.data(), kPageSize);
  return true;
}

PageCells ReadCells(const PageBytes& page, uint16_t firstCell, ByteOrder order) {
  PageCells result;
  result.rightChild = order.U32(page.data());
  result.firstCell = firstCell;
  std::array<bool, kPageSize> seen{};
  uint32_t offset = firstCell;
  while (offset != 0) {
    if (offset < kPageHeaderSize || offset + kCellHeaderSize > kPageSize || seen[offset]) {
      result.damaged = true;
      break;
    }
    seen[offset] = true;
    const uint8_t* h = page.data() + offset;
    Cell cell;
    cell.offset = static_cast<uint16_t>(offset);
    cell.leftChild = order.U32(h);
    cell.dataLength = static_cast<uint32_t>(order.U16(h + 10)) | (static_cast<uint32_t>(h[9]) << 16);
    result.cells.push_back(cell);
    offset = order.U16(h + 6);
  }
  return result;
}

PageCells ReadCells(const PageBytes& page, ByteOrder order) {
  return ReadCells(page, order.U16(page.data() + 4), order);
}

Payload ReadPayload(const PageFile& file, const PageBytes& page, const Cell& cell) {
  Payload payload;
  payload.recordLength = cell.dataLength;
  // Table and master b-trees always carry 4-byte keys; the key length field
  // is not trusted.
  const uint64_t total = kKeySize + static_cast<uint64_t>(cell.dataLength);
  const uint32_t start = cell.offset + kCellHeaderSize;
  const uint64_t local = std::min<uint64_t>(total, kLocalPayload);
  const uint64_t inPage = kPageSize - start;
  if (local > inPage) {
    payload.bytes.assign(reinterpret_cast<const char*>(page.data() + start), inPage);
    payload.damaged = true;
    return payload;
  }
  payload.bytes.assign(reinterpret_cast<const char*>(page.data() + start), local);
  if (total <= kLocalPayload) {
    payload.complete = true;
    return payload;
  }
  if (start + kLocalPayload + 4 > kPageSize) {
    payload.damaged = true;
    return payload;
  }
  uint32_t next = file.Order().U32(page.data() + start + kLocalPayload);
  uint64_t remaining = total - kLocalPayload;
  std::unordered_set<uint32_t> chain;
  PageBytes overflow;
  while (remaining > 0) {
    if (!file.IsTreePage(next) || !chain.insert(next).second) {
      payload.damaged = true;  // ended early, left the file or looped
      return payload;
    }
    file.ReadPage(next, overflow);
    const uint64_t take = std::min<uint64_t>(remaining, kOverflowPayload);
    payload.bytes.append(reinterpret_cast<const char*>(overflow.data() + 4), take);
    remaining -= take;
    next = file.Order().U32(overflow.data());
  }
  payload.complete = true;
  return payload;
}

int64_t RowNumber(const Payload& payload) {
  uint32_t key = 0;
  for (size_t i = 0; i < kKeySize; ++i) {
    const uint8_t b = i < payload.bytes.size() ? static_cast<uint8_t>(payload.bytes[i]) : 0;
    key = (key << 8) | b;
  }
  return static_cast<int32_t>(key ^ 0x80000000u);
}

std::vector<RecordField> DecodeRecord(std::string_view record, uint64_t recordLength,
                                      size_t fieldCount) {
  std::vector<RecordField> fields;
  const size_t width = recordLength < 256 ? 1 : (recordLength < 65536 ? 2 : 3);
  auto offsetAt = [&](size_t index, uint64_t& value) {
    const size_t at = index * width;
    if (at + width > record.size()) return false;
    value = 0;
    for (size_t b = width; b-- > 0;) value = (value << 8) | static_cast<uint8_t>(record[at + b]);
    return true;
  };
  uint64_t first = 0;
  if (!offsetAt(0, first) || first < width || first % width != 0 || first > recordLength) {
    return fields;
  }
  // The record's own field count: its header holds one offset per field and
  // an end offset.
  const size_t ownFields = static_cast<size_t>(first / width) - 1;
  const size_t count = std::min(fieldCount, ownFields);
  uint64_t begin = first;
  for (size_t i = 0; i < count; ++i) {
    uint64_t end = 0;
    if (!offsetAt(i + 1, end) || end < begin || end > recordLength) break;
    RecordField field;
    if (end == begin) {
      field.null = true;
      fields.push_back(field);
      continue;
    }
    if (begin >= record.size()) break;  // nothing of this field was read
    const uint64_t available = std::min<uint64_t>(end, record.size());
    std::string_view bytes = record.substr(begin, available - begin);
    const size_t zero = bytes.find('\0');
    if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
    field.text = bytes;
    field.cut = end > record.size() && zero == std::string_view::npos;
    fields.push_back(field);
    if (end > record.size()) break;
    begin = end;
  }
  return fields;
}

bool TreeWalker::Walk(uint64_t rootPage, const CellVisitor& visit) {
  struct Frame {
    PageBytes bytes;
    PageCells cells;
    size_t next = 0;
    bool leftDone = false;
    bool rightDone = false;
  };
  std::vector<bool> seen(file_.PageCount() + 1, false);
  std::vector<Frame> pending;
  auto enter = [&](uint64_t page) {
    if (beforePage && !beforePage()) return false;
    if (!file_.IsTreePage(page) || seen[page]) {
      ++damaged_;
      return true;
    }
    seen[page] = true;
    pending.emplace_back();
    Frame& frame = pending.back();
    file_.ReadPage(page, frame.bytes);
    uint16_t first = file_.Order().U16(frame.bytes.data() + 4);
    if (first == 0 && assumeFirstCellWhenEmpty) first = kPageHeaderSize;
    frame.cells = ReadCells(frame.bytes, first, file_.Order());
    if (frame.cells.damaged) ++damaged_;
    return true;
  };
  if (!enter(rootPage)) return false;
  while (!pending.empty()) {
    Frame& frame = pending.back();
    if (frame.next < frame.cells.cells.size()) {
      const Cell cell = frame.cells.cells[frame.next];
      if (!frame.leftDone) {
        frame.leftDone = true;
        if (cell.leftChild != 0) {
          if (!enter(cell.leftChild)) return false;
          continue;
        }
      }
      frame.leftDone = false;
      ++frame.next;
      if (!visit(frame.bytes, cell)) return false;
      continue;
    }
    if (!frame.rightDone) {
      frame.rightDone = true;
      if (frame.cells.rightChild != 0) {
        if (!enter(frame.cells.rightChild)) return false;
        continue;
      }
    }
    pending.pop_back();
  }
  return true;
}

}  // namespace korvel::format2
