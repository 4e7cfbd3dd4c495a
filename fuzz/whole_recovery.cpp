#include "fuzz/whole_recovery.h"

#include <filesystem>

#include "core/database_detection.h"
#include "core/object_tree.h"
#include "core/scan_worker.h"
#include "format3/sqlite_ver3.h"
#if __has_include("format2/sqlite_ver2.h")
#include "format2/sqlite_ver2.h"
#define KORVEL_HAVE_FORMAT2 1
#endif

namespace korvel {
namespace {

// Answers Yes, keeps nothing but counts: a hostile input must not be able to
// make this host grow.
class QuietHost final : public EngineHost {
 public:
  void WriteOutputLine(const std::u16string&) override {}
  void SetCaptionText(const std::u16string&) override {}
  void SetProgressRange(uint64_t) override {}
  void SetProgressPos(uint64_t) override {}
  MessageAnswer ShowMessage(const std::u16string&, const std::u16string&, MessageButtons buttons,
                            MessageIcon) override {
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
  }
  TreeOps& Tree() override { return tree; }
  void AddRecordRow(RecordRow) override { ++rows; }
  void ClearRecordRows() override { rows = 0; }
  uint64_t RecordRowCount() override { return rows; }
  bool StopRequested() override { return false; }
  ScanSettings& Settings() override { return settings; }

  ObjectTree tree;
  ScanSettings settings;
  uint64_t rows = 0;
};

std::unique_ptr<sqlite_base> CreateEngine(int version) {
  if (version == 2) return std::make_unique<sqlite_ver3>();
#ifdef KORVEL_HAVE_FORMAT2
  if (version == 1) return std::make_unique<sqlite_ver2>();
#endif
  return nullptr;
}

}  // namespace

WholeRecoveryResult RunWholeRecovery(const std::string& inputPath, const std::string& workFolder) {
  WholeRecoveryResult result;
  const DetectionResult detected = DetectDatabaseFile(inputPath);
  result.version = detected.version;
  if (detected.version == 0) return result;

  QuietHost host;
  ScanSettings& s = host.settings;
  s.inputPath = inputPath;
  ApplyDetection(detected, s);
  s.outputPathOverride = (std::filesystem::path(workFolder) / "Repaired_fuzz.db").string();

  OpenDatabase database;
  RunScanWorker(host, CreateEngine, database);
  if (!database.engine) return result;
  sqlite_base& engine = *database.engine;

  ObjectTree& tree = host.tree;
  for (TreeItem item = tree.GetChildItem(s.tablesGroup); item != kNoItem;
       item = tree.GetNextSiblingItem(item)) {
    const int32_t index = tree.GetItemData(item);
    if (index < 0 || static_cast<size_t>(index) >= engine.model.tableDescriptors.size()) continue;
    const TableDescriptorParts parts = ParseTableDescriptor(engine.model.tableDescriptors[index]);
    ++result.tables;
    host.rows = 0;
    engine.engineProgressCounter = 0;
    engine.saveFlag = false;
    engine.LoadTableRecords(s.inputPath, parts.rootPage,
                            static_cast<int>(parts.columnNames.size()), parts.tableName,
                            parts.keyColumnMarker);
    result.previewRows += host.rows;
  }

  const TreeItem root = tree.GetRootItem();
  if (root != kNoItem) {
    tree.SetCheck(root, 1);
    result.saved = engine.SaveRecovered(s.inputPath);
  }
  return result;
}

}  // namespace korvel
