#include "tests/app/fake_engine.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/text_codec.h"

namespace korvel::testing {
namespace {

class FakeEngine final : public sqlite_base {
 public:
  explicit FakeEngine(std::shared_ptr<FakeEngineScript> script) : script_(std::move(script)) {}

  void Scan(const std::string&) override {
    ++script_->scans;
    ScanSettings& s = owner->Settings();
    model.tableStatements8 = {"CREATE TABLE t1 (id INTEGER PRIMARY KEY, name TEXT",
                              "CREATE TABLE endless (n"};
    model.tableDescriptors = {u"t1 +id< P.K >~name~#2", u"endless +n~#3"};
    model.indexStatements8 = {"CREATE INDEX i1 ON t1(name)"};
    model.viewStatements8 = {"CREATE VIEW v1 AS SELECT 'caf\xC3\xA9'"};
    model.triggerStatements8 = {"CREATE TRIGGER g1 AFTER INSERT ON t1 BEGIN SELECT 1; END"};
    owner->WriteOutputLine(u"fake scan line");
    if (script_->scanEndsEarly) {
      owner->ShowMessage(u"Endian descriptor is corrupted or file is corrupted", u"File_Corrupted",
                         MessageButtons::Ok, MessageIcon::None);
      scanEndedEarly = true;
      return;
    }
    TreeOps& tree = owner->Tree();
    const TreeItem endless = tree.InsertItem(u"endless ", s.tablesGroup, InsertPosition::First);
    tree.SetItemData(endless, 1);
    const TreeItem t1 = tree.InsertItem(u"t1 ", s.tablesGroup, InsertPosition::First);
    tree.SetItemData(t1, 0);
    tree.SetItemData(tree.InsertItem(u" i1 ON t1", s.indexesGroup, InsertPosition::First), 0);
    tree.SetItemData(tree.InsertItem(u" v1", s.viewsGroup, InsertPosition::First), 0);
    tree.SetItemData(tree.InsertItem(u"g1", s.triggersGroup, InsertPosition::First), 0);
    for (TreeItem g : {s.tablesGroup, s.triggersGroup, s.indexesGroup, s.viewsGroup}) {
      tree.Expand(g, ExpandAction::Expand);
    }
  }

  void LoadTableRecords(const std::string&, int64_t rootPage, int columnCount,
                        const std::u16string& tableName, int keyColumnMarker) override {
    script_->lastRootPage = rootPage;
    script_->lastColumnCount = columnCount;
    script_->lastKeyMarker = keyColumnMarker;
    script_->lastTableName = tableName;
    if (rootPage == 2) {
      for (int i = 1; i <= script_->smallTableRows; ++i) {
        owner->AddRecordRow({U16Number(static_cast<long long>(i)), u"name " + U16Number(static_cast<long long>(i))});
      }
      return;
    }
    script_->endlessRunning = true;
    for (long long n = 0; !owner->StopRequested(); ++n) {
      owner->AddRecordRow({U16Number(n)});
      if (n % script_->endlessRowsPerMillisecond == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(script_->stopDelayMilliseconds));
    script_->endlessRunning = false;
  }

  bool SaveRecovered(const std::string& inputPath) override {
    const std::filesystem::path input(inputPath);
    const std::filesystem::path output =
        input.parent_path() / ("Repaired_" + input.filename().string());
    owner->WriteOutputLine(u"Creating Database");
    if (std::filesystem::exists(output)) {
      const std::u16string question = u"The Database File " + Utf8ToUtf16(output.string()) +
                                      u" Already exist.\n Exisitng file will be Deleted. Do you "
                                      u"want to Continue ?";
      if (owner->ShowMessage(question, u"Korvel Lumquist v22.0", MessageButtons::YesNo,
                             MessageIcon::None) != MessageAnswer::Yes) {
        return false;
      }
      std::filesystem::remove(output);
    }
    ++script_->saves;
    std::ofstream(output) << "saved " << script_->saves.load() << "\n";
    owner->ClearRecordRows();
    owner->WriteOutputLine(u"Database Triggers created successfully");
    return true;
  }

 private:
  std::shared_ptr<FakeEngineScript> script_;
};

}  // namespace

EngineFactory FakeEngineFactory(std::shared_ptr<FakeEngineScript> script) {
  return [script](int version) -> std::unique_ptr<sqlite_base> {
    if (version != 2) return nullptr;
    return std::make_unique<FakeEngine>(script);
  };
}

}  // namespace korvel::testing
