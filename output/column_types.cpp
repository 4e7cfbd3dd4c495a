#include "output/column_types.h"

#include <array>
#include <string_view>

#include "core/text_codec.h"

namespace korvel {
namespace {

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::u16string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

constexpr std::array<std::u16string_view, 15> kKnownTypes = {
    u"TEXT", u"MEMO",      u"BYTE", u"INTEGER", u"LONG",      u"DOUBLE", u"CURRENCY", u"AUTONUMBER",
    u"DATE", u"OLEOBJECT", u"TIME", u"YESNO",   u"HYPERLINK", u"FLOAT",  u"BINARY"};

bool IsWhite(char16_t c) { return c == u' ' || (c >= 9 && c <= 13); }

}  // namespace

std::u16string MapType(std::u16string declaredType) {
  std::u16string text = AsciiUpper(declaredType);
  // LONGVARCHAR first would be the natural order, but NVARCHAR is replaced
  // first: "LONGVARCHAR" holds no "NVARCHAR", so the order does not matter.
  ReplaceAll(text, u"NVARCHAR", u"varchar");
  ReplaceAll(text, u"LONGVARCHAR", u"varchar");
  ReplaceAll(text, u"BLOB", u"OLE Object");
  return text;
}

bool IsKnownType(std::u16string type) {
  std::u16string squeezed;
  for (char16_t c : type) {
    if (!IsBlank(c)) squeezed.push_back(AsciiUpper(c));
  }
  for (auto known : kKnownTypes) {
    if (squeezed == known) return true;
  }
  return false;
}

std::u16string CleanName(std::u16string name) {
  ReplaceAll(name, u"< P.K >", u"");
  std::u16string kept;
  for (char16_t c : name) {
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
        c == u'_') {
      kept.push_back(c);
    }
  }
  if (!kept.empty()) return kept;
  size_t b = 0, e = name.size();
  while (b < e && IsWhite(name[b])) ++b;
  while (e > b && IsWhite(name[e - 1])) --e;
  while (b < e && name[b] == u'`') ++b;
  while (e > b && name[e - 1] == u'`') --e;
  while (b < e && name[b] == u'\'') ++b;
  while (e > b && name[e - 1] == u'\'') --e;
  return name.substr(b, e - b);
}

}  // namespace korvel
