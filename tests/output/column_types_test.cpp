#include "output/column_types.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

struct MapCase {
  std::u16string declared, mapped;
};

class MapTypeCase : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapTypeCase, Maps) { EXPECT_EQ(MapType(GetParam().declared), GetParam().mapped); }

INSTANTIATE_TEST_SUITE_P(Table, MapTypeCase,
                         ::testing::Values(MapCase{u"nvarchar(30)", u"varchar(30)"},
                                           MapCase{u"longvarchar", u"varchar"},
                                           MapCase{u"blob", u"OLE Object"},
                                           MapCase{u"integer", u"INTEGER"},
                                           MapCase{u"varchar(20)", u"VARCHAR(20)"},
                                           MapCase{u" text ", u" TEXT "}));

TEST(IsKnownType, AcceptsTheFifteenNamesOnly) {
  for (auto t : {u"TEXT", u" text ", u"OLE Object", u"Date", u"yes no", u"binary", u"hyperlink"}) {
    EXPECT_TRUE(IsKnownType(t)) << std::string(t, t + 3);
  }
  for (auto t : {u"varchar(30)", u"VARCHAR", u"REAL", u"NUMERIC", u"INT", u"NVARCHAR", u"varchar",
                 u""}) {
    EXPECT_FALSE(IsKnownType(t));
  }
}

TEST(CleanName, KeepsIdentifierCharacters) {
  EXPECT_EQ(CleanName(u"id < P.K >"), u"id");
  EXPECT_EQ(CleanName(u"first name"), u"firstname");
  EXPECT_EQ(CleanName(u"[order-no]"), u"orderno");
  EXPECT_EQ(CleanName(u"`name`"), u"name");
  EXPECT_EQ(CleanName(u""), u"");
  EXPECT_EQ(CleanName(u"\u0438\u043c\u044f "), u"\u0438\u043c\u044f");
  EXPECT_EQ(CleanName(u" `'\u0438'` "), u"\u0438");
}

}  // namespace
}  // namespace korvel
