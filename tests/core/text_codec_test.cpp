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

// Valid UTF-8 is exactly what survives a round trip through UTF-16
// unchanged (anything invalid comes back as U+FFFD).
bool RoundTrips(const std::string& bytes) { return Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes; }

TEST(TextCodec, Utf8ValidityAgreesWithTheDecoder) {
  for (const std::string& s :
       {std::string(""), std::string("plain ascii, longer than eight bytes"),
        std::string("\xC2\x80"), std::string("\xC1\xBF"), std::string("\xE0\xA0\x80"),
        std::string("\xE0\x9F\xBF"), std::string("\xED\x9F\xBF"), std::string("\xED\xA0\x80"),
        std::string("\xF0\x90\x80\x80"), std::string("\xF0\x8F\xBF\xBF"),
        std::string("\xF4\x8F\xBF\xBF"), std::string("\xF4\x90\x80\x80"), std::string("\xF5\x80\x80\x80"),
        std::string("12345678\xE2\x82"), std::string("\x80"), std::string("a\0b", 3)}) {
    EXPECT_EQ(IsValidUtf8(s), RoundTrips(s)) << ::testing::PrintToString(s);
  }
  // Random texts over the bytes where the rules change.
  const unsigned char alphabet[] = {'a', 0,    0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                    0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  uint32_t seed = 12345;
  for (int n = 0; n < 20000; ++n) {
    std::string s;
    const int length = n % 23;
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      s.push_back(static_cast<char>(alphabet[(seed >> 16) % sizeof alphabet]));
    }
    ASSERT_EQ(IsValidUtf8(s), RoundTrips(s)) << ::testing::PrintToString(s);
  }
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

namespace korvel {
namespace {

// The conversions size their result up front: the widest expansions must
// still fit, and ASCII runs between other characters must stay in place.
TEST(TextCodec, WidestExpansionsAndMixedRunsConvertExactly) {
  const std::u16string cjk(1000, u'\u4e2d');
  EXPECT_EQ(Utf16ToUtf8(cjk).size(), 3000u);
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(cjk)), cjk);
  std::u16string pairs;
  for (int i = 0; i < 500; ++i) pairs += u"\U0001F600";
  EXPECT_EQ(Utf16ToUtf8(pairs).size(), 2000u);
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(pairs)), pairs);
  const std::u16string mixed = u"ab\u00e9cd\u4e2d\U0001F600ef\xD800gh";
  EXPECT_EQ(Utf16ToUtf8(mixed), "ab\xc3\xa9" "cd\xe4\xb8\xad\xf0\x9f\x98\x80" "ef\xef\xbf\xbdgh");
  EXPECT_EQ(Utf8ToUtf16("ab\xc3\xa9\xff" "cd\xf0\x9f\x98\x80"), u"ab\u00e9\ufffdcd\U0001F600");
  EXPECT_TRUE(HasValidMultiByteUtf8("plain then \xc3\xa9"));
  EXPECT_FALSE(HasValidMultiByteUtf8("plain then \xe9 alone"));
  EXPECT_FALSE(HasValidMultiByteUtf8("plain only"));
}

}  // namespace
}  // namespace korvel
