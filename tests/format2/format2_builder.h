#pragma once
// Builds small format-2.1 files for tests by laying out their pages: the file
// header on page 1, the master b-tree on page 2, table b-tree pages with
// their cells, keys and records, and overflow chains for long payloads.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvel::testing::format2 {

// One field of a record: a text, or NULL.
using Field = std::optional<std::string>;

// A format-2.1 record: one offset per field and an end offset (1, 2 or 3
// bytes each, by the record's size), then each text with its zero byte.
std::string EncodeRecord(const std::vector<Field>& fields);
// A record of exactly `length` bytes holding one text.
std::string RecordOfLength(size_t length);

struct BuiltCell {
  uint32_t leftChild = 0;
  int32_t rowNumber = 0;
  std::string record;
};

struct BuiltRow {
  int32_t rowNumber = 0;
  std::vector<Field> fields;
};

class Format2File {
 public:
  // Page 1 (header) and an empty master root on page 2. A big-endian file
  // is one written on a big-endian machine: its page and cell headers and
  // overflow links are big-endian, and so is its magic number.
  explicit Format2File(bool bigEndian = false);

  uint32_t PageCount() const { return static_cast<uint32_t>(bytes_.size() / 1024); }
  uint32_t NewPage();
  // Lays out a b-tree page: the cells from offset 8 on, chained in order;
  // payloads longer than 236 bytes go on to new overflow pages, whose numbers
  // are kept in overflowPages (one list per cell).
  void SetTreePage(uint32_t page, const std::vector<BuiltCell>& cells, uint32_t rightChild = 0);
  std::vector<std::vector<uint32_t>> overflowPages;

  // A master record (kind, name, table name, root page, statement); page 2
  // is laid out again each time. A statement of nullopt is stored as NULL.
  void AddMasterRecord(const std::string& kind, const std::string& name,
                       const std::string& tableName, uint32_t rootPage,
                       const std::optional<std::string>& sql);
  // A master record given as raw record bytes.
  void AddRawMasterRecord(const std::string& record);
  // A table with its rows on one new leaf page and its master record.
  uint32_t AddTable(const std::string& name, const std::string& sql,
                    const std::vector<BuiltRow>& rows);

  uint8_t* Page(uint32_t page) { return bytes_.data() + (page - 1) * 1024; }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  // Writes the file, optionally after a prefix of other bytes.
  void Save(const std::string& path, const std::vector<uint8_t>& prefix = {}) const;

 private:
  void Put16(uint8_t* p, uint32_t v) const;
  void Put32(uint8_t* p, uint32_t v) const;

  bool bigEndian_ = false;
  std::vector<uint8_t> bytes_;
  std::vector<BuiltCell> master_;
  int32_t nextMasterKey_ = 1;
};

}  // namespace korvel::testing::format2
