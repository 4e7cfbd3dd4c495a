// The main window driven through its commands, on a scripted engine.

#include <QDockWidget>
#include <QHeaderView>
#include <QProgressBar>
#include <QSettings>
#include <QTableView>
#include <QTextEdit>
#include <QToolButton>

#include <filesystem>
#include <fstream>

#include "app/about_dialog.h"
#include "app/file_view.h"
#include "app/ribbon_bar.h"
#include "app/status_bar.h"
#include "core/app_title.h"
#include "tests/app/fake_engine.h"
#include "tests/app/frame_fixture.h"

namespace korvel::testing {
namespace {

using app::CMainFrame;

class MainFrameTest : public ::testing::Test {
 protected:
  MainFrameTest()
      : script(std::make_shared<FakeEngineScript>()), f(FakeEngineFactory(script)) {
    dbPath = f.data.File("shop.db");
    MakeDatabase(dbPath, "CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT);");
  }

  void OpenDatabase() { ASSERT_TRUE(f.OpenAndWait(dbPath)); }
  TreeItem Tables() { return f.Group(kTablesGroupText); }
  TreeItem T1() { return f.Child(Tables(), u"t1 "); }
  TreeItem Endless() { return f.Child(Tables(), u"endless "); }

  // Starts the endless table's preview and waits until rows stream in.
  void StartEndlessPreview() {
    f.ClickLabel(Endless());
    ASSERT_TRUE(f.frame->Busy());
    ASSERT_TRUE(WaitFor(
        [&] { return f.frame->RecordArea()->Records().RowCount() > 100; }, 10000));
  }

  std::shared_ptr<FakeEngineScript> script;
  FrameFixture f;
  std::string dbPath;
};

TEST_F(MainFrameTest, StartsIdleWithTitleCaptionPanesAndRibbon) {
  CMainFrame& w = *f.frame;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Korvel Lumquist v22.0"));
  EXPECT_EQ(f.Caption(), QStringLiteral("Select database file to continue the recovery process."));
  EXPECT_FALSE(w.Busy());
  EXPECT_FALSE(w.StatusBarControl()->Progress()->isVisible());
  EXPECT_EQ(w.StatusBarControl()->StatusPane()->text(), QStringLiteral("Korvel Lumquist v22.0"));
  EXPECT_EQ(w.ObjectPane()->windowTitle(), QStringLiteral("SQLite Database Objects"));
  EXPECT_EQ(w.OutputPane()->windowTitle(), QStringLiteral("Output"));
  EXPECT_EQ(w.dockWidgetArea(w.ObjectPane()), Qt::LeftDockWidgetArea);
  EXPECT_EQ(w.dockWidgetArea(w.OutputPane()), Qt::BottomDockWidgetArea);
  for (QDockWidget* pane : {static_cast<QDockWidget*>(w.ObjectPane()),
                            static_cast<QDockWidget*>(w.OutputPane())}) {
    EXPECT_EQ(pane->allowedAreas(), Qt::AllDockWidgetAreas);
    EXPECT_TRUE(pane->features() & QDockWidget::DockWidgetClosable);
    EXPECT_TRUE(pane->features() & QDockWidget::DockWidgetFloatable);
    EXPECT_TRUE(pane->features() & QDockWidget::DockWidgetMovable);
  }
  struct Button {
    int id;
    const char* label;
    const char* tooltip;
  };
  const Button buttons[] = {{app::kCmdOpen, "Open", "Open database file"},
                            {app::kCmdStop, "Stop", "Stop running process"},
                            {app::kCmdMapColumn, "Map Column", "Map Column"},
                            {app::kCmdSave, "Save", "Save recovered data"},
                            {app::kCmdHelp, "Help", "Help for Korvel Lumquist"},
                            {app::kCmdAbout, "About", "About Korvel Lumquist"}};
  for (const Button& b : buttons) {
    QToolButton* button = w.Ribbon()->Button(b.id);
    ASSERT_NE(button, nullptr) << b.label;
    EXPECT_EQ(button->text(), QString::fromLatin1(b.label));
    EXPECT_EQ(button->toolTip(), QString::fromLatin1(b.tooltip));
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_EQ(button->isEnabled(), b.id != app::kCmdStop) << b.label;
  }
  EXPECT_EQ(w.ApplicationLook(), 215);
  QSettings settings(QStringLiteral("KorvelDaltropFullv22.0"), QStringLiteral("Korvel Lumquist v22.0"));
  EXPECT_EQ(settings.value(QStringLiteral("ApplicationLook")).toInt(), 215);
  EXPECT_TRUE(f.Lines().isEmpty());
}

TEST_F(MainFrameTest, OpenScansThroughTheDialogAndFillsTheTree) {
  OpenDatabase();
  EXPECT_EQ(f.platform.files.asked, 1);
  const QString path = QString::fromStdString(dbPath);
  EXPECT_EQ(f.Lines(), (QStringList{path + " File is selected for recovery....", " File is Parsing ",
                                    "fake scan line", Q(kScanCompleted)}));
  EXPECT_TRUE(f.Messages().contains(Q(kScanCompleted)));
  EXPECT_EQ(f.Caption(), path);

  ObjectTree& tree = f.Tree();
  const TreeItem root = tree.GetRootItem();
  EXPECT_EQ(Q(tree.GetItemText(root)), QString::fromStdString(dbPath));
  EXPECT_EQ(tree.GetItemData(root), kRootItemData);
  EXPECT_EQ(f.ChildTexts(root), (std::vector<std::u16string>{kTablesGroupText, kIndexesGroupText,
                                                             kViewsGroupText, kTriggersGroupText}));
  const int32_t groupData[] = {kTablesGroupData, kIndexesGroupData, kViewsGroupData,
                               kTriggersGroupData};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(tree.GetItemData(tree.Children(root)[i]), groupData[i]);
  }
  EXPECT_EQ(f.ChildTexts(Tables()), (std::vector<std::u16string>{u"t1 ", u"endless "}));
  EXPECT_EQ(tree.GetItemData(T1()), 0);
  EXPECT_EQ(tree.GetItemData(Endless()), 1);
  EXPECT_TRUE(tree.IsExpanded(root));
  EXPECT_TRUE(f.frame->TreeControl()->isExpanded(f.frame->TreeControl()->Model().IndexOf(root)));
  EXPECT_FALSE(f.frame->StatusBarControl()->Progress()->isVisible());
  EXPECT_EQ(f.frame->Settings().version, 0);
}

TEST_F(MainFrameTest, ScanThatStopsAtAnErrorSaysItEndedWithErrors) {
  script->scanEndsEarly = true;
  OpenDatabase();
  const QStringList messages = f.Messages();
  ASSERT_EQ(messages.size(), 2);
  EXPECT_EQ(messages[0], QStringLiteral("Endian descriptor is corrupted or file is corrupted"));
  EXPECT_EQ(messages[1], Q(kScanEndedWithErrors));
  EXPECT_FALSE(f.Lines().contains(Q(kScanCompleted)));
  EXPECT_EQ(f.Tree().Children(Tables()).size(), 0u);
}

TEST_F(MainFrameTest, FileWithoutPageSizeIsRefusedByTheScan) {
  const std::string junk = f.data.File("junk.bin");
  WriteBytes(junk, std::vector<uint8_t>(600, 0x41));
  ASSERT_TRUE(f.OpenAndWait(junk));
  EXPECT_EQ(f.Messages(), (QStringList{"File Format not supported, please select file again",
                                       "Version cannot be detected.Please select the version to continue",
                                       "There is an error to open Database file"}));
  EXPECT_EQ(f.platform.messages.shown.back().caption, QStringLiteral("Can't be parsed"));
  EXPECT_EQ(f.Tree().ItemCount(), 0u);
  EXPECT_FALSE(f.frame->Busy());
}

TEST_F(MainFrameTest, GroupChecksPropagateAndShowMixedState) {
  OpenDatabase();
  ObjectTree& tree = f.Tree();
  const TreeItem tables = Tables();
  EXPECT_EQ(tree.GetCheckedCount(), 0);

  f.ClickCheckBox(tables);
  EXPECT_EQ(tree.GetCheck(tables), 1);
  EXPECT_EQ(tree.GetCheck(T1()), 1);
  EXPECT_EQ(tree.GetCheck(Endless()), 1);
  EXPECT_EQ(tree.GetCheckedCount(), 3);
  EXPECT_TRUE(tree.IsMixed(tree.GetRootItem()));

  f.ClickCheckBox(T1());
  EXPECT_EQ(tree.GetCheck(T1()), 0);
  EXPECT_EQ(tree.GetCheck(tables), 0);
  EXPECT_TRUE(tree.IsMixed(tables));
  EXPECT_EQ(tree.StateImage(tables) & 3, 3);
  EXPECT_EQ(tree.GetCheckedCount(), 1);

  f.ClickCheckBox(T1());
  EXPECT_EQ(tree.GetCheck(tables), 1);
  EXPECT_EQ(tree.StateImage(tables) & 3, 2);
  EXPECT_EQ(tree.GetCheckedCount(), 3);
  // Check-box clicks never ask for a preview.
  EXPECT_FALSE(f.frame->Busy());
  EXPECT_EQ(script->lastRootPage.load(), -1);
}

TEST_F(MainFrameTest, TableLabelClickFillsGridColumnsRowsAndCaption) {
  OpenDatabase();
  ASSERT_TRUE(f.Preview(T1()));
  EXPECT_EQ(script->lastRootPage.load(), 2);
  EXPECT_EQ(script->lastColumnCount.load(), 2);
  EXPECT_EQ(script->lastKeyMarker.load(), 10);
  EXPECT_EQ(script->lastTableName, u"t1 ");

  EXPECT_EQ(f.GridColumnTitles(), (QStringList{"id< P.K >", "name", ""}));
  QTableView* list = f.frame->RecordArea()->RecordList();
  EXPECT_EQ(list->horizontalHeader()->sectionSize(0), 120);
  EXPECT_EQ(list->horizontalHeader()->sectionSize(1), 120);
  EXPECT_EQ(list->horizontalHeader()->sectionSize(2), 1500);
  auto& rows = f.frame->RecordArea()->Records();
  ASSERT_EQ(rows.RowCount(), 3u);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(rows.Cell(r, 0), QString::number(r + 1));
    EXPECT_EQ(rows.Cell(r, 1), QStringLiteral("name %1").arg(r + 1));
  }
  EXPECT_TRUE(list->isVisible());
  EXPECT_FALSE(f.frame->RecordArea()->StatementBox()->isVisible());
  EXPECT_EQ(f.Caption(), QStringLiteral("t1 [3]"));
  EXPECT_EQ(f.Lines().mid(f.Lines().size() - 2),
            (QStringList{"Please wait while t1  folder is scanning.",
                         "Scanning process completed for folder: t1 "}));

  // A second preview leaves only its own columns; the filler column stays.
  script->smallTableRows = 0;
  ASSERT_TRUE(f.Preview(T1()));
  EXPECT_EQ(f.GridColumnTitles(), (QStringList{"id< P.K >", "name", ""}));
  EXPECT_EQ(rows.RowCount(), 0u);
  EXPECT_EQ(f.Caption(), QStringLiteral("t1 "));
}

TEST_F(MainFrameTest, StatementItemsShowTheirStatementText) {
  OpenDatabase();
  struct Case {
    const char16_t* group;
    const char16_t* item;
    QString statement;
  };
  const Case cases[] = {
      {kIndexesGroupText, u" i1 ON t1", "CREATE INDEX i1 ON t1(name)"},
      {kViewsGroupText, u" v1", QString::fromUtf8("CREATE VIEW v1 AS SELECT 'caf\xC3\xA9'")},
      {kTriggersGroupText, u"g1", "CREATE TRIGGER g1 AFTER INSERT ON t1 BEGIN SELECT 1; END"},
  };
  for (const Case& c : cases) {
    const TreeItem item = f.Child(f.Group(c.group), c.item);
    ASSERT_NE(item, kNoItem);
    ASSERT_TRUE(f.Preview(item));
    EXPECT_EQ(f.frame->RecordArea()->StatementText(), c.statement);
    EXPECT_TRUE(f.frame->RecordArea()->StatementBox()->isVisible());
    EXPECT_FALSE(f.frame->RecordArea()->RecordList()->isVisible());
    EXPECT_EQ(f.Caption(), Q(c.item));
    EXPECT_EQ(f.Lines().last(), "Scanning process completed for folder: " + Q(c.item));
  }
}

TEST_F(MainFrameTest, GroupAndRootClicksAnnounceButDoNotComplete) {
  OpenDatabase();
  for (TreeItem item : {Tables(), f.Tree().GetRootItem()}) {
    const QString name = Q(f.Tree().GetItemText(item));
    ASSERT_TRUE(f.Preview(item));
    EXPECT_EQ(f.Lines().last(), "Please wait while " + name + " folder is scanning.");
    EXPECT_FALSE(f.frame->Busy());
    EXPECT_FALSE(f.frame->StatusBarControl()->Progress()->isVisible());
  }
}

TEST_F(MainFrameTest, SaveNeedsACheckAndAsksBeforeReplacing) {
  OpenDatabase();
  f.frame->OnSave();
  EXPECT_EQ(f.Messages().last(), QStringLiteral("Please select folder to save data."));

  f.ClickCheckBox(T1());
  f.frame->OnSave();
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_EQ(script->saves.load(), 1);
  const std::string repaired = f.data.File("Repaired_shop.db");
  ASSERT_TRUE(std::filesystem::exists(repaired));

  const auto question = [&] {
    return QString::fromStdString("The Database File " + repaired +
                                  " Already exist.\n Exisitng file will be Deleted. Do you want "
                                  "to Continue ?");
  };
  f.platform.messages.answers = {MessageAnswer::No};
  f.frame->OnSave();
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_EQ(f.Messages().last(), question());
  EXPECT_EQ(script->saves.load(), 1);

  f.platform.messages.answers = {MessageAnswer::Yes};
  f.frame->OnSave();
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_EQ(f.Messages().last(), question());
  EXPECT_EQ(script->saves.load(), 2);
  std::ifstream in(repaired);
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "saved 2");
  EXPECT_EQ(f.Lines().last(), QStringLiteral("Database Triggers created successfully"));
}

TEST_F(MainFrameTest, BusyWindowRefusesCommandsWithTheirMessages) {
  OpenDatabase();
  StartEndlessPreview();
  CMainFrame& w = *f.frame;
  EXPECT_TRUE(w.Ribbon()->Button(app::kCmdStop)->isEnabled());
  EXPECT_TRUE(w.StatusBarControl()->Progress()->isVisible());

  struct Refusal {
    std::function<void()> command;
    QString message;
  };
  const Refusal refusals[] = {
      {[&] { w.OnOpen(); }, "Please wait for the running process."},
      {[&] { w.OnHelp(); }, "Please stop the running process to continue the process."},
      {[&] { w.OnAbout(); }, "Please stop the running process to continue the process."},
      {[&] { w.OnMapColumn(); }, "Please wait for the running process."},
      {[&] { w.OnSave(); }, "Please select folder to save data."},
      {[&] { w.close(); }, "Please stop the running process to close the application."},
      {[&] { f.ClickLabel(T1()); }, "Please wait for the running process."},
  };
  for (const Refusal& r : refusals) {
    r.command();
    EXPECT_EQ(f.Messages().last(), r.message);
  }
  EXPECT_EQ(f.platform.modals.runs, 1);  // the first Open only
  EXPECT_TRUE(f.platform.urls.opened.empty());
  EXPECT_TRUE(f.platform.terminator.codes.empty());
  // The refused click put the selection back on the previewed item.
  EXPECT_EQ(f.Tree().GetSelectedItem(), Endless());
  EXPECT_TRUE(w.Busy());

  // Save while busy, with something checked.
  f.ClickCheckBox(T1());
  w.OnSave();
  EXPECT_EQ(f.Messages().last(), QStringLiteral("Please wait for the running process."));
  EXPECT_EQ(script->saves.load(), 0);

  f.platform.messages.answers = {MessageAnswer::No};
  w.OnStop();
  EXPECT_EQ(f.Messages().last(), QStringLiteral("Are you sure to stop the running process?"));
  EXPECT_TRUE(w.Busy());
  EXPECT_TRUE(script->endlessRunning.load());

  f.platform.messages.answers = {MessageAnswer::Yes};
  w.OnStop();
  EXPECT_FALSE(w.Busy());
  EXPECT_FALSE(w.Ribbon()->Button(app::kCmdStop)->isEnabled());
  ASSERT_TRUE(f.WaitIdle());
  const uint64_t rows = w.RecordArea()->Records().RowCount();
  EXPECT_GT(rows, 100u);
  EXPECT_EQ(f.Caption(), QStringLiteral("endless [%1]").arg(rows));
  EXPECT_EQ(f.Lines().last(), QStringLiteral("Scanning process completed for folder: endless "));
  EXPECT_FALSE(w.StopRequest().load());
  EXPECT_FALSE(w.StatusBarControl()->Progress()->isVisible());
  // Rows arrive in the order the engine produced them.
  for (uint64_t r = 0; r < rows; r += 97) {
    ASSERT_EQ(w.RecordArea()->Records().Cell(r, 0), QString::number(r));
  }
}

TEST_F(MainFrameTest, StopWhileIdleIsDisabledAndDoesNothing) {
  f.frame->OnStop();
  EXPECT_TRUE(f.Messages().isEmpty());
  EXPECT_FALSE(f.frame->StopRequest().load());
}

TEST_F(MainFrameTest, OpenAfterStopWaitsForTheStoppedWorker) {
  script->stopDelayMilliseconds = 400;
  OpenDatabase();
  StartEndlessPreview();
  f.platform.messages.answers = {MessageAnswer::Yes};
  f.frame->OnStop();
  ASSERT_FALSE(f.frame->Busy());
  ASSERT_TRUE(script->endlessRunning.load());

  f.Open(dbPath);
  // Accepted, but the engine and the tree stay until the stopped worker ended.
  EXPECT_TRUE(f.frame->Busy());
  EXPECT_TRUE(script->endlessRunning.load());
  EXPECT_NE(f.frame->Engine(), nullptr);
  EXPECT_GT(f.Tree().ItemCount(), 5u);
  EXPECT_EQ(script->scans.load(), 1);

  ASSERT_TRUE(f.WaitIdle());
  EXPECT_FALSE(script->endlessRunning.load());
  EXPECT_EQ(script->scans.load(), 2);
  EXPECT_EQ(f.frame->RecordArea()->Records().RowCount(), 0u);
  EXPECT_EQ(f.ChildTexts(Tables()), (std::vector<std::u16string>{u"t1 ", u"endless "}));
}

TEST_F(MainFrameTest, PreviewAfterStopWaitsForTheStoppedWorker) {
  script->stopDelayMilliseconds = 300;
  OpenDatabase();
  StartEndlessPreview();
  f.platform.messages.answers = {MessageAnswer::Yes};
  f.frame->OnStop();
  f.ClickLabel(T1());
  EXPECT_TRUE(f.frame->Busy());
  ASSERT_TRUE(f.WaitIdle());
  EXPECT_EQ(f.Caption(), QStringLiteral("t1 [3]"));
  EXPECT_EQ(f.frame->RecordArea()->Records().RowCount(), 3u);
}

TEST_F(MainFrameTest, CloseAsksThenShowsTheLogPathAndEndsTheProcess) {
  OpenDatabase();
  f.platform.messages.answers = {MessageAnswer::No};
  f.frame->close();
  EXPECT_EQ(f.Messages().last(), QStringLiteral("Do you want to close the application?"));
  EXPECT_EQ(f.platform.messages.shown.back().icon, MessageIcon::Question);
  EXPECT_TRUE(f.platform.terminator.codes.empty());
  EXPECT_TRUE(f.frame->isVisible());

  f.platform.messages.answers = {MessageAnswer::Yes};
  f.frame->close();
  ASSERT_TRUE(WaitFor([&] { return !f.platform.terminator.codes.empty(); }, 5000));
  EXPECT_EQ(f.platform.terminator.codes, std::vector<unsigned>{0xFFFFFFFFu});
  EXPECT_EQ(f.Messages().last(), "Log file path: " + f.frame->LogPath());
  ASSERT_EQ(f.platform.urls.opened.size(), 1u);
  EXPECT_EQ(f.platform.urls.opened[0], QUrl("https://korvel-lumquist.example/"));
  EXPECT_EQ(f.frame->Engine(), nullptr);
  EXPECT_FALSE(f.frame->OutputPane()->Log().IsOpen());
}

TEST_F(MainFrameTest, HelpOpensTheHelpPageAndAboutShowsTheProduct) {
  f.frame->OnHelp();
  ASSERT_EQ(f.platform.urls.opened.size(), 1u);
  EXPECT_EQ(f.platform.urls.opened[0], QUrl("https://korvel-lumquist.example/help"));
  QStringList shown;
  f.platform.modals.script = [&](QDialog& dialog) {
    if (dynamic_cast<app::CDravintAboutDlg*>(&dialog)) shown << dialog.windowTitle();
  };
  f.frame->OnAbout();
  EXPECT_EQ(shown, QStringList{QStringLiteral("Korvel Lumquist v22.0")});
}

TEST_F(MainFrameTest, SecondOpenPutsItsLinesAboveTheFirstRunAndTheLogKeepsTimeOrder) {
  OpenDatabase();
  const QStringList first = f.Lines();
  const std::string second = f.data.File("second.db");
  MakeDatabase(second, "CREATE TABLE x (a);");
  ASSERT_TRUE(f.OpenAndWait(second));
  const QString path = QString::fromStdString(second);
  const QStringList secondRun{path + " File is selected for recovery....", " File is Parsing ",
                              "fake scan line", Q(kScanCompleted)};
  EXPECT_EQ(f.Lines(), secondRun + first);
  EXPECT_EQ(Q(f.Tree().GetItemText(f.Tree().GetRootItem())), QString::fromStdString(second));

  f.frame->OutputPane()->Log().Close();
  const std::vector<uint8_t> bytes = ReadBytes(f.frame->LogPath().toStdString());
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
  QString expected = "\r\n" + QString(80, '*') + "\r\n";
  for (const QString& line : first + secondRun) expected += line + "\r\n";
  const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data() + 2),
                                          static_cast<qsizetype>((bytes.size() - 2) / 2));
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace korvel::testing
