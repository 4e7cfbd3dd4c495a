#include "core/scan_worker.h"

#include <gtest/gtest.h>

#include "core/database_detection.h"
#include "tests/support/recording_host.h"
#include "tests/support/test_database.h"

namespace korvel {
namespace {

using testing::RecordingHost;
using testing::TempDir;
using testing::U8;

// An engine whose scan records what it was given and ends as told.
class ScriptedEngine : public sqlite_base {
 public:
  explicit ScriptedEngine(int how) : how_(how) {}
  void Scan(const std::string& path) override {
    scannedPath = path;
    sawScanFlag = owner->Settings().scanFlag;
    if (how_ == 1) scanReportedDamage = true;
    if (how_ == 2) scanEndedEarly = true;
  }
  std::string scannedPath;
  bool sawScanFlag = false;

 private:
  int how_;
};

struct ScanFixture {
  TempDir dir;
  RecordingHost host;
  OpenDatabase database;
  std::string path;
  ScanFixture() {
    path = dir.File("a.db");
    testing::MakeDatabase(path, "CREATE TABLE t(a);", 1024);
    testing::Prepend(path, std::vector<uint8_t>(2048, 0));
    const DetectionResult d = DetectDatabaseFile(path);
    ScanSettings& s = host.settings;
    s.inputPath = path;
    s.version = d.version;
    s.startOffset = d.startOffset;
    s.pageSize = d.pageSize;
    s.utf8Chosen = d.utf8Chosen;
  }
  ScanOutcome Run(int how) {
    return RunScanWorker(
        host,
        [how](int version) -> std::unique_ptr<sqlite_base> {
          if (version != 2) return nullptr;
          return std::make_unique<ScriptedEngine>(how);
        },
        database);
  }
};

TEST(ScanWorker, BuildsTheGroupsRunsTheScanAndReportsCompletion) {
  ScanFixture f;
  EXPECT_EQ(f.Run(0), ScanOutcome::Completed);
  const ScanSettings& s = f.host.settings;
  ASSERT_NE(f.database.reader, nullptr);
  EXPECT_EQ(s.reader, f.database.reader.get());
  EXPECT_EQ(s.pageCount, (f.database.reader->length - 2048) / 1024);
  auto* engine = dynamic_cast<ScriptedEngine*>(f.database.engine.get());
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(engine->scannedPath, f.path);
  EXPECT_TRUE(engine->sawScanFlag);
  EXPECT_FALSE(s.scanFlag);
  EXPECT_TRUE(engine->utf8Chosen);
  EXPECT_EQ(engine->owner, &f.host);

  ObjectTree& tree = f.host.tree;
  const TreeItem root = tree.GetRootItem();
  EXPECT_EQ(U8(tree.GetItemText(root)), f.path);
  EXPECT_EQ(tree.GetItemData(root), -1);
  std::vector<std::string> groups;
  std::vector<int> data;
  for (TreeItem g = tree.GetChildItem(root); g != kNoItem; g = tree.GetNextSiblingItem(g)) {
    groups.push_back(U8(tree.GetItemText(g)));
    data.push_back(tree.GetItemData(g));
  }
  EXPECT_EQ(groups, (std::vector<std::string>{"TABLES  ", "INDEXES  ", "VIEWS  ", "TRIGGERS  "}));
  EXPECT_EQ(data, (std::vector<int>{-2, -3, -4, -5}));
  EXPECT_EQ(s.tablesGroup, tree.GetChildItem(root));
  EXPECT_TRUE(tree.IsExpanded(root));

  EXPECT_EQ(U8(f.host.lines), (std::vector<std::string>{
                                  " File is Parsing ",
                                  "Scanning process for selected file has been completed "
                                  "successfully."}));
  ASSERT_EQ(f.host.messages.size(), 1u);
  EXPECT_EQ(U8(f.host.messages[0].caption), "Korvel Lumquist v22.0");
  EXPECT_EQ(f.host.messages[0].icon, MessageIcon::Information);
}

TEST(ScanWorker, ScanThatMetDamageSaysItEndedWithErrors) {
  for (int how : {1, 2}) {
    ScanFixture f;
    EXPECT_EQ(f.Run(how), how == 1 ? ScanOutcome::CompletedWithDamage : ScanOutcome::EndedWithErrors);
    EXPECT_EQ(U8(f.host.lines.back()), "Scanning process for selected file has ended with errors.");
    EXPECT_EQ(ScanReachedItsEnd(how == 1 ? ScanOutcome::CompletedWithDamage
                                         : ScanOutcome::EndedWithErrors),
              how == 1);
  }
}

TEST(ScanWorker, MissingFileIsReportedAsLocked) {
  ScanFixture f;
  f.host.settings.inputPath = f.dir.File("gone.db");
  EXPECT_EQ(f.Run(0), ScanOutcome::NoReader);
  ASSERT_EQ(f.host.messages.size(), 1u);
  EXPECT_EQ(U8(f.host.messages[0].text), "The Database file used in another prog");
  EXPECT_EQ(U8(f.host.messages[0].caption), "File_LOCKED");
  EXPECT_EQ(f.host.tree.GetRootItem(), kNoItem);
  EXPECT_EQ(f.database.engine, nullptr);
}

TEST(ScanWorker, PageSizeZeroCannotBeParsedAndKeepsTheReader) {
  ScanFixture f;
  f.host.settings.pageSize = 0;
  EXPECT_EQ(f.Run(0), ScanOutcome::NoPageSize);
  ASSERT_EQ(f.host.messages.size(), 1u);
  EXPECT_EQ(U8(f.host.messages[0].text), "There is an error to open Database file");
  EXPECT_EQ(U8(f.host.messages[0].caption), "Can't be parsed");
  EXPECT_NE(f.database.reader, nullptr);
  EXPECT_EQ(f.host.tree.GetRootItem(), kNoItem);
}

}  // namespace
}  // namespace korvel
