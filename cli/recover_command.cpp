#include "cli/recover_command.h"

#include <filesystem>
#include <system_error>

#include "core/app_title.h"
#include "core/database_detection.h"
#include "core/scan_worker.h"
#include "core/text_codec.h"
#include "format3/sqlite_ver3.h"
#include "output/repaired_writer.h"
#if __has_include("format2/sqlite_ver2.h")
#include "format2/sqlite_ver2.h"
#define KORVEL_CLI_HAVE_FORMAT2 1
#endif

namespace korvel::cli {

namespace {

std::unique_ptr<sqlite_base> CreateEngine(int version) {
  if (version == 2) return std::make_unique<sqlite_ver3>();
#ifdef KORVEL_CLI_HAVE_FORMAT2
  if (version == 1) return std::make_unique<sqlite_ver2>();
#endif
  return nullptr;
}

struct Group {
  const char* kind;
  TreeItem item;
  int32_t data;
};

std::vector<Group> GroupsOf(const ScanSettings& s) {
  return {{"table", s.tablesGroup, kTablesGroupData},
          {"index", s.indexesGroup, kIndexesGroupData},
          {"view", s.viewsGroup, kViewsGroupData},
          {"trigger", s.triggersGroup, kTriggersGroupData},
          {"deleted", s.deletedGroup, kDeletedGroupData}};
}

std::string NameOf(TreeOps& tree, TreeItem item) {
  return Utf16ToUtf8(TrimBlanks(tree.GetItemText(item)));
}

struct FoundObject {
  TreeItem item = kNoItem;
  int32_t groupData = 0;
};

FoundObject FindObject(TreeOps& tree, const ScanSettings& s, const std::string& name) {
  for (const Group& g : GroupsOf(s)) {
    if (g.item == kNoItem) continue;
    for (TreeItem item = tree.GetChildItem(g.item); item != kNoItem;
         item = tree.GetNextSiblingItem(item)) {
      if (NameOf(tree, item) == name) return {item, g.data};
    }
  }
  return {};
}

// Hands each record, as read, to the row writer.
class TypedRowPrinter final : public RecordInsertTarget {
 public:
  explicit TypedRowPrinter(RowWriter& writer) : writer_(writer) {}
  void ExecuteRecordInsert(const std::u16string&, const std::vector<RecordValue>& values) override {
    writer_.Record(values);
  }

 private:
  RowWriter& writer_;
};

// Prints the records of a table, or the statement of another object.
int ShowObject(const CliOptions& options, ConsoleHost& host, sqlite_base& engine,
               std::ostream& out) {
  TreeOps& tree = host.Tree();
  ScanSettings& s = host.Settings();
  const FoundObject found = FindObject(tree, s, options.show);
  if (found.item == kNoItem) {
    host.Note("no recovered object is named \"" + options.show + "\" (see --list)");
    return kExitNotRecovered;
  }
  const int32_t n = tree.GetItemData(found.item);
  RecoveredModel& model = engine.model;

  if (found.groupData == kTablesGroupData || found.groupData == kDeletedGroupData) {
    if (n < 0 || static_cast<size_t>(n) >= model.tableDescriptors.size()) {
      host.Note("the table \"" + options.show + "\" has no readable definition");
      return kExitNotRecovered;
    }
    const TableDescriptorParts parts = ParseTableDescriptor(model.tableDescriptors[n]);
    std::vector<std::string> columns;
    for (const auto& c : parts.columnNames) columns.push_back(ColumnTitle(c));
    RowWriter writer(out, options.format, columns);
    // The records are taken as the save takes them, typed, so that the
    // output holds the values themselves rather than the record list's
    // display forms (doubled quotes, "NULL", "< Blob Data >").
    TypedRowPrinter printer(writer);
    host.ClearRecordRows();
    engine.engineProgressCounter = 0;
    engine.saveFlag = false;
    host.SetProgressRange(engine.CountTableRows(s.inputPath, parts.rootPage));
    s.progressCounter = 1;
    s.rowsInserted = 0;
    s.saveMode = 2;
    engine.insertTarget = &printer;
    engine.LoadTableRecords(s.inputPath, parts.rootPage, static_cast<int>(parts.columnNames.size()),
                            parts.tableName, parts.keyColumnMarker);
    engine.insertTarget = nullptr;
    s.saveMode = 0;
    writer.Finish();
    host.ClearProgress();
    host.WriteOutputLine(u"Scanning process completed for folder: " + tree.GetItemText(found.item));
    return kExitSuccess;
  }

  const std::vector<std::string>* list8 = nullptr;
  const std::vector<std::u16string>* list16 = nullptr;
  const char* kind = "";
  if (found.groupData == kIndexesGroupData) {
    list8 = &model.indexStatements8, list16 = &model.indexStatements16, kind = "index";
  } else if (found.groupData == kViewsGroupData) {
    list8 = &model.viewStatements8, list16 = &model.viewStatements16, kind = "view";
  } else {
    list8 = &model.triggerStatements8, list16 = &model.triggerStatements16, kind = "trigger";
  }
  std::string text;
  if (engine.utf16Chosen) {
    if (n >= 0 && static_cast<size_t>(n) < list16->size()) text = Utf16ToUtf8((*list16)[n]);
  } else if (n >= 0 && static_cast<size_t>(n) < list8->size()) {
    text = Utf16ToUtf8(Utf8ToUtf16((*list8)[n]));
  }
  if (options.format == RowFormat::Json) {
    out << "{\"type\": " << JsonString(kind) << ", \"name\": " << JsonString(options.show)
        << ", \"sql\": " << JsonString(text) << "}\n";
  } else {
    out << text << '\n';
  }
  out.flush();
  return kExitSuccess;
}

// Checks every object, or only those named by --only.
bool CheckObjects(const CliOptions& options, ConsoleHost& host) {
  TreeOps& tree = host.Tree();
  const ScanSettings& s = host.Settings();
  if (options.only.empty()) {
    const TreeItem root = tree.GetRootItem();
    if (root != kNoItem) tree.SetCheck(root, 1);
  } else {
    for (const std::string& name : options.only) {
      bool matched = false;
      for (const Group& g : GroupsOf(s)) {
        if (g.item == kNoItem) continue;
        for (TreeItem item = tree.GetChildItem(g.item); item != kNoItem;
             item = tree.GetNextSiblingItem(item)) {
          if (NameOf(tree, item) == name) {
            tree.SetCheck(item, 1);
            matched = true;
          }
        }
      }
      if (!matched) host.Note("no recovered object is named \"" + name + "\" (see --list)");
    }
  }
  // Groups count as items too: only objects matter.
  for (const Group& g : GroupsOf(s)) {
    if (g.item == kNoItem) continue;
    for (TreeItem item = tree.GetChildItem(g.item); item != kNoItem;
         item = tree.GetNextSiblingItem(item)) {
      if (tree.GetCheck(item) == 1) return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::string> ListObjects(TreeOps& tree, const ScanSettings& settings) {
  std::vector<std::string> lines;
  for (const Group& g : GroupsOf(settings)) {
    if (g.item == kNoItem) continue;
    for (TreeItem item = tree.GetChildItem(g.item); item != kNoItem;
         item = tree.GetNextSiblingItem(item)) {
      lines.push_back(std::string(g.kind) + "\t" + NameOf(tree, item));
    }
  }
  return lines;
}

int RunRecover(const CliOptions& options, ConsoleHost& host, std::ostream& out) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_regular_file(options.file, ec)) {
    host.Note(options.file + ": " +
              (fs::exists(options.file, ec) ? "not a regular file" : "no such file"));
    return kExitNotRecovered;
  }
  const bool recovering = !options.list && !options.showGiven;
  if (recovering && !options.output.empty() && fs::exists(options.output, ec)) {
    if (fs::equivalent(options.output, options.file, ec)) {
      host.Note("the repaired database cannot replace the damaged file itself");
      return kExitUsage;
    }
    if (!fs::is_regular_file(options.output, ec)) {
      host.Note(options.output + ": not a file; -o takes the path of the repaired database");
      return kExitUsage;
    }
  }

  const DetectionResult detected = DetectDatabaseFile(options.file);
  for (const std::u16string& message : detected.messages) {
    // Every message of the detection explains why the file cannot be read.
    host.ShowMessage(message, kAppTitle, MessageButtons::Ok, MessageIcon::Exclamation);
  }
  if (!detected.readerOpened || detected.version == 0) return kExitNotRecovered;

  // Said as a warning, so that it is kept also with -q.
  if (!detected.notice.empty()) {
    host.ShowMessage(detected.notice, kAppTitle, MessageButtons::Ok, MessageIcon::Exclamation);
  }

  ScanSettings& s = host.Settings();
  s.inputPath = options.file;
  ApplyDetection(detected, s);
  s.outputPathOverride = options.output;
  s.recoverDeleted = !options.noDeleted;
  s.recoverOrphans = !options.noOrphans;
  s.saveMode = 0;

  host.WriteOutputLine(Utf8ToUtf16(options.file) + u" File is selected for recovery....");
  OpenDatabase database;
  const ScanOutcome outcome = RunScanWorker(host, CreateEngine, database);
  if (!ScanReachedItsEnd(outcome) || !database.engine) return kExitNotRecovered;
  sqlite_base& engine = *database.engine;

  if (options.list) {
    for (const std::string& line : ListObjects(host.Tree(), s)) out << line << '\n';
    out.flush();
    return kExitSuccess;
  }
  if (options.showGiven) return ShowObject(options, host, engine, out);

  if (!CheckObjects(options, host)) {
    host.Note("nothing to recover from " + options.file);
    return kExitNotRecovered;
  }
  const std::string outputPath = RepairedPathFor(s);
  if (!engine.SaveRecovered(s.inputPath)) return kExitDeclined;
  host.ClearProgress();
  if (!fs::exists(outputPath, ec)) {
    host.Note("the repaired database " + outputPath + " was not created");
    return kExitNotRecovered;
  }
  if (host.StopRequested()) host.Note("stopped; the repaired database holds what was saved");
  host.Note("repaired database: " + outputPath);
  return kExitSuccess;
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   std::istream& in, const std::atomic<bool>* stopRequest, bool stdinIsTerminal,
                   bool stderrIsTerminal) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.error.empty()) {
    err << "korvel-recover: " << parsed.error << "\nTry 'korvel-recover --help'.\n";
    return kExitUsage;
  }
  const CliOptions& options = parsed.options;
  if (options.help) {
    out << UsageText();
    return kExitSuccess;
  }
  if (options.version) {
    out << "korvel-recover (" << kAppTitleUtf8 << ") " << kAppVersion << '\n';
    return kExitSuccess;
  }
  ConsoleSettings console;
  console.quiet = options.quiet;
  console.assumeYes = options.yes;
  console.askOnTerminal = stdinIsTerminal;
  console.progressBar = stderrIsTerminal;
  ConsoleHost host(err, in, console, stopRequest);
  return RunRecover(options, host, out);
}

}  // namespace korvel::cli
