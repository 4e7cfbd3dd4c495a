#pragma once
// Text conversions between the encodings a database file may use and the
// UTF-16 strings of the user interface. None of them fails: invalid input is
// replaced, never read past its end.

#include <cstdint>
#include <string>
#include <string_view>

namespace korvel {

// UTF-8 bytes to UTF-16. Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view bytes);

// UTF-16 to UTF-8. Lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// The Windows ANSI code page (Windows-1252) to UTF-16; every byte maps to a
// character.
std::u16string AnsiToUtf16(std::string_view bytes);

// True when the bytes are valid UTF-8 and hold at least one multi-byte
// sequence.
bool HasValidMultiByteUtf8(std::string_view bytes);

// True when the bytes are valid UTF-8 (plain ASCII included).
bool IsValidUtf8(std::string_view bytes);

// A text value of a UTF-8 database: decoded as UTF-8 when it holds a valid
// multi-byte sequence, otherwise taken through the ANSI code page (so plain
// ASCII and stray single bytes such as a lone 0xE9 both read sensibly).
std::u16string DecodeDatabaseText8(std::string_view bytes);

// UTF-16 code units stored little-endian (or big-endian) in bytes; an odd
// trailing byte is dropped.
std::u16string Utf16LeBytesToString(std::string_view bytes);
std::u16string Utf16BeBytesToString(std::string_view bytes);

// ASCII-only helpers used by the parsers.
char16_t AsciiUpper(char16_t c);
std::u16string AsciiUpper(std::u16string_view text);
std::u16string ToU16(std::string_view ascii);  // widens each byte
std::u16string U16Number(long long value);      // "%lld"
std::u16string U16Number(unsigned long long value);
bool IsBlank(char16_t c);
// The record list shows a text value with every single quote doubled, as it
// stands inside the record's statement.
std::u16string DoubleSingleQuotes(std::u16string_view text);  // space or a code from 8 to 13
std::u16string TrimBlanks(std::u16string_view text);

}  // namespace korvel
