#pragma once
// One decoded value of a carved record, typed so that the repaired database
// receives exactly what the damaged file held, and the interface through
// which a save hands each record to the repaired database.

#include <cstdint>
#include <string>
#include <vector>

namespace korvel {

struct RecordValue {
  enum class Kind { Null, Integer, Real, Text, Blob };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::u16string text;  // Kind::Text, decoded from the file's encoding
  std::string blob;     // Kind::Blob, the bytes themselves

  static RecordValue Null() { return {}; }
  static RecordValue Integer(int64_t v) {
    RecordValue r;
    r.kind = Kind::Integer;
    r.integer = v;
    return r;
  }
  static RecordValue Real(double v) {
    RecordValue r;
    r.kind = Kind::Real;
    r.real = v;
    return r;
  }
  static RecordValue Text(std::u16string v) {
    RecordValue r;
    r.kind = Kind::Text;
    r.text = std::move(v);
    return r;
  }
  static RecordValue Blob(std::string v) {
    RecordValue r;
    r.kind = Kind::Blob;
    r.blob = std::move(v);
    return r;
  }
};

// Receives the records of the table being saved, one call per record, in the
// order they are read. A record with fewer values than the table has columns
// is one that damage cut short.
class RecordInsertTarget {
 public:
  virtual ~RecordInsertTarget() = default;
  virtual void ExecuteRecordInsert(const std::u16string& tableName,
                                   const std::vector<RecordValue>& values) = 0;
};

}  // namespace korvel
