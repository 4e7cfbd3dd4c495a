#include "core/recovered_model.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(TableDescriptor, SplitsNameColumnsMarkerAndRootPage) {
  const TableDescriptorParts p = ParseTableDescriptor(u"t1 +id< P.K >~name~#2");
  EXPECT_EQ(p.tableName, u"t1 ");
  ASSERT_EQ(p.columnNames.size(), 2u);
  EXPECT_EQ(p.columnNames[0], u"id< P.K >");
  EXPECT_EQ(p.columnNames[1], u"name");
  EXPECT_EQ(p.keyColumnMarker, 10);
  EXPECT_EQ(p.rootPage, 2);
}

TEST(TableDescriptor, LastMarkedColumnWinsAndEmptyNamesStay) {
  const TableDescriptorParts p = ParseTableDescriptor(u"t+a< P.K >~~b< P.K >~#17x");
  ASSERT_EQ(p.columnNames.size(), 3u);
  EXPECT_EQ(p.columnNames[1], u"");
  EXPECT_EQ(p.keyColumnMarker, 12);
  EXPECT_EQ(p.rootPage, 17);
}

TEST(TableDescriptor, MalformedDescriptorsDoNotFault) {
  EXPECT_EQ(ParseTableDescriptor(u"nameonly").tableName, u"nameonly");
  EXPECT_EQ(ParseTableDescriptor(u"t+a~").rootPage, 0);
  EXPECT_EQ(ParseTableDescriptor(u"t+a~#").rootPage, 0);
  EXPECT_EQ(ParseTableDescriptor(u"t+a~#99999999999999999999999").rootPage > 0, true);
}

}  // namespace
}  // namespace korvel
