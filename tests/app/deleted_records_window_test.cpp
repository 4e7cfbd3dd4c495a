// The window on the real format-3 engine and a database with deleted rows:
// the fifth group, its preview with the place each record was found as the
// first column, and its save.

#include <filesystem>

#include "app/engine_factory.h"
#include "tests/app/frame_fixture.h"

namespace korvel::testing {
namespace {

TEST(DeletedRecordsWindow, TheFifthGroupPreviewsAndSavesLikeATable) {
  FrameFixture f(&app::MakeEngine);
  if (!app::MakeEngine(2)) GTEST_SKIP() << "the format-3 engine is not part of this build";
  const std::string path = f.data.File("notes.db");
  MakeDatabase(path,
               "PRAGMA secure_delete=OFF;"
               "CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT);"
               "INSERT INTO notes VALUES (1, 'kept'), (2, 'gone'), (3, 'kept too');"
               "DELETE FROM notes WHERE id = 2;",
               1024);
  ASSERT_TRUE(f.OpenAndWait(path));
  const TreeItem group = f.Group(kDeletedGroupText);
  ASSERT_NE(group, kNoItem);
  EXPECT_EQ(f.Tree().GetItemData(group), kDeletedGroupData);
  const TreeItem item = f.Child(group, u"notes_deleted");
  ASSERT_NE(item, kNoItem);

  ASSERT_TRUE(f.Preview(item));
  // The grid keeps its empty last column, as for every table.
  EXPECT_EQ(f.GridColumnTitles(), (QStringList{"found at", "id", "body", ""}));
  auto& rows = f.frame->RecordArea()->Records();
  ASSERT_EQ(rows.RowCount(), 1u);
  EXPECT_TRUE(rows.Cell(0, 0).startsWith(QStringLiteral("page 2, offset ")));
  EXPECT_TRUE(rows.Cell(0, 0).endsWith(QStringLiteral(", freeblock")));
  EXPECT_EQ(rows.Cell(0, 2), QStringLiteral("gone"));

  f.ClickCheckBox(group);
  ASSERT_EQ(f.Tree().GetCheck(item), 1);
  f.frame->OnSave();
  ASSERT_TRUE(f.WaitIdle());
  const std::string repaired = f.data.File("Repaired_notes.db");
  ASSERT_TRUE(std::filesystem::exists(repaired));
  EXPECT_EQ(QueryRows(repaired, "SELECT body, page, source FROM notes_deleted"),
            (std::vector<std::vector<std::string>>{{"gone", "2", "freeblock"}}));
}

}  // namespace
}  // namespace korvel::testing
