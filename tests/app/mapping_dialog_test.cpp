// The Column Mapping dialog on its own over a small object tree, and through
// the main window's Map Column command on the real format-3 engine.

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "app/engine_factory.h"
#include "core/object_tree.h"
#include "output/column_types.h"
#include "output/mapping_dialog/mapping_dlg.h"
#include "tests/app/frame_fixture.h"

namespace korvel::testing {
namespace {

class NamingEngine : public sqlite_base {
 public:
  std::u16string CleanName(std::u16string name) override {
    return korvel::CleanName(std::move(name));
  }
};

// Tables t (a TEXT, b INTEGER) and u (id INTEGER PRIMARY KEY, c VARCHAR(20),
// d integer), table "gone" whose entry is missing from the lists, one index,
// one view.
struct DialogFixture {
  ObjectTree tree;
  NamingEngine engine;
  ScanSettings settings;
  MappingState state;
  QStringList messages;
  TreeItem root, tables, indexes, views, t, u, gone, idx, view;
  std::unique_ptr<MappingDlg> dialog;

  DialogFixture() {
    auto& m = engine.model;
    m.tableDescriptors = {u"t +a~b~#2", u"u +id< P.K >~c~d~#3"};
    m.columnTypes = {{u"TEXT", u"INTEGER"}, {u"INTEGER", u"VARCHAR(20)", u"integer"}};
    m.createStatements = {u"create Table [t] ( [a] TEXT, [b] INTEGER )",
                          u"create Table [u] ( [id] INTEGER, [c] VARCHAR(20), [d] integer )"};
    root = tree.InsertItem(u"/x.db", kNoItem, InsertPosition::Last);
    tree.SetItemData(root, kRootItemData);
    tables = tree.InsertItem(kTablesGroupText, root, InsertPosition::Last);
    tree.SetItemData(tables, kTablesGroupData);
    indexes = tree.InsertItem(kIndexesGroupText, root, InsertPosition::Last);
    tree.SetItemData(indexes, kIndexesGroupData);
    views = tree.InsertItem(kViewsGroupText, root, InsertPosition::Last);
    tree.SetItemData(views, kViewsGroupData);
    t = tree.InsertItem(u" t ", tables, InsertPosition::Last);
    tree.SetItemData(t, 0);
    u = tree.InsertItem(u" u ", tables, InsertPosition::Last);
    tree.SetItemData(u, 1);
    gone = tree.InsertItem(u" gone ", tables, InsertPosition::Last);
    tree.SetItemData(gone, 2);
    idx = tree.InsertItem(u" i ON t", indexes, InsertPosition::Last);
    tree.SetItemData(idx, 0);
    view = tree.InsertItem(u" v", views, InsertPosition::Last);
    tree.SetItemData(view, 0);
  }

  MappingDlg& Open(TreeItem selected, bool withEngine = true) {
    tree.SelectItem(selected);
    dialog = std::make_unique<MappingDlg>(
        tree, withEngine ? &engine : nullptr, settings, state,
        [this](QWidget*, const QString& text) { messages << text; });
    dialog->show();
    return *dialog;
  }

  // A real click on a list row (-1: below the last row).
  void ClickRow(int row) {
    QTableWidget* list = dialog->ColumnList();
    QPoint at;
    if (row >= 0) {
      at = list->visualRect(list->model()->index(row, 0)).center();
    } else {
      at = QPoint(5, list->viewport()->height() - 3);
    }
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  }
  void ChooseType(const QString& type) {
    dialog->TypeCombo()->setCurrentIndex(dialog->TypeCombo()->findText(type));
  }
  QString Cell(int row, int column) { return dialog->ColumnList()->item(row, column)->text(); }
};

TEST(MappingDialog, ShowsItsControlsAndTheTwelveTypes) {
  DialogFixture f;
  MappingDlg& d = f.Open(f.t);
  EXPECT_EQ(d.windowTitle(), QStringLiteral("Column Mapping"));
  auto* group = d.findChild<QGroupBox*>();
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), QStringLiteral("Select column name  to change its mapping:"));
  EXPECT_EQ(d.ChangeButton()->text(), QStringLiteral("Change Column type"));
  EXPECT_EQ(d.SaveButton()->text(), QStringLiteral("Save Changes"));
  EXPECT_EQ(d.OkButton()->text(), QStringLiteral("OK"));
  EXPECT_EQ(d.CancelButton()->text(), QStringLiteral("Cancel"));
  EXPECT_TRUE(d.OkButton()->isDefault());
  EXPECT_FALSE(d.ChangeButton()->isEnabled());
  EXPECT_TRUE(d.TableEdit()->isReadOnly());
  EXPECT_EQ(d.ColumnNameLabel()->text(), QStringLiteral("Column Name:"));

  QStringList headers;
  for (int c = 0; c < d.ColumnList()->columnCount(); ++c) {
    headers << d.ColumnList()->horizontalHeaderItem(c)->text();
  }
  EXPECT_EQ(headers, (QStringList{"Column Name", "Column DataType", "Column Mapping"}));
  QStringList types;
  for (int i = 0; i < d.TypeCombo()->count(); ++i) types << d.TypeCombo()->itemText(i);
  EXPECT_EQ(types, (QStringList{"TEXT", "Memo", "Number", "INTEGER", "double", "CURRENCY",
                                "AUTONUMBER", "date", "OLEOBJECT", "time", "YesNO", "BINARY"}));
}

TEST(MappingDialog, ListsTheSelectedTablesColumnsWithTheirTypes) {
  DialogFixture f;
  MappingDlg& d = f.Open(f.u);
  EXPECT_EQ(d.TableEdit()->text(), QStringLiteral(" u "));
  ASSERT_EQ(d.ColumnList()->rowCount(), 3);
  const QString expected[3][3] = {{"id< P.K >", "INTEGER", "INTEGER"},
                                  {"c", "VARCHAR(20)", "VARCHAR(20)"},
                                  {"d", "integer", "integer"}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(f.Cell(r, c), expected[r][c]) << r << "," << c;
  }
  // The mark stays in the list, the mapping name is the clean one.
  f.ClickRow(0);
  EXPECT_EQ(d.ColumnNameLabel()->text(), QStringLiteral("[id]"));
  EXPECT_EQ(d.TypeCombo()->currentText(), QStringLiteral("INTEGER"));
  EXPECT_TRUE(d.ChangeButton()->isEnabled());
}

TEST(MappingDialog, TheComboShowsTypesThatAreNoEntryWithoutChoosingOne) {
  DialogFixture f;
  MappingDlg& d = f.Open(f.u);
  f.ClickRow(1);  // VARCHAR(20): no entry
  EXPECT_EQ(d.TypeCombo()->currentIndex(), -1);
  EXPECT_EQ(d.TypeCombo()->placeholderText(), QStringLiteral("VARCHAR(20)"));
  f.ClickRow(2);  // integer: the entry INTEGER
  EXPECT_EQ(d.TypeCombo()->currentText(), QStringLiteral("INTEGER"));
  EXPECT_TRUE(d.TypeCombo()->placeholderText().isEmpty());
}

TEST(MappingDialog, NoTableSelectedShowsAnEmptyDialogThatChangesNothing) {
  struct Case {
    const char* what;
    TreeItem DialogFixture::*item;
    bool withEngine;
  };
  const Case cases[] = {{"index", &DialogFixture::idx, true},
                        {"view", &DialogFixture::view, true},
                        {"root", &DialogFixture::root, true},
                        {"group", &DialogFixture::tables, true},
                        {"table missing from the lists", &DialogFixture::gone, true},
                        {"no database open", &DialogFixture::t, false}};
  for (const Case& c : cases) {
    DialogFixture f;
    f.state.columnNames = {u"[old]"};
    f.state.columnTypes = {u"TEXT"};
    const auto before = f.engine.model.createStatements;
    MappingDlg& d = f.Open(f.*c.item, c.withEngine);
    EXPECT_EQ(d.ColumnList()->rowCount(), 0) << c.what;
    EXPECT_TRUE(d.TableEdit()->text().isEmpty() || c.item == &DialogFixture::gone) << c.what;
    EXPECT_TRUE(f.state.columnNames.empty()) << c.what;
    EXPECT_TRUE(f.state.columnTypes.empty()) << c.what;
    d.OnListClick(0);
    EXPECT_FALSE(d.ChangeButton()->isEnabled()) << c.what;
    d.OnChangeColumnType();
    QTest::mouseClick(d.SaveButton(), Qt::LeftButton);
    EXPECT_TRUE(f.messages.isEmpty()) << c.what;
    EXPECT_EQ(f.engine.model.createStatements, before) << c.what;
  }
}

TEST(MappingDialog, MemoOnTheSecondColumnRebuildsTheCreateStatement) {
  DialogFixture f;
  MappingDlg& d = f.Open(f.t);
  f.ClickRow(1);
  EXPECT_EQ(d.ColumnNameLabel()->text(), QStringLiteral("[b]"));
  EXPECT_EQ(d.TypeCombo()->currentText(), QStringLiteral("INTEGER"));
  f.ChooseType(QStringLiteral("Memo"));
  QTest::mouseClick(d.ChangeButton(), Qt::LeftButton);
  EXPECT_TRUE(f.messages.isEmpty());
  EXPECT_EQ(f.Cell(1, 1), QStringLiteral("INTEGER"));
  EXPECT_EQ(f.Cell(1, 2), QStringLiteral("Memo"));
  EXPECT_EQ(f.Cell(0, 2), QStringLiteral("TEXT"));
  EXPECT_EQ(f.engine.model.createStatements[0], u"create Table [t] ( [a] TEXT, [b] INTEGER )");

  QTest::mouseClick(d.SaveButton(), Qt::LeftButton);
  EXPECT_EQ(f.messages, QStringList{"Changes Done"});
  EXPECT_EQ(f.engine.model.createStatements[0], u"Create Table [t] ([a] TEXT , [b] Memo )");
  EXPECT_EQ(f.engine.model.createStatements[1],
            u"create Table [u] ( [id] INTEGER, [c] VARCHAR(20), [d] integer )");
}

TEST(MappingDialog, AnEmptyComboAsksForATypeAndKeepsTheListCell) {
  DialogFixture f;
  MappingDlg& d = f.Open(f.t);
  f.ClickRow(0);
  d.TypeCombo()->setCurrentIndex(-1);
  QTest::mouseClick(d.ChangeButton(), Qt::LeftButton);
  EXPECT_EQ(f.messages, QStringList{"please select column type from combo box"});
  EXPECT_EQ(f.Cell(0, 2), QStringLiteral("TEXT"));
  EXPECT_TRUE(f.state.columnTypes[0].empty());
}

TEST(MappingDialog, AClickBesideTheRowsDisablesChangeColumnType) {
  DialogFixture f;
  MappingDlg& d = f.Open(f.t);
  f.ClickRow(1);
  ASSERT_TRUE(d.ChangeButton()->isEnabled());
  f.ClickRow(-1);
  EXPECT_FALSE(d.ChangeButton()->isEnabled());
  EXPECT_EQ(f.state.selectedRow, -1);
  // The label keeps the last clicked column.
  EXPECT_EQ(d.ColumnNameLabel()->text(), QStringLiteral("[b]"));
}

TEST(MappingDialog, OkAndCancelCloseTheDialog) {
  for (bool ok : {true, false}) {
    DialogFixture f;
    MappingDlg& d = f.Open(f.t);
    QTest::mouseClick(ok ? d.OkButton() : d.CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), ok ? QDialog::Accepted : QDialog::Rejected);
  }
}

// Map Column in the main window on a database scanned by the real engine.
TEST(MappingDialog, MapColumnRebuildsTheScannedTablesDefinition) {
  if (!app::MakeEngine(2)) GTEST_SKIP() << "the format-3 engine is not part of this build";
  FrameFixture f(&app::MakeEngine);
  const std::string path = f.data.File("typed.db");
  MakeDatabase(path, "CREATE TABLE t (a TEXT, b INTEGER); INSERT INTO t VALUES ('x', 7);");
  ASSERT_TRUE(f.OpenAndWait(path));
  const TreeItem t = f.Child(f.Group(kTablesGroupText), u" t ");
  ASSERT_NE(t, kNoItem);
  ASSERT_TRUE(f.Preview(t));

  int runs = 0;
  f.platform.modals.script = [&](QDialog& dialog) {
    auto* d = dynamic_cast<MappingDlg*>(&dialog);
    ASSERT_NE(d, nullptr);
    ++runs;
    ASSERT_EQ(d->ColumnList()->rowCount(), 2);
    d->OnListClick(1);
    d->TypeCombo()->setCurrentIndex(d->TypeCombo()->findText(QStringLiteral("Memo")));
    d->OnChangeColumnType();
    d->OnSaveChanges();
    d->accept();
  };
  f.frame->OnMapColumn();
  ASSERT_EQ(runs, 1);
  ASSERT_FALSE(f.platform.messages.shown.empty());
  EXPECT_EQ(f.platform.messages.shown.back().text, QStringLiteral("Changes Done"));
  EXPECT_EQ(f.platform.messages.shown.back().caption, QStringLiteral("Korvel Lumquist v22.0"));
  EXPECT_EQ(Q(f.frame->mapping.tableName), QStringLiteral("t"));
  EXPECT_EQ(f.frame->Settings().scanFlag, false);

  // The table's rebuilt definition carries the new type.
  auto* engine = f.frame->Engine();
  ASSERT_NE(engine, nullptr);
  const int32_t entry = f.Tree().GetItemData(t);
  ASSERT_GE(entry, 0);
  ASSERT_LT(static_cast<size_t>(entry), engine->model.createStatements.size());
  EXPECT_EQ(engine->model.createStatements[static_cast<size_t>(entry)],
            u"Create Table [t] ([a] TEXT , [b] Memo )");
}

TEST(MappingDialog, MapColumnWithNoDatabaseShowsAnEmptyDialog) {
  FrameFixture f(&app::MakeEngine);
  int rows = -1;
  f.platform.modals.script = [&](QDialog& dialog) {
    if (auto* d = dynamic_cast<MappingDlg*>(&dialog)) rows = d->ColumnList()->rowCount();
  };
  f.frame->OnMapColumn();
  EXPECT_EQ(rows, 0);
  EXPECT_TRUE(f.Messages().isEmpty());
}

}  // namespace
}  // namespace korvel::testing
