#pragma once
// A small JSON reader for the fixtures' expected contents.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvel::testing {

struct JsonValue {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;  // UTF-8
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  bool IsNull() const { return type == Type::Null; }
  // Throws std::runtime_error when the member is missing.
  const JsonValue& operator[](std::string_view key) const;
  const JsonValue& operator[](size_t index) const { return items.at(index); }
  size_t size() const { return type == Type::Object ? members.size() : items.size(); }
};

// Throws std::runtime_error on malformed input.
JsonValue ParseJson(std::string_view text);
JsonValue ReadJsonFile(const std::string& path);

}  // namespace korvel::testing
