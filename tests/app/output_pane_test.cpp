// The output pane and its UTF-16 log file.

#include <QDateTime>
#include <QDir>

#include <gtest/gtest.h>

#include <filesystem>

#include "app/output_wnd.h"
#include "tests/support/test_database.h"

namespace korvel::testing {
namespace {

using app::COutputWnd;
using app::OutputLog;

std::vector<uint8_t> Utf16Le(const QString& text) {
  std::vector<uint8_t> out;
  for (QChar c : text) {
    out.push_back(static_cast<uint8_t>(c.unicode() & 0xFF));
    out.push_back(static_cast<uint8_t>(c.unicode() >> 8));
  }
  return out;
}

QString Separator() { return "\r\n" + QString(80, '*') + "\r\n"; }

const QDateTime kStamp(QDate(2025, 1, 1), QTime(0, 0, 5));

TEST(OutputLog, FileNameCarriesTheStartTimeWithoutLeadingZeros) {
  struct Case {
    QDateTime time;
    const char* name;
  };
  const Case cases[] = {
      {kStamp, "KorvelSQLite_log_1-1-2025-0-0-5.txt"},
      {QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58)), "KorvelSQLite_log_31-12-2026-23-59-58.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(OutputLog::FileNameFor(c.time), QString(c.name));
}

TEST(OutputLog, NewFileHasByteOrderMarkSeparatorAndUtf16Lines) {
  TempDir dir;
  COutputWnd pane;
  ASSERT_TRUE(pane.Log().Open(QString::fromStdString(dir.path().string()), kStamp));
  EXPECT_EQ(pane.Log().Path(), QDir(QString::fromStdString(dir.path().string()))
                                   .filePath("KorvelSQLite_log_1-1-2025-0-0-5.txt"));
  pane.WriteOutputLine(QStringLiteral("first"));
  pane.WriteOutputLine(QString());
  pane.WriteOutputLine(QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC"));
  pane.Log().Close();

  std::vector<uint8_t> expected{0xFF, 0xFE};
  for (const QString& part : {Separator(), QString("first\r\n"), QString("\r\n"),
                              QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC\r\n")}) {
    const auto bytes = Utf16Le(part);
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(ReadBytes(pane.Log().Path().toStdString()), expected);
  // The empty line is an empty item of the pane.
  EXPECT_EQ(pane.Lines(), (QStringList{"first", "", QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC")}));
}

TEST(OutputLog, SecondStartInTheSameSecondExtendsTheFile) {
  TempDir dir;
  const QString folder = QString::fromStdString(dir.path().string());
  {
    OutputLog log;
    ASSERT_TRUE(log.Open(folder, kStamp));
    log.WriteLine("run one");
  }
  OutputLog log;
  ASSERT_TRUE(log.Open(folder, kStamp));
  log.WriteLine("run two");
  log.Close();
  std::vector<uint8_t> expected{0xFF, 0xFE};
  for (const QString& part : {Separator(), QString("run one\r\n"), Separator(),
                              QString("run two\r\n")}) {
    const auto bytes = Utf16Le(part);
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(ReadBytes(log.Path().toStdString()), expected);
}

TEST(OutputLog, PaneKeepsWorkingWhenTheLogCannotBeWritten) {
  TempDir dir;
  // A plain file where the folder should be: nothing can be created in it.
  const std::string notAFolder = dir.File("file");
  WriteBytes(notAFolder, {1, 2, 3});
  COutputWnd pane;
  EXPECT_FALSE(pane.Log().Open(QString::fromStdString(notAFolder), kStamp));
  EXPECT_FALSE(pane.Log().IsOpen());
  pane.WriteOutputLine("still shown");
  EXPECT_EQ(pane.Lines(), QStringList{"still shown"});
}

TEST(OutputLog, DefaultFolderIsTheDesktopOrTheHomeFolder) {
  const QString folder = OutputLog::DefaultFolder();
  EXPECT_FALSE(folder.isEmpty());
  EXPECT_TRUE(QDir(folder).exists());
}

TEST(OutputPane, LineIndexResetPutsTheNextRunAboveTheEarlierOnes) {
  COutputWnd pane;
  pane.WriteOutputLine("a1");
  pane.WriteOutputLine("a2");
  pane.ResetLineIndex();
  pane.WriteOutputLine("b1");
  pane.WriteOutputLine("b2");
  pane.ResetLineIndex();
  pane.WriteOutputLine("c1");
  EXPECT_EQ(pane.Lines(), (QStringList{"c1", "b1", "b2", "a1", "a2"}));
}

}  // namespace
}  // namespace korvel::testing
