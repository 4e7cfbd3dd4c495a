#pragma once
// Decoding of one table b-tree leaf cell of a format-3 file into its record
// values: the two leading varints, the record header's serial types, the
// values in column order and their continuation on overflow pages.
//
// The reader works on the bytes of a leaf page that the caller holds in
// memory and asks the caller for overflow pages. Every length, offset and
// page number it takes from the file is checked against the bytes that are
// really there before it is used.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine_host.h"
#include "core/record_value.h"

namespace korvel::format3 {

// A varint of the file format (big-endian groups of seven bits, at most nine
// bytes, the ninth contributing all eight of its bits). Returns the number of
// bytes it took; 0 when p == end. A varint cut off by end yields the bits
// that were there.
size_t ReadVarint(const uint8_t* p, const uint8_t* end, uint64_t& value);

// Bytes that a value of the serial type takes in the record body.
uint64_t SerialTypeSize(uint64_t serialType);

// Bytes of the payload kept on the leaf page itself when a cell of a table
// leaf page has this payload length (usableSize: page size less the
// reserved bytes at the end of every page).
uint64_t LocalPayloadSize(uint64_t payloadLength, uint32_t usableSize);

// The same for a cell of an index b-tree page, leaf or interior, whose
// payload is kept local only up to a quarter of the page or so.
uint64_t LocalIndexPayloadSize(uint64_t payloadLength, uint32_t usableSize);

enum class TextEncoding { Utf8, Utf16le, Utf16be };

// How the leaf page's owner hands out overflow pages.
class OverflowPageSource {
 public:
  virtual ~OverflowPageSource() = default;
  // The bytes of page number page (counted from 1) and how many of them lie
  // in the file; null when the page cannot be read or was already used by
  // the current walk (an overflow page belongs to one value only, so a
  // second use means the chain is damaged or loops).
  virtual const uint8_t* TakeOverflowPage(uint64_t page, size_t& available) = 0;
};

struct RecordLayout {
  uint32_t pageSize = 0;
  uint32_t usableSize = 0;  // page size less the reserved bytes
  uint64_t pageCount = 0;
  TextEncoding encoding = TextEncoding::Utf8;
  int columnCount = 0;
  int keyColumn = -1;       // the INTEGER PRIMARY KEY column, or -1
  // Cells of an index b-tree (a table without rowid): the payload length is
  // not followed by a rowid, and less of the payload stays on the page. An
  // interior cell is read from just after its 4-byte child page number.
  bool indexCells = false;
  uint64_t valueCap = 0;    // no single value can be longer than this (the file's length)
};

// What went wrong while a record was read; the record holds the values
// read before it.
enum class RecordDamage {
  None,
  // The cell cannot be read at all (its offset lies outside the page).
  Unreadable,
  // The first overflow page number is 0, beyond the page count or already
  // used: "Corruption in file Cell content area".
  OverflowPointer,
  // A later page of an overflow chain lies beyond the page count, cannot be
  // read or was already used: "Error in reading".
  ChainBroken,
  // An overflow chain ended (next page 0) before the value was complete.
  ChainEnded,
  // A value read in place would end beyond the end of the file: "Error in
  // reading", and the rest of the page cannot be read either.
  PastEndOfFile,
};

struct CarvedRecord {
  uint64_t rowid = 0;
  // One value per column read; a record cut short by damage holds fewer
  // values than the table has columns. The elements are reused from record
  // to record so that their storage is kept.
  std::vector<RecordValue> values;
  RecordDamage damage = RecordDamage::None;
};

class RecordReader {
 public:
  RecordReader(const RecordLayout& layout, OverflowPageSource& overflow);

  // Decodes the cell at cellOffset of a leaf page whose bytes are
  // page[0 .. pageBytes) (for page 1 counted from the database header);
  // cellLimit is the offset where the cell's region ends.
  RecordDamage Read(const uint8_t* page, size_t pageBytes, uint32_t cellOffset,
                    uint32_t cellLimit, CarvedRecord& out);

 private:
  // The payload as one stream: the local part on the leaf page, then the
  // overflow chain.
  struct Stream {
    const uint8_t* segment = nullptr;  // bytes of the current part
    size_t pos = 0;                    // read position within segment
    size_t end = 0;                    // end of the current part within segment
    size_t available = 0;              // bytes of segment that really exist
    bool onOverflow = false;
    size_t overflowPointerAt = 0;      // leaf page offset of the first overflow page number
    size_t leafBytes = 0;
    uint64_t nextPage = 0;
  };

  // Takes n bytes of the stream. On success data points at them (into the
  // page when they lie in one part, else into scratch_) and true returns;
  // otherwise got tells how many arrived and damage_ says why.
  bool Take(Stream& s, uint64_t n, const uint8_t*& data, uint64_t& got);
  bool NextPart(Stream& s);
  void DecodeText(const uint8_t* bytes, size_t n, RecordValue& value) const;

  RecordLayout layout_;
  OverflowPageSource& overflow_;
  std::string scratch_;
  std::vector<uint64_t> serialTypes_;
  RecordDamage damage_ = RecordDamage::None;
};

// What a walk does with a record after its damage was reported.
enum class DamageEffect {
  Deliver,  // hand on the values read
  Skip,     // nothing of the cell could be read
  EndPage,  // nor can the rest of the page: it lies beyond the end of the file
};

// Shows the message the damage calls for ("Error in reading", "Corruption
// in file Cell content area"; none for a chain that merely ended early).
DamageEffect ReportRecordDamage(EngineHost& host, RecordDamage damage);

// The text the record list shows for a value: numbers in decimal, a real
// number as "%lf", "NULL", a text with each single quote doubled, and
// "< Blob Data >" for a BLOB.
void AppendDisplayText(const RecordValue& value, std::u16string& out);
std::u16string DisplayText(const RecordValue& value);

}  // namespace korvel::format3
