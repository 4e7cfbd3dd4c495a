#include "output/repaired_writer.h"

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "core/app_title.h"
#include "core/text_codec.h"
#include "output/repaired_connection.h"
#include "output/table_record_writer.h"

namespace korvel {

using repaired::RepairedConnection;
using repaired::StatementKind;
using repaired::TableRecordWriter;

namespace {

// Clears the engine's insert target when the table is done, whatever happens.
struct InsertTargetScope {
  sqlite_base& engine;
  InsertTargetScope(sqlite_base& e, RecordInsertTarget* target) : engine(e) {
    engine.insertTarget = target;
  }
  ~InsertTargetScope() { engine.insertTarget = nullptr; }
};

template <typename List>
bool Usable(int32_t index, const List& list) {
  return index >= 0 && static_cast<size_t>(index) < list.size();
}

void RemoveStaleJournals(const std::string& outputPath) {
  std::error_code ec;
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    std::filesystem::remove(outputPath + suffix, ec);
  }
}

}  // namespace

std::string MakeRepairedPath(const std::string& inputPath) {
  const size_t slash = inputPath.rfind('/');
  if (slash == std::string::npos) return "Repaired_" + inputPath;
  return inputPath.substr(0, slash + 1) + "Repaired_" + inputPath.substr(slash + 1);
}

std::string RepairedPathFor(const ScanSettings& settings) {
  if (!settings.outputPathOverride.empty()) return settings.outputPathOverride;
  return MakeRepairedPath(settings.inputPath);
}

void WriteTables(EngineHost& host, sqlite_base& engine, TreeItem tablesGroup,
                 const std::string& outputPath) {
  TreeOps& tree = host.Tree();
  RecoveredModel& model = engine.model;
  const bool utf16 = engine.utf16Chosen;
  for (TreeItem item = tree.GetChildItem(tablesGroup); item != kNoItem;
       item = tree.GetNextSiblingItem(item)) {
    if (tree.GetCheck(item) != 1) continue;
    const int32_t n = tree.GetItemData(item);
    const bool usable =
        utf16 ? Usable(n, model.tableStatements16) : Usable(n, model.tableStatements8);
    host.Settings().saveMode = 2;

    RepairedConnection connection(host, utf16);
    if (!connection.Open(outputPath) || !usable) continue;
    // The stored statement ends before the parenthesis that closes its
    // column list. A table without rowid gets its clause back; should the
    // library refuse it (the key did not survive in the statement), the
    // table is created as a table with rowid rather than not at all.
    auto create = [&](const char* ending, bool logFailure) {
      return utf16 ? connection.ExecuteSchemaStatement(StatementKind::CreateTable, {},
                                                       model.tableStatements16[n] + ToU16(ending),
                                                       logFailure)
                   : connection.ExecuteSchemaStatement(StatementKind::CreateTable,
                                                       model.tableStatements8[n] + ending, {},
                                                       logFailure);
    };
    const bool withoutRowid = Usable(n, model.tableDescriptors) &&
                              ParseTableDescriptor(model.tableDescriptors[n]).withoutRowid;
    const bool created = (withoutRowid && create(") WITHOUT ROWID;", false)) || create(");", true);
    if (!created || !Usable(n, model.tableDescriptors)) continue;

    const TableDescriptorParts parts = ParseTableDescriptor(model.tableDescriptors[n]);
    ScanSettings& settings = host.Settings();
    settings.rowsInserted = 0;
    const uint64_t rows = engine.CountTableRows(settings.inputPath, parts.rootPage);
    host.WriteOutputLine(u"Table " + parts.tableName + u" contain " +
                         U16Number(static_cast<unsigned long long>(rows)) + u" rows");
    {
      const bool together = utf16 ? repaired::RowsMayGoTogether(model.tableStatements16[n])
                                  : repaired::RowsMayGoTogether(model.tableStatements8[n]);
      TableRecordWriter writer(host, connection, together);
      InsertTargetScope scope(engine, &writer);
      engine.LoadTableRecords(settings.inputPath, parts.rootPage,
                              static_cast<int>(parts.columnNames.size()), parts.tableName,
                              parts.keyColumnMarker);
      writer.Finish();
    }
    host.WriteOutputLine(u"Total " +
                         U16Number(static_cast<unsigned long long>(host.Settings().rowsInserted)) +
                         u" Rows inserted in table successfully");
  }
}

void WriteSchemaObjects(EngineHost& host, sqlite_base& engine, TreeItem group,
                        const std::string& outputPath, int groupKind) {
  TreeOps& tree = host.Tree();
  RecoveredModel& model = engine.model;
  const bool utf16 = engine.utf16Chosen;
  std::vector<std::string>* list8 = nullptr;
  std::vector<std::u16string>* list16 = nullptr;
  StatementKind kind;
  switch (groupKind) {
    case kIndexesGroupData:
      list8 = &model.indexStatements8;
      list16 = &model.indexStatements16;
      kind = StatementKind::CreateIndex;
      break;
    case kViewsGroupData:
      list8 = &model.viewStatements8;
      list16 = &model.viewStatements16;
      kind = StatementKind::CreateView;
      break;
    case kTriggersGroupData:
      list8 = &model.triggerStatements8;
      list16 = &model.triggerStatements16;
      kind = StatementKind::CreateTrigger;
      break;
    default:
      return;
  }

  for (TreeItem item = tree.GetChildItem(group); item != kNoItem;
       item = tree.GetNextSiblingItem(item)) {
    if (tree.GetCheck(item) != 1) continue;
    const int32_t n = tree.GetItemData(item);
    const bool usable = utf16 ? Usable(n, *list16) : Usable(n, *list8);
    ScanSettings& settings = host.Settings();
    settings.saveMode = 2;

    RepairedConnection connection(host, utf16);
    if (!connection.Open(outputPath) || !usable) continue;

    // Views and triggers may have a damaged first letter ("%REATE VIEW");
    // it is repaired in the stored text itself. Indexes are stored without
    // their closing parenthesis. A view is completed with ";" in both
    // encodings.
    if (utf16) {
      std::u16string& stored = (*list16)[n];
      if (kind != StatementKind::CreateIndex && !stored.empty()) stored[0] = u'C';
      const std::u16string ending = kind == StatementKind::CreateIndex  ? u");"
                                    : kind == StatementKind::CreateView ? u";"
                                                                        : u"";
      connection.ExecuteSchemaStatement(kind, {}, stored + ending);
    } else {
      std::string& stored = (*list8)[n];
      if (kind != StatementKind::CreateIndex && !stored.empty()) stored[0] = 'C';
      const std::string ending = kind == StatementKind::CreateIndex  ? ");"
                                 : kind == StatementKind::CreateView ? ";"
                                                                     : "";
      connection.ExecuteSchemaStatement(kind, stored + ending, {});
    }
    host.SetProgressPos(settings.progressCounter);
    ++settings.progressCounter;
  }
}

std::u16string OverwriteQuestion(const std::string& outputPath) {
  return u"The Database File " + Utf8ToUtf16(outputPath) +
         u" Already exist.\n Exisitng file will be Deleted. Do you want to Continue ?";
}

bool SaveCheckedObjects(EngineHost& host, sqlite_base& engine) {
  ScanSettings& settings = host.Settings();
  host.WriteOutputLine(u"Creating Database");
  settings.progressCounter = 0;
  const uint64_t total = engine.CountCheckedEntries();
  host.WriteOutputLine(u"Database have total " + U16Number(static_cast<unsigned long long>(total)) +
                       u" Entries");
  host.SetProgressRange(total);
  settings.progressCounter = 1;

  const std::string outputPath = RepairedPathFor(settings);
  std::error_code ec;
  if (std::filesystem::exists(outputPath, ec)) {
    if (std::filesystem::equivalent(outputPath, settings.inputPath, ec)) {
      // Only reachable through an explicit output path: never replace the
      // damaged file with its repaired copy.
      host.ShowMessage(u"The repaired database cannot replace the damaged file " +
                           Utf8ToUtf16(outputPath) + u".",
                       kAppTitle, MessageButtons::Ok, MessageIcon::Exclamation);
      return false;
    }
    if (!std::filesystem::is_regular_file(outputPath, ec)) {
      // A folder or a device of that name is never deleted.
      host.ShowMessage(u"The repaired database cannot be written to " + Utf8ToUtf16(outputPath) +
                           u": it is not a file.",
                       kAppTitle, MessageButtons::Ok, MessageIcon::Exclamation);
      return false;
    }
    if (host.ShowMessage(OverwriteQuestion(outputPath), kAppTitle, MessageButtons::YesNo,
                         MessageIcon::Question) != MessageAnswer::Yes) {
      return false;
    }
    if (!std::filesystem::remove(outputPath, ec) || ec) {
      host.WriteOutputLine(u"Error: the existing file " + Utf8ToUtf16(outputPath) +
                           u" could not be deleted: " + Utf8ToUtf16(ec.message()));
      settings.saveMode = 0;
      return true;
    }
  }
  // A journal left by an interrupted earlier save must not be played back
  // into the new file.
  RemoveStaleJournals(outputPath);

  if (settings.tablesGroup != kNoItem) WriteTables(host, engine, settings.tablesGroup, outputPath);
  // The deleted records, each table's in a table of its own.
  if (settings.deletedGroup != kNoItem) {
    WriteTables(host, engine, settings.deletedGroup, outputPath);
  }
  host.WriteOutputLine(u"Database Table created successfully");
  if (settings.indexesGroup != kNoItem) {
    WriteSchemaObjects(host, engine, settings.indexesGroup, outputPath, kIndexesGroupData);
  }
  host.WriteOutputLine(u"Database Index schema created successfully");
  if (settings.viewsGroup != kNoItem) {
    WriteSchemaObjects(host, engine, settings.viewsGroup, outputPath, kViewsGroupData);
  }
  host.WriteOutputLine(u"Database views created successfully");
  if (settings.triggersGroup != kNoItem) {
    WriteSchemaObjects(host, engine, settings.triggersGroup, outputPath, kTriggersGroupData);
  }
  host.WriteOutputLine(u"Database Triggers created successfully");
  host.ClearRecordRows();
  settings.saveMode = 0;
  return true;
}

}  // namespace korvel
