#include "cli/console_host.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/recover_command.h"

namespace korvel::cli {
namespace {

struct Console {
  std::ostringstream err;
  std::istringstream in;
  std::atomic<bool> stop{false};
  ConsoleHost host;
  explicit Console(ConsoleSettings settings, const std::string& input = "")
      : in(input), host(err, in, settings, &stop) {}
};

TEST(ConsoleHost, OutputLinesAndMessagesGoToStandardErrorAsWritten) {
  Console c({});
  c.host.WriteOutputLine(u"Creating Database");
  c.host.ShowMessage(u"File is corrupted", u"File_Corrupted", MessageButtons::Ok, MessageIcon::None);
  c.host.ShowMessage(u"Scanning done \u00e9", u"Korvel Lumquist v22.0", MessageButtons::Ok,
                     MessageIcon::Information);
  EXPECT_EQ(c.err.str(),
            "Creating Database\n"
            "File_Corrupted: File is corrupted\n"
            "Korvel Lumquist v22.0: Scanning done \xc3\xa9\n");
}

TEST(ConsoleHost, QuietKeepsOnlyErrorLinesWarningsAndQuestions) {
  Console c({.quiet = true, .progressBar = true});
  c.host.WriteOutputLine(u"Table t contain 3 rows");
  c.host.WriteOutputLine(u"Error: no such table: main.t");
  c.host.SetProgressRange(10);
  c.host.SetProgressPos(5);
  c.host.ShowMessage(u"Scanning done", u"cap", MessageButtons::Ok, MessageIcon::Information);
  c.host.ShowMessage(u"File is corrupted", u"cap", MessageButtons::Ok, MessageIcon::None);
  c.host.ShowMessage(u"Replace?", u"cap", MessageButtons::YesNo, MessageIcon::Information);
  EXPECT_EQ(c.err.str(),
            "Error: no such table: main.t\ncap: File is corrupted\n"
            "cap: Replace? [y/N] n (standard input is not a terminal; --yes answers Yes)\n");
}

TEST(ConsoleHost, QuestionsAreAnsweredByYesTheTerminalOrNo) {
  struct Case {
    ConsoleSettings settings;
    std::string typed;
    MessageAnswer answer;
    std::string shown;
  } cases[] = {
      {{.assumeYes = true}, "", MessageAnswer::Yes, "cap: Replace? [y/N] y (--yes)\n"},
      {{}, "y\n", MessageAnswer::No,
       "cap: Replace? [y/N] n (standard input is not a terminal; --yes answers Yes)\n"},
      {{.askOnTerminal = true}, "y\n", MessageAnswer::Yes, "cap: Replace? [y/N] "},
      {{.askOnTerminal = true}, " YES \n", MessageAnswer::Yes, "cap: Replace? [y/N] "},
      {{.askOnTerminal = true}, "\n", MessageAnswer::No, "cap: Replace? [y/N] "},
      {{.askOnTerminal = true}, "nope\n", MessageAnswer::No, "cap: Replace? [y/N] "},
      {{.askOnTerminal = true}, "", MessageAnswer::No, "cap: Replace? [y/N] \n"},
  };
  for (const auto& k : cases) {
    Console c(k.settings, k.typed);
    EXPECT_EQ(c.host.ShowMessage(u"Replace?", u"cap", MessageButtons::YesNo, MessageIcon::Question),
              k.answer)
        << k.typed;
    EXPECT_EQ(c.err.str(), k.shown) << k.typed;
  }
}

TEST(ConsoleHost, TheProgressBarIsDrawnOnATerminalAndClearedBeforeALine) {
  Console c({.progressBar = true});
  c.host.SetProgressRange(200);
  c.host.SetProgressPos(50);
  EXPECT_EQ(c.err.str(), "\r[#######.......................] 25% 50/200");
  c.host.WriteOutputLine(u"line");
  EXPECT_EQ(c.err.str(), "\r[#######.......................] 25% 50/200\r\033[Kline\n");

  Console plain({});
  plain.host.SetProgressRange(200);
  plain.host.SetProgressPos(50);
  EXPECT_EQ(plain.err.str(), "");
}

TEST(ConsoleHost, ThrottlesTheBarForOneCallPerRecord) {
  Console c({.progressBar = true});
  c.host.SetProgressRange(1000000);
  for (uint64_t i = 1; i <= 1000000; ++i) c.host.SetProgressPos(i);
  // One bar per 256 calls at most, and fewer still within 100 ms.
  const std::string text = c.err.str();
  EXPECT_LE(std::count(text.begin(), text.end(), '\r'), 1000000 / 256 + 1);
  EXPECT_GE(std::count(text.begin(), text.end(), '\r'), 1);
}

TEST(ConsoleHost, RowsStreamToTheSinkAndTheStopRequestIsRead) {
  Console c({});
  std::ostringstream out;
  RowWriter writer(out, RowFormat::Tsv, {"a", "b"});
  c.host.AddRecordRow({u"1", u"x"});  // no sink: counted only
  c.host.SetRowSink(&writer);
  c.host.AddRecordRow({u"2", u"\u00e9"});
  c.host.SetRowSink(nullptr);
  EXPECT_EQ(out.str(), "a\tb\n2\t\xc3\xa9\n");
  EXPECT_EQ(c.host.RecordRowCount(), 2u);
  c.host.ClearRecordRows();
  EXPECT_EQ(c.host.RecordRowCount(), 0u);

  EXPECT_FALSE(c.host.StopRequested());
  c.stop = true;
  EXPECT_TRUE(c.host.StopRequested());
}

TEST(ListObjects, OneLinePerObjectInTreeOrderWithTrimmedNames) {
  ObjectTree tree;
  ScanSettings s;
  const TreeItem root = tree.InsertItem(u"/x.db", kNoItem, InsertPosition::Last);
  s.tablesGroup = tree.InsertItem(u"TABLES  ", root, InsertPosition::Last);
  s.indexesGroup = tree.InsertItem(u"INDEXES  ", root, InsertPosition::Last);
  s.viewsGroup = tree.InsertItem(u"VIEWS  ", root, InsertPosition::Last);
  s.triggersGroup = tree.InsertItem(u"TRIGGERS  ", root, InsertPosition::Last);
  tree.InsertItem(u" t2 ", s.tablesGroup, InsertPosition::First);
  tree.InsertItem(u" t1 ", s.tablesGroup, InsertPosition::First);
  tree.InsertItem(u" i1 ON t1", s.indexesGroup, InsertPosition::Last);
  tree.InsertItem(u" v", s.viewsGroup, InsertPosition::Last);
  tree.InsertItem(u"g1", s.triggersGroup, InsertPosition::Last);
  EXPECT_EQ(ListObjects(tree, s),
            (std::vector<std::string>{"table\tt1", "table\tt2", "index\ti1 ON t1", "view\tv",
                                      "trigger\tg1"}));
}

}  // namespace
}  // namespace korvel::cli
