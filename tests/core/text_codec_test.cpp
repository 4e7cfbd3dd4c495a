#include "core/text_codec.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(TextCodec, Utf8RoundTripsEveryPlane) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, u"a\u00e9\u20ac\U0001F600z");
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(TextCodec, InvalidInputIsReplacedNotOverread) {
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");  // cut-off sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");  // over-long form
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

struct DatabaseTextCase {
  std::string bytes;
  std::u16string expected;
};

class DatabaseText : public ::testing::TestWithParam<DatabaseTextCase> {};

TEST_P(DatabaseText, ChoosesUtf8OnlyForValidMultiByteText) {
  EXPECT_EQ(DecodeDatabaseText8(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DatabaseText,
    ::testing::Values(DatabaseTextCase{"plain", u"plain"},
                      DatabaseTextCase{"caf\xC3\xA9", u"caf\u00e9"},
                      DatabaseTextCase{"caf\xE9", u"caf\u00e9"},  // lone 0xE9: ANSI
                      DatabaseTextCase{"\x80uro", u"\u20acuro"},  // ANSI 0x80 is the euro sign
                      DatabaseTextCase{"", u""}));

TEST(TextCodec, Utf16BytesInBothOrders) {
  EXPECT_EQ(Utf16LeBytesToString(std::string("a\0b\0\xAC\x20", 6)), u"ab\u20ac");
  EXPECT_EQ(Utf16BeBytesToString(std::string("\0a\0b\x20", 5)), u"ab");
}

TEST(TextCodec, BlanksAndCase) {
  EXPECT_EQ(TrimBlanks(u"\t x y \r\n"), u"x y");
  EXPECT_EQ(AsciiUpper(u"Create table é"), u"CREATE TABLE é");
  EXPECT_EQ(U16Number(-42LL), u"-42");
}

}  // namespace
}  // namespace korvel
