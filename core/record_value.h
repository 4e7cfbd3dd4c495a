#pragma once
// One decoded value of a carved record, typed so that the repaired database
// receives exactly what the damaged file held, and the interface through
// which a save hands each record to the repaired database.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

// How the bytes of a text value are to be read.
enum class TextForm : uint8_t {
  // The bytes of a UTF-8 database: UTF-8 when they are valid UTF-8,
  // otherwise one Windows-1252 character per byte (what older programs
  // stored in such files).
  Utf8,
  Utf16le,
  Utf16be,
};

struct RecordValue {
  enum class Kind { Null, Integer, Real, Text, Blob };
  Kind kind = Kind::Null;
  TextForm form = TextForm::Utf8;  // Kind::Text
  int64_t integer = 0;
  double real = 0;
  // Kind::Text: the text's bytes as the file holds them, in `form`, up to
  // (not including) its first zero character.
  std::string text;
  std::string blob;  // Kind::Blob, the bytes themselves

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
  // A text given as its bytes in the form.
  static RecordValue Text(std::string bytes, TextForm form = TextForm::Utf8) {
    RecordValue r;
    r.kind = Kind::Text;
    r.form = form;
    r.text = std::move(bytes);
    return r;
  }
  // A text given as characters; held as UTF-8.
  static RecordValue Text(std::u16string_view characters);
  static RecordValue Blob(std::string v) {
    RecordValue r;
    r.kind = Kind::Blob;
    r.blob = std::move(v);
    return r;
  }
};

// The characters of a text value.
std::u16string TextCharacters(const RecordValue& value);

// The text value as UTF-8. When the value already holds valid UTF-8 its
// bytes are returned as they are (utf8 then points at value.text and
// scratch is untouched); otherwise the characters are converted into
// scratch.
std::string_view TextAsUtf8(const RecordValue& value, std::string& scratch);

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
