// "Select Database file": the file chooser answered by the test, detection
// results shown in the radio buttons and the page-size edit.

#include <gtest/gtest.h>

#include "app/file_setting_dialog.h"
#include "app/scripted_platform.h"
#include "tests/support/test_database.h"

namespace korvel::testing {
namespace {

using app::CDravintFileSettingDlg;
using app::FileSelection;

class FileDialogTest : public ::testing::Test {
 protected:
  CDravintFileSettingDlg& Dialog() {
    if (!dialog) dialog = std::make_unique<CDravintFileSettingDlg>(selection, platform.Services());
    return *dialog;
  }
  void Browse(const std::string& path) {
    platform.files.paths.push_back(QString::fromStdString(path));
    Dialog().Browse();
  }
  // Version 2, Version 3, UTF-8, UTF-16.
  std::vector<bool> Radios() {
    return {Dialog().Version2Button()->isChecked(), Dialog().Version3Button()->isChecked(),
            Dialog().Utf8Button()->isChecked(), Dialog().Utf16Button()->isChecked()};
  }

  TempDir dir;
  app::ScriptedPlatform platform;
  FileSelection selection;
  std::unique_ptr<CDravintFileSettingDlg> dialog;
};

TEST_F(FileDialogTest, StartsWithVersion2AndUtf8ShownAndPairsStayExclusive) {
  EXPECT_EQ(Dialog().windowTitle(), QStringLiteral("Select Database file"));
  EXPECT_EQ(Radios(), (std::vector<bool>{true, false, true, false}));
  Dialog().Version3Button()->click();
  Dialog().Utf16Button()->click();
  EXPECT_EQ(Radios(), (std::vector<bool>{false, true, false, true}));
  Dialog().Version2Button()->click();
  EXPECT_EQ(Radios(), (std::vector<bool>{true, false, false, true}));
  EXPECT_TRUE(Dialog().PathEdit()->isReadOnly());
  EXPECT_TRUE(Dialog().PageSizeEdit()->isReadOnly());
}

TEST_F(FileDialogTest, Format3AfterAPrefixGivesOffsetPageSizeAndEncoding) {
  const std::string path = dir.File("prefixed.bin");
  MakeDatabase(path, "CREATE TABLE t(a); INSERT INTO t VALUES (1);", 1024);
  Prepend(path, std::vector<uint8_t>(4096, 0x00));
  Browse(path);
  EXPECT_TRUE(platform.messages.shown.empty());
  EXPECT_EQ(selection.version, 2);
  EXPECT_EQ(selection.startOffset, 4097u);
  EXPECT_EQ(selection.pageSize, 1024u);
  EXPECT_EQ(Dialog().PageSizeEdit()->text(), QStringLiteral("1024"));
  EXPECT_EQ(Radios(), (std::vector<bool>{false, true, true, false}));
  EXPECT_TRUE(selection.utf8Chosen);
  EXPECT_EQ(Dialog().PathEdit()->text(), QString::fromStdString(path));
  Dialog().accept();
  EXPECT_EQ(Dialog().result(), QDialog::Accepted);
  EXPECT_EQ(selection.inputPath, path);
}

TEST_F(FileDialogTest, Utf16FileThenUtf8FileLeavesOnlyUtf8Chosen) {
  const std::string wide = dir.File("wide.db");
  const std::string narrow = dir.File("narrow.db");
  MakeDatabase(wide, "CREATE TABLE t(a);", 4096, "UTF-16le");
  MakeDatabase(narrow, "CREATE TABLE t(a);", 4096, "UTF-8");
  Browse(wide);
  EXPECT_TRUE(selection.utf16Chosen);
  EXPECT_EQ(Radios(), (std::vector<bool>{false, true, false, true}));
  Browse(narrow);
  EXPECT_TRUE(selection.utf8Chosen);
  EXPECT_FALSE(selection.utf16Chosen);
  EXPECT_EQ(Radios(), (std::vector<bool>{false, true, true, false}));
  EXPECT_EQ(Dialog().PageSizeEdit()->text(), QStringLiteral("4096"));
}

TEST_F(FileDialogTest, Format2FileShowsVersion2Utf8And1024) {
  const std::string path = FixturePath("format2/f2_contacts.db");
  Browse(path);
  EXPECT_EQ(selection.version, 1);
  EXPECT_EQ(Radios(), (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(Dialog().PageSizeEdit()->text(), QStringLiteral("1024"));
  EXPECT_EQ(selection.pageCount, ReadBytes(path).size() / 1024);
}

TEST_F(FileDialogTest, AWipedHeaderIsRebuiltAndTheDialogSaysSo) {
  struct Case {
    int pageSize;
    const char* encoding;
    std::vector<bool> radios;
    const char* notice;
  };
  const Case cases[] = {
      {1024, "UTF-8", {false, true, true, false},
       "No database header was found; the header was rebuilt from the pages (page size 1024, "
       "UTF-8)."},
      {4096, "UTF-16le", {false, true, false, true},
       "No database header was found; the header was rebuilt from the pages (page size 4096, "
       "UTF-16le)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encoding);
    const std::string path = dir.File(std::string("wiped-") + c.encoding + ".db");
    MakeDatabase(path, "CREATE TABLE t(a, b); CREATE INDEX ti ON t(b); INSERT INTO t VALUES (1, 2);",
                 c.pageSize, c.encoding);
    PatchBytes(path, 0, std::vector<uint8_t>(100, 0));
    platform.messages.shown.clear();
    Browse(path);
    ASSERT_EQ(platform.messages.Texts(), QStringList{QString::fromUtf8(c.notice)});
    EXPECT_EQ(platform.messages.shown[0].caption, QStringLiteral("Korvel Lumquist v22.0"));
    EXPECT_EQ(platform.messages.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(Radios(), c.radios);
    EXPECT_EQ(Dialog().PageSizeEdit()->text(), QString::number(c.pageSize));
    EXPECT_EQ(selection.version, 2);
    EXPECT_EQ(selection.startOffset, 1u);
    EXPECT_EQ(selection.pageSize, static_cast<uint64_t>(c.pageSize));
    EXPECT_TRUE(selection.headerRebuilt);
  }
  // The next file, with its header, is no rebuilt one.
  const std::string healthy = dir.File("healthy.db");
  MakeDatabase(healthy, "CREATE TABLE t(a);", 1024);
  platform.messages.shown.clear();
  Browse(healthy);
  EXPECT_TRUE(platform.messages.shown.empty());
  EXPECT_FALSE(selection.headerRebuilt);
  EXPECT_EQ(selection.rebuiltTextEncoding, 0);
}

TEST_F(FileDialogTest, RefusedFilesShowTheirMessages) {
  const std::string small = dir.File("small.bin");
  WriteBytes(small, std::vector<uint8_t>(600, 'x'));
  const std::string big = dir.File("big.bin");
  WriteBytes(big, std::vector<uint8_t>(5000, 'x'));
  const std::string zeros = dir.File("zeros.bin");
  WriteBytes(zeros, std::vector<uint8_t>(16384, 0));
  struct Case {
    std::string path;
    QStringList messages;
  };
  const Case cases[] = {
      {dir.File("missing.db"), {"Please select valid database file."}},
      {small,
       {"File Format not supported, please select file again",
        "Version cannot be detected.Please select the version to continue"}},
      {big,
       {"The Database content is not in its appropriate form",
        "Version cannot be detected.Please select the version to continue"}},
      {zeros,
       {"The Database content is not in its appropriate form",
        "Version cannot be detected.Please select the version to continue"}},
  };
  for (const Case& c : cases) {
    platform.messages.shown.clear();
    Browse(c.path);
    EXPECT_EQ(platform.messages.Texts(), c.messages) << c.path;
    for (const auto& m : platform.messages.shown) {
      EXPECT_EQ(m.caption, QStringLiteral("Korvel Lumquist v22.0"));
      EXPECT_EQ(m.icon, MessageIcon::Information);
    }
    EXPECT_EQ(selection.pageSize, 0u);
    EXPECT_EQ(Radios(), (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(Dialog().PageSizeEdit()->text(), QString());
  }
}

TEST_F(FileDialogTest, CancelledChooserChangesNothingButTheReset) {
  Dialog().Browse();  // no path scripted: cancelled
  EXPECT_EQ(platform.files.asked, 1);
  EXPECT_TRUE(platform.messages.shown.empty());
  EXPECT_EQ(Dialog().PathEdit()->text(), QString());
}

}  // namespace
}  // namespace korvel::testing
