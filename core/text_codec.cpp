#include "core/text_codec.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace korvel {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Windows-1252 for the bytes 0x80 to 0x9F; the rest equals Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at bytes[i]; returns its length (0 when invalid)
// and the code point.
size_t DecodeOne(std::string_view bytes, size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(bytes[i]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t len;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > bytes.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(bytes[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view bytes) {
  // Never more code units than bytes: a 4-byte sequence gives 2 units, every
  // other sequence or invalid byte 1. Runs of ASCII are copied directly.
  std::u16string out(bytes.size(), u'\0');
  char16_t* p = out.data();
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    if (b[i] < 0x80) {
      *p++ = b[i++];
      continue;
    }
    char32_t cp;
    const size_t len = DecodeOne(bytes, i, cp);
    if (len == 0) {
      *p++ = kReplacement;
      ++i;
    } else if (cp < 0x10000) {
      *p++ = static_cast<char16_t>(cp);
      i += len;
    } else {
      cp -= 0x10000;
      *p++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *p++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      i += len;
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  // At most 3 bytes per code unit (a surrogate pair, 2 units, gives 4).
  std::string out(text.size() * 3, '\0');
  char* p = out.data();
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = text[i];
    if (cp < 0x80) {
      *p++ = static_cast<char>(cp);
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x800) {
      *p++ = static_cast<char>(0xC0 | (cp >> 6));
      *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *p++ = static_cast<char>(0xE0 | (cp >> 12));
      *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *p++ = static_cast<char>(0xF0 | (cp >> 18));
      *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
  return out;
}

std::u16string AnsiToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x80 && b < 0xA0) {
      out.push_back(kCp1252High[b - 0x80]);
    } else {
      out.push_back(b);
    }
  }
  return out;
}

bool HasValidMultiByteUtf8(std::string_view bytes) {
  bool multi = false;
  size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    char32_t cp;
    const size_t len = DecodeOne(bytes, i, cp);
    if (len == 0) return false;
    if (len > 1) multi = true;
    i += len;
  }
  return multi;
}

bool IsValidUtf8(std::string_view bytes) {
  // The same rules as DecodeOne (no overlong forms, no surrogates, nothing
  // above U+10FFFF), in one pass; plain ASCII is passed over eight bytes at
  // a time.
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* const end = p + bytes.size();
  while (p < end) {
    if (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if ((word & 0x8080808080808080ull) == 0) {
        p += 8;
        continue;
      }
    }
    const unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    if (c < 0xC2) return false;
    const std::ptrdiff_t left = end - p;
    if (c < 0xE0) {
      if (left < 2 || (p[1] & 0xC0) != 0x80) return false;
      p += 2;
    } else if (c < 0xF0) {
      if (left < 3 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80) return false;
      if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0)) return false;
      p += 3;
    } else if (c < 0xF5) {
      if (left < 4 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80) {
        return false;
      }
      if ((c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] >= 0x90)) return false;
      p += 4;
    } else {
      return false;
    }
  }
  return true;
}

std::u16string DecodeDatabaseText8(std::string_view bytes) {
  return HasValidMultiByteUtf8(bytes) ? Utf8ToUtf16(bytes) : AnsiToUtf16(bytes);
}

std::u16string Utf16LeBytesToString(std::string_view bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::u16string Utf16BeBytesToString(std::string_view bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>((static_cast<unsigned char>(bytes[2 * i]) << 8) |
                                   static_cast<unsigned char>(bytes[2 * i + 1]));
  }
  return out;
}

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? c - 32 : c; }

std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = AsciiUpper(c);
  return out;
}

std::u16string ToU16(std::string_view ascii) {
  std::u16string out;
  out.reserve(ascii.size());
  for (char c : ascii) out.push_back(static_cast<unsigned char>(c));
  return out;
}

std::u16string U16Number(long long value) { return ToU16(std::to_string(value)); }
std::u16string U16Number(unsigned long long value) { return ToU16(std::to_string(value)); }

std::u16string DoubleSingleQuotes(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    out.push_back(c);
    if (c == u'\'') out.push_back(u'\'');
  }
  return out;
}

bool IsBlank(char16_t c) { return c == u' ' || (c >= 8 && c <= 13); }

std::u16string TrimBlanks(std::u16string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return std::u16string(text.substr(b, e - b));
}

}  // namespace korvel
