#include "core/scan_worker.h"

#include "core/app_title.h"
#include "core/text_codec.h"

namespace korvel {
namespace {

uint64_t PageCountOf(const ScanSettings& s, uint64_t fileLength) {
  if (s.pageSize == 0) return 0;
  const uint64_t headerPosition = s.startOffset == 0 ? 0 : s.startOffset - 1;
  if (headerPosition > fileLength) return 0;
  return (fileLength - headerPosition) / s.pageSize;
}

void InsertGroups(EngineHost& host, ScanSettings& s) {
  TreeOps& tree = host.Tree();
  const TreeItem root = tree.InsertItem(Utf8ToUtf16(s.inputPath), kNoItem, InsertPosition::Last);
  tree.SetItemData(root, kRootItemData);
  struct Group {
    const char16_t* text;
    int32_t data;
    TreeItem* slot;
  };
  const Group groups[] = {{kTablesGroupText, kTablesGroupData, &s.tablesGroup},
                          {kIndexesGroupText, kIndexesGroupData, &s.indexesGroup},
                          {kViewsGroupText, kViewsGroupData, &s.viewsGroup},
                          {kTriggersGroupText, kTriggersGroupData, &s.triggersGroup}};
  s.deletedGroup = kNoItem;
  for (const Group& g : groups) {
    *g.slot = tree.InsertItem(g.text, root, InsertPosition::Last);
    tree.SetItemData(*g.slot, g.data);
  }
}

}  // namespace

ScanOutcome RunScanWorker(EngineHost& host, const EngineFactory& factory, OpenDatabase& database) {
  ScanSettings& s = host.Settings();
  database.engine.reset();
  database.reader = OpenReader(s.inputPath);
  if (!database.reader) {
    s.reader = nullptr;
    host.SetProgressVisible(false);
    host.ShowMessage(u"The Database file used in another prog", u"File_LOCKED",
                     MessageButtons::Ok, MessageIcon::None);
    return ScanOutcome::NoReader;
  }
  s.reader = database.reader.get();
  host.ClearRecordRows();

  std::unique_ptr<sqlite_base> engine =
      s.pageSize == 0 ? nullptr : (factory ? factory(s.version) : nullptr);
  if (!engine) {
    host.SetProgressVisible(false);
    host.ShowMessage(u"There is an error to open Database file", u"Can't be parsed",
                     MessageButtons::Ok, MessageIcon::None);
    return ScanOutcome::NoPageSize;
  }

  s.pageCount = PageCountOf(s, database.reader->length);
  InsertGroups(host, s);
  s.saveMode = 0;

  engine->utf8Chosen = s.utf8Chosen;
  engine->utf16Chosen = s.utf16Chosen;
  engine->owner = &host;
  database.engine = std::move(engine);
  sqlite_base& e = *database.engine;

  host.WriteOutputLine(u" File is Parsing ");
  s.scanFlag = true;
  e.Scan(s.inputPath);
  s.scanFlag = false;

  ScanOutcome outcome = ScanOutcome::Completed;
  if (e.scanEndedEarly) {
    outcome = ScanOutcome::EndedWithErrors;
  } else if (e.scanReportedDamage) {
    outcome = ScanOutcome::CompletedWithDamage;
  }
  const char16_t* completion =
      outcome == ScanOutcome::Completed ? kScanCompleted : kScanEndedWithErrors;
  host.ShowMessage(completion, kAppTitle, MessageButtons::Ok, MessageIcon::Information);
  host.WriteOutputLine(completion);

  host.SetProgressVisible(false);
  host.Tree().Expand(host.Tree().GetRootItem(), ExpandAction::Expand);
  s.version = 0;
  return outcome;
}

}  // namespace korvel
