#include "cli/row_format.h"

#include <cmath>
#include <cstdio>

#include <algorithm>

#include "core/text_codec.h"

namespace korvel::cli {

namespace {

constexpr char16_t kKeyMark[] = u"< P.K >";

std::string ColumnName(const std::vector<std::string>& columns, size_t i) {
  if (i < columns.size()) return columns[i];
  return "column " + std::to_string(i + 1);
}

}  // namespace

std::string ColumnTitle(const std::u16string& descriptorColumn) {
  std::u16string name = descriptorColumn;
  const std::u16string mark = kKeyMark;
  if (name.size() >= mark.size() && name.compare(name.size() - mark.size(), mark.size(), mark) == 0) {
    name.resize(name.size() - mark.size());
  }
  return Utf16ToUtf8(TrimBlanks(name));
}

std::string TsvField(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string JsonString(const std::string& value) {
  static const char* hex = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : value) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

RowWriter::RowWriter(std::ostream& out, RowFormat format, std::vector<std::string> columns)
    : out_(out), format_(format), columns_(std::move(columns)) {
  switch (format_) {
    case RowFormat::Tsv:
      for (size_t i = 0; i < columns_.size(); ++i) out_ << (i ? "\t" : "") << TsvField(columns_[i]);
      out_ << '\n';
      break;
    case RowFormat::Csv:
      for (size_t i = 0; i < columns_.size(); ++i) out_ << (i ? "," : "") << CsvField(columns_[i]);
      out_ << "\r\n";
      break;
    case RowFormat::Json:
      out_ << '[';
      break;
  }
}

void RowWriter::Row(const std::vector<std::string>& values) {
  std::vector<Field> fields;
  fields.reserve(values.size());
  for (const std::string& v : values) fields.push_back({v, false, false, v.empty()});
  Emit(fields);
}

void RowWriter::Record(const std::vector<RecordValue>& values) {
  static const char* kHex = "0123456789ABCDEF";
  std::vector<Field> fields;
  fields.reserve(values.size());
  for (const RecordValue& v : values) {
    Field f;
    switch (v.kind) {
      case RecordValue::Kind::Null:
        f.null = true;
        break;
      case RecordValue::Kind::Integer:
        f.text = std::to_string(v.integer);
        f.number = true;
        break;
      case RecordValue::Kind::Real: {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", v.real);
        f.text = buffer;
        f.number = std::isfinite(v.real);
        break;
      }
      case RecordValue::Kind::Text:
        f.text = std::string(TextAsUtf8(v, f.text));
        f.emptyText = f.text.empty();
        break;
      case RecordValue::Kind::Blob:
        f.text = "x'";
        for (unsigned char c : v.blob) {
          f.text.push_back(kHex[c >> 4]);
          f.text.push_back(kHex[c & 15]);
        }
        f.text += "'";
        break;
    }
    fields.push_back(std::move(f));
  }
  Emit(fields);
}

void RowWriter::Emit(const std::vector<Field>& values) {
  const size_t fields = std::max(values.size(), columns_.size());
  switch (format_) {
    case RowFormat::Tsv:
      for (size_t i = 0; i < fields; ++i) {
        if (i) out_ << '\t';
        if (i >= values.size()) continue;
        out_ << (values[i].null ? std::string("\\N") : TsvField(values[i].text));
      }
      out_ << '\n';
      break;
    case RowFormat::Csv:
      for (size_t i = 0; i < fields; ++i) {
        if (i) out_ << ',';
        if (i >= values.size() || values[i].null) continue;
        out_ << (values[i].emptyText ? std::string("\"\"") : CsvField(values[i].text));
      }
      out_ << "\r\n";
      break;
    case RowFormat::Json:
      out_ << (rows_ ? ",\n  {" : "\n  {");
      for (size_t i = 0; i < fields; ++i) {
        if (i) out_ << ", ";
        out_ << JsonString(ColumnName(columns_, i)) << ": ";
        if (i >= values.size() || values[i].null) {
          out_ << "null";
        } else if (values[i].number) {
          out_ << values[i].text;
        } else {
          out_ << JsonString(values[i].text);
        }
      }
      out_ << '}';
      break;
  }
  ++rows_;
}

void RowWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  if (format_ == RowFormat::Json) out_ << (rows_ ? "\n]\n" : "]\n");
  out_.flush();
}

}  // namespace korvel::cli
