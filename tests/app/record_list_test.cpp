// The record list's model: compact rows in batches, columns and the filler.

#include <gtest/gtest.h>

#include "app/record_area.h"

namespace korvel::testing {
namespace {

using app::RecordListModel;
using app::RowBatch;

TEST(RecordList, BatchesKeepRowOrderAndShortRowsReadEmpty) {
  RecordListModel model;
  model.SetColumns({"a", "b"});
  RowBatch first;
  first.Add({u"1", u"x"});
  first.Add({u"2"});  // cut short by damage
  RowBatch second;
  second.Add({u"", u"z"});
  second.Add({});
  model.Append(std::move(first));
  model.Append(std::move(second));
  ASSERT_EQ(model.RowCount(), 4u);
  EXPECT_EQ(model.rowCount(), 4);
  EXPECT_EQ(model.columnCount(), 3);
  const char* expected[4][3] = {{"1", "x", ""}, {"2", "", ""}, {"", "z", ""}, {"", "", ""}};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(model.data(model.index(r, c), Qt::DisplayRole).toString(), QString(expected[r][c]))
          << r << "," << c;
    }
  }
  EXPECT_EQ(model.Cell(9, 0), QString());
  model.Clear();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(RecordList, RemovingAddedColumnsKeepsTheFillerColumn) {
  app::CDravintStatic area;
  area.AddColumn("id< P.K >");
  area.AddColumn("name");
  EXPECT_EQ(area.Records().columnCount(), 3);
  EXPECT_EQ(area.Records().headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), QString());
  area.RemoveAddedColumns();
  EXPECT_EQ(area.Records().columnCount(), 1);
  EXPECT_EQ(area.Records().AddedColumnCount(), 0);
  area.RemoveAddedColumns();
  EXPECT_EQ(area.Records().columnCount(), 1);
}

TEST(RecordList, StartsHiddenWithTheStatementBoxShownAndReadOnly) {
  app::CDravintStatic area;
  area.show();
  EXPECT_FALSE(area.RecordList()->isVisible());
  EXPECT_TRUE(area.StatementBox()->isVisible());
  EXPECT_TRUE(area.StatementBox()->isReadOnly());
}

}  // namespace
}  // namespace korvel::testing
