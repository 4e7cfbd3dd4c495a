#include "tests/format2/json_reader.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace korvel::testing {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonValue Document() {
    JsonValue value = Value();
    Space();
    if (pos_ != text_.size()) Fail("trailing characters");
    return value;
  }

 private:
  [[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string("JSON: ") + what + " at " + std::to_string(pos_));
  }
  void Space() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }
  char Peek() {
    Space();
    if (pos_ >= text_.size()) Fail("unexpected end");
    return text_[pos_];
  }
  void Expect(char c) {
    if (Peek() != c) Fail("unexpected character");
    ++pos_;
  }
  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }
  static void PutUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  unsigned long Hex4() {
    if (pos_ + 4 > text_.size()) Fail("short escape");
    const unsigned long v = std::stoul(std::string(text_.substr(pos_, 4)), nullptr, 16);
    pos_ += 4;
    return v;
  }
  std::string String() {
    Expect('"');
    std::string out;
    while (true) {
      if (pos_ >= text_.size()) Fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (pos_ >= text_.size()) Fail("unterminated escape");
      const char e = text_[pos_++];
      switch (e) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          unsigned long cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && Literal("\\u")) {
            const unsigned long low = Hex4();
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          PutUtf8(out, cp);
          break;
        }
        default: Fail("bad escape");
      }
    }
  }
  JsonValue Value() {
    JsonValue v;
    const char c = Peek();
    if (c == '{') {
      v.type = JsonValue::Type::Object;
      ++pos_;
      if (Peek() == '}') {
        ++pos_;
        return v;
      }
      while (true) {
        std::string key = String();
        Expect(':');
        v.members.emplace_back(std::move(key), Value());
        if (Peek() == ',') {
          ++pos_;
          continue;
        }
        Expect('}');
        return v;
      }
    }
    if (c == '[') {
      v.type = JsonValue::Type::Array;
      ++pos_;
      if (Peek() == ']') {
        ++pos_;
        return v;
      }
      while (true) {
        v.items.push_back(Value());
        if (Peek() == ',') {
          ++pos_;
          continue;
        }
        Expect(']');
        return v;
      }
    }
    if (c == '"') {
      v.type = JsonValue::Type::String;
      v.text = String();
      return v;
    }
    if (Literal("null")) return v;
    if (Literal("true") || Literal("false")) {
      v.type = JsonValue::Type::Bool;
      v.boolean = text_[pos_ - 1] == 'e' && text_[pos_ - 2] == 'u';
      return v;
    }
    const size_t start = pos_;
    while (pos_ < text_.size() && std::string_view("+-0123456789.eE").find(text_[pos_]) !=
                                      std::string_view::npos) {
      ++pos_;
    }
    if (start == pos_) Fail("unexpected character");
    v.type = JsonValue::Type::Number;
    v.number = std::stod(std::string(text_.substr(start, pos_ - start)));
    return v;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](std::string_view key) const {
  for (const auto& [name, value] : members) {
    if (name == key) return value;
  }
  throw std::runtime_error("JSON: no member " + std::string(key));
}

JsonValue ParseJson(std::string_view text) { return Parser(text).Document(); }

JsonValue ReadJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return ParseJson(buffer.str());
}

}  // namespace korvel::testing
