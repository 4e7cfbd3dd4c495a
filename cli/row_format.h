#pragma once
// Writes the records of one table to a stream as they arrive, one row at a
// time, in one of the --show formats:
//   tsv   a header line of column names, then one line per record; a tab,
//         line feed, carriage return or backslash inside a value is written
//         as a backslash followed by t, n, r or another backslash
//   csv   RFC 4180: comma-separated fields, CRLF line ends, a field with a
//         comma, quote, CR or LF between double quotes, quotes doubled
//   json  one array of objects keyed by column name
// Typed records (what --show prints) keep their kinds: in tsv a NULL is \N,
// in csv an empty unquoted field (an empty text is ""), in json null;
// numbers are written in full (a real with 17 significant digits, so it
// reads back exactly) and unquoted in json; a blob is written x'HEX'.

#include <ostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "core/record_value.h"

namespace korvel::cli {

class RowWriter {
 public:
  RowWriter(std::ostream& out, RowFormat format, std::vector<std::string> columns);
  // Values in UTF-8. A row shorter than the columns is padded (empty text,
  // or null in json); extra values get the column names "column N".
  void Row(const std::vector<std::string>& values);
  // A record as read from the file.
  void Record(const std::vector<RecordValue>& values);
  // Ends the output (the closing bracket of json).
  void Finish();
  size_t rows() const { return rows_; }

 private:
  struct Field {
    std::string text;
    bool null = false;
    bool number = false;  // unquoted in json
    bool emptyText = false;
  };
  void Emit(const std::vector<Field>& fields);

  std::ostream& out_;
  RowFormat format_;
  std::vector<std::string> columns_;
  size_t rows_ = 0;
  bool finished_ = false;
};

// A column name of a table descriptor without its primary-key mark
// ("id< P.K >" gives "id"), blanks trimmed.
std::string ColumnTitle(const std::u16string& descriptorColumn);

std::string TsvField(const std::string& value);
std::string CsvField(const std::string& value);
std::string JsonString(const std::string& value);

}  // namespace korvel::cli
