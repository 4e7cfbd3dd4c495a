#include "core/record_value.h"

#include "core/text_codec.h"

namespace korvel {

RecordValue RecordValue::Text(std::u16string_view characters) {
  return Text(Utf16ToUtf8(characters), TextForm::Utf8);
}

std::u16string TextCharacters(const RecordValue& value) {
  switch (value.form) {
    case TextForm::Utf16le:
      return Utf16LeBytesToString(value.text);
    case TextForm::Utf16be:
      return Utf16BeBytesToString(value.text);
    case TextForm::Utf8:
      break;
  }
  return DecodeDatabaseText8(value.text);
}

std::string_view TextAsUtf8(const RecordValue& value, std::string& scratch) {
  if (value.form == TextForm::Utf8 && IsValidUtf8(value.text)) return value.text;
  scratch = Utf16ToUtf8(TextCharacters(value));
  return scratch;
}

}  // namespace korvel
