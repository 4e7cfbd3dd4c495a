// The save of a format-2.1 file: the checked objects and the rows of the
// checked tables go into a new format-3 database through the shared writer.

#include <filesystem>
#include <system_error>

#include "core/app_title.h"
#include "core/text_codec.h"
#include "format2/sqlite_ver2.h"
#include "output/repaired_writer.h"

namespace korvel {

uint64_t sqlite_ver2::CountCheckedEntries() {
  if (owner == nullptr) return 0;
  TreeOps& tree = owner->Tree();
  TreeItem group = owner->Settings().tablesGroup;
  if (group == kNoItem) group = tree.GetChildItem(tree.GetRootItem());
  if (group == kNoItem) return 0;
  uint64_t total = 0;
  for (TreeItem item = tree.GetChildItem(group); item != kNoItem;
       item = tree.GetNextSiblingItem(item)) {
    if (tree.GetCheck(item) != 1) continue;
    const int32_t index = tree.GetItemData(item);
    if (index < 0 || static_cast<size_t>(index) >= model.tableDescriptors.size()) continue;
    engineProgressCounter = 0;
    const TableDescriptorParts parts = ParseTableDescriptor(model.tableDescriptors[index]);
    total += CountTableRows(owner->Settings().inputPath, parts.rootPage);
  }
  return total;
}

bool sqlite_ver2::SaveRecovered(const std::string& inputPath) {
  if (owner == nullptr) return false;
  EngineHost& host = *owner;
  ScanSettings& settings = host.Settings();
  host.WriteOutputLine(u" Creating Database ");
  saveFlag = true;

  const std::string outputPath = RepairedPathFor(settings);
  std::error_code error;
  if (std::filesystem::exists(outputPath, error)) {
    if (std::filesystem::equivalent(outputPath, settings.inputPath, error)) {
      // Only reachable through an explicit output path: the damaged file is
      // never replaced by its repaired copy.
      host.ShowMessage(u"The repaired database cannot replace the damaged file " +
                           Utf8ToUtf16(outputPath) + u".",
                       kAppTitle, MessageButtons::Ok, MessageIcon::Exclamation);
      saveFlag = false;
      return false;
    }
    if (!std::filesystem::is_regular_file(outputPath, error)) {
      // A folder or a device of that name is never deleted.
      host.ShowMessage(u"The repaired database cannot be written to " + Utf8ToUtf16(outputPath) +
                           u": it is not a file.",
                       kAppTitle, MessageButtons::Ok, MessageIcon::Exclamation);
      saveFlag = false;
      return false;
    }
    if (host.ShowMessage(OverwriteQuestion(outputPath), kAppTitle, MessageButtons::YesNo,
                         MessageIcon::Question) != MessageAnswer::Yes) {
      saveFlag = false;
      return false;
    }
    if (!std::filesystem::remove(outputPath, error) || error) {
      // Writing into the old file would mix old and new contents.
      host.WriteOutputLine(u"Error: the existing file " + Utf8ToUtf16(outputPath) +
                           u" could not be deleted: " + Utf8ToUtf16(error.message()));
      saveFlag = false;
      return false;
    }
  }
  // A journal left by an interrupted earlier save must not be played back
  // into the new file.
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    std::filesystem::remove(outputPath + suffix, error);
  }

  engineProgressCounter = 0;
  const uint64_t total = CountCheckedEntries();
  host.WriteOutputLine(u"Database have total " + U16Number(static_cast<unsigned long long>(total)) + u" Entries");
  host.SetProgressRange(total);
  engineProgressCounter = 1;
  settings.progressCounter = 1;
  settings.saveMode = 2;

  if (settings.tablesGroup != kNoItem) {
    WriteTables(host, *this, settings.tablesGroup, outputPath);
  }
  host.WriteOutputLine(u"Database Table created successfully");
  if (settings.indexesGroup != kNoItem) {
    WriteSchemaObjects(host, *this, settings.indexesGroup, outputPath, kIndexesGroupData);
  }
  host.WriteOutputLine(u"Database Index schema created successfully");
  if (settings.viewsGroup != kNoItem) {
    WriteSchemaObjects(host, *this, settings.viewsGroup, outputPath, kViewsGroupData);
  }
  host.WriteOutputLine(u"Database views created successfully");
  if (settings.triggersGroup != kNoItem) {
    WriteSchemaObjects(host, *this, settings.triggersGroup, outputPath, kTriggersGroupData);
  }
  host.WriteOutputLine(u"Database Triggers created successfully");

  host.ClearRecordRows();
  host.SetProgressPos(total);
  settings.saveMode = 0;
  return true;
}

}  // namespace korvel
