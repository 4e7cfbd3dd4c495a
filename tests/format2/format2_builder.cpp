#include "tests/format2/format2_builder.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace korvel::testing::format2 {
namespace {

constexpr size_t kPage = 1024;
constexpr size_t kLocal = 236;
constexpr size_t kOverflowData = 1020;

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::string EncodeRecord(const std::vector<Field>& fields) {
  const size_t n = fields.size();
  size_t dataBytes = 0;
  for (const Field& f : fields) {
    if (f) dataBytes += f->size() + 1;
  }
  size_t width = 3;
  if (dataBytes + n + 1 < 256) {
    width = 1;
  } else if (dataBytes + 2 * n + 2 < 65536) {
    width = 2;
  }
  std::string record;
  size_t address = width * (n + 1);
  auto put = [&](size_t value) {
    for (size_t b = 0; b < width; ++b) record.push_back(static_cast<char>((value >> (8 * b)) & 0xff));
  };
  for (const Field& f : fields) {
    put(address);
    if (f) address += f->size() + 1;
  }
  put(address);
  for (const Field& f : fields) {
    if (!f) continue;
    record += *f;
    record.push_back('\0');
  }
  return record;
}

std::string RecordOfLength(size_t length) {
  // One field: width offsets (2 of them) plus the text and its zero byte.
  const size_t width = length < 256 ? 1 : (length < 65536 ? 2 : 3);
  if (length < 2 * width + 1) throw std::runtime_error("record too short");
  std::string text;
  for (size_t i = 0; text.size() < length - 2 * width - 1; ++i) {
    text.push_back(static_cast<char>('a' + i % 26));
  }
  std::string record = EncodeRecord({text});
  if (record.size() != length) throw std::runtime_error("record length not reachable");
  return record;
}

Format2File::Format2File(bool bigEndian) : bigEndian_(bigEndian), bytes_(2 * kPage, 0) {
  static const char kMagic[] = "** This file contains an SQLite 2.1 database **";
  std::memcpy(bytes_.data(), kMagic, sizeof kMagic);
  Put32(bytes_.data() + 48, 0xdae37528u);
}

void Format2File::Put16(uint8_t* p, uint32_t v) const {
  if (!bigEndian_) return PutLe16(p, v);
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void Format2File::Put32(uint8_t* p, uint32_t v) const {
  if (!bigEndian_) return PutLe32(p, v);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}

uint32_t Format2File::NewPage() {
  bytes_.resize(bytes_.size() + kPage, 0);
  return PageCount();
}

void Format2File::SetTreePage(uint32_t page, const std::vector<BuiltCell>& cells,
                              uint32_t rightChild) {
  while (PageCount() < page) NewPage();
  overflowPages.assign(cells.size(), {});
  std::vector<uint8_t> content(kPage, 0);
  Put32(content.data(), rightChild);
  Put16(content.data() + 4, cells.empty() ? 0 : 8);
  size_t offset = 8;
  for (size_t i = 0; i < cells.size(); ++i) {
    const BuiltCell& cell = cells[i];
    std::string payload(4, '\0');
    const uint32_t key = static_cast<uint32_t>(cell.rowNumber) ^ 0x80000000u;
    for (int b = 0; b < 4; ++b) payload[b] = static_cast<char>(key >> (8 * (3 - b)));
    payload += cell.record;
    const bool overflows = payload.size() > kLocal;
    const size_t local = overflows ? kLocal : payload.size();
    size_t size = 12 + local + (overflows ? 4 : 0);
    size = (size + 3) / 4 * 4;
    if (offset + size > kPage) throw std::runtime_error("cells do not fit the page");
    uint8_t* h = content.data() + offset;
    const size_t dataLength = cell.record.size();
    Put32(h, cell.leftChild);
    Put16(h + 4, 4);
    Put16(h + 6, i + 1 < cells.size() ? static_cast<uint32_t>(offset + size) : 0);
    h[8] = 0;
    h[9] = static_cast<uint8_t>(dataLength >> 16);
    Put16(h + 10, static_cast<uint32_t>(dataLength & 0xffff));
    std::memcpy(h + 12, payload.data(), local);
    if (overflows) {
      size_t done = local;
      uint32_t previous = 0;
      while (done < payload.size()) {
        const uint32_t overflow = NewPage();
        overflowPages[i].push_back(overflow);
        Put32(previous == 0 ? h + 12 + kLocal : Page(previous), overflow);
        const size_t take = std::min(kOverflowData, payload.size() - done);
        std::memcpy(Page(overflow) + 4, payload.data() + done, take);
        done += take;
        previous = overflow;
      }
    }
    offset += size;
  }
  std::memcpy(Page(page), content.data(), kPage);
}

void Format2File::AddMasterRecord(const std::string& kind, const std::string& name,
                                  const std::string& tableName, uint32_t rootPage,
                                  const std::optional<std::string>& sql) {
  AddRawMasterRecord(EncodeRecord({kind, name, tableName, std::to_string(rootPage), sql}));
}

void Format2File::AddRawMasterRecord(const std::string& record) {
  master_.push_back({0, nextMasterKey_++, record});
  SetTreePage(2, master_);
}

uint32_t Format2File::AddTable(const std::string& name, const std::string& sql,
                               const std::vector<BuiltRow>& rows) {
  const uint32_t root = NewPage();
  std::vector<BuiltCell> cells;
  for (const BuiltRow& row : rows) cells.push_back({0, row.rowNumber, EncodeRecord(row.fields)});
  SetTreePage(root, cells);
  AddMasterRecord("table", name, name, root, sql);
  return root;
}

void Format2File::Save(const std::string& path, const std::vector<uint8_t>& prefix) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(prefix.data()), static_cast<std::streamsize>(prefix.size()));
  out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace korvel::testing::format2
