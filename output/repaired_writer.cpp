#include "output/repaired_writer.h"

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "core/app_title.h"
#include "core/text_codec.h"

namespace korvel {

namespace {

// ---------------------------------------------------------------------------
// Statement guard
//
// Every text executed against the repaired database comes from the damaged
// file. Each one is compiled with an authorizer that allows exactly one kind
// of statement (the expected action code) plus the reads, selects and
// functions such a statement may contain; creating an object may also write
// the schema table. Anything else (ATTACH, DETACH, PRAGMA, transactions,
// other statement kinds) is denied. After compiling, the rest of the text
// must hold nothing but blanks, comments and empty statements.
// ---------------------------------------------------------------------------

enum class StatementKind { CreateTable, CreateIndex, CreateView, CreateTrigger, Insert };

int ActionOf(StatementKind kind) {
  switch (kind) {
    case StatementKind::CreateTable: return SQLITE_CREATE_TABLE;
    case StatementKind::CreateIndex: return SQLITE_CREATE_INDEX;
    case StatementKind::CreateView: return SQLITE_CREATE_VIEW;
    case StatementKind::CreateTrigger: return SQLITE_CREATE_TRIGGER;
    case StatementKind::Insert: return SQLITE_INSERT;
  }
  return SQLITE_INSERT;
}

const char16_t* NameOf(StatementKind kind) {
  switch (kind) {
    case StatementKind::CreateTable: return u"CREATE TABLE";
    case StatementKind::CreateIndex: return u"CREATE INDEX";
    case StatementKind::CreateView: return u"CREATE VIEW";
    case StatementKind::CreateTrigger: return u"CREATE TRIGGER";
    case StatementKind::Insert: return u"INSERT";
  }
  return u"";
}

struct StatementGuard {
  bool checking = false;  // off while the writer runs its own statements
  int expectedAction = 0;
  bool sawExpected = false;
  int deniedAction = 0;  // the first action denied, 0 when none

  void Arm(StatementKind kind) {
    checking = true;
    expectedAction = ActionOf(kind);
    sawExpected = false;
    deniedAction = 0;
  }
};

bool EqualsNoCase(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return false;
  return sqlite3_stricmp(a, b) == 0;
}

bool IsSchemaTable(const char* name) {
  return EqualsNoCase(name, "sqlite_master") || EqualsNoCase(name, "sqlite_schema") ||
         EqualsNoCase(name, "sqlite_temp_master") || EqualsNoCase(name, "sqlite_temp_schema");
}

int AuthorizeStatement(void* data, int action, const char* arg1, const char* arg2,
                       const char* /*database*/, const char* /*trigger*/) {
  auto* guard = static_cast<StatementGuard*>(data);
  if (!guard->checking) return SQLITE_OK;
  switch (action) {
    case SQLITE_READ:
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    case SQLITE_FUNCTION:
      if (!EqualsNoCase(arg2, "load_extension")) return SQLITE_OK;
      break;
    case SQLITE_CREATE_INDEX:
      // A table's PRIMARY KEY and UNIQUE constraints create its own indexes.
      if (guard->expectedAction == SQLITE_CREATE_TABLE && arg1 != nullptr &&
          sqlite3_strnicmp(arg1, "sqlite_autoindex_", 17) == 0) {
        return SQLITE_OK;
      }
      if (guard->expectedAction == SQLITE_CREATE_INDEX) {
        guard->sawExpected = true;
        return SQLITE_OK;
      }
      break;
    case SQLITE_REINDEX:
      // Creating an index fills it from its table.
      if (guard->expectedAction == SQLITE_CREATE_INDEX) return SQLITE_OK;
      break;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
      if (IsSchemaTable(arg1)) {
        // Creating an object records it in the schema table; a record
        // insert never touches it.
        if (guard->expectedAction != SQLITE_INSERT) return SQLITE_OK;
        break;
      }
      if (action == SQLITE_INSERT && guard->expectedAction == SQLITE_INSERT) {
        guard->sawExpected = true;
        return SQLITE_OK;
      }
      break;
    default:
      if (action == guard->expectedAction) {
        guard->sawExpected = true;
        return SQLITE_OK;
      }
      break;
  }
  if (guard->deniedAction == 0) guard->deniedAction = action;
  return SQLITE_DENY;
}

std::u16string DescribeDenied(int action, StatementKind kind) {
  switch (action) {
    case SQLITE_ATTACH: return u"it would attach another database file";
    case SQLITE_DETACH: return u"it would detach a database";
    case SQLITE_PRAGMA: return u"it would change a connection setting";
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT: return u"it would control transactions";
    case SQLITE_FUNCTION: return u"it would load an extension";
    default: return u"it is a statement of another kind";
  }
}

std::u16string RefusalLine(StatementKind kind, const std::u16string& reason) {
  return u"Error: refused a text that is not a single " + std::u16string(NameOf(kind)) +
         u" statement (" + reason + u")";
}

// True when [p, end) holds only blanks, comments and semicolons, so that
// nothing would run after the statement that was compiled.
template <typename Char>
bool OnlyBlanksAndComments(const Char* p, const Char* end) {
  while (p < end) {
    const Char c = *p;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == ';') {
      ++p;
    } else if (c == '-' && p + 1 < end && p[1] == '-') {
      p += 2;
      while (p < end && *p != '\n') ++p;
    } else if (c == '/' && p + 1 < end && p[1] == '*') {
      p += 2;
      while (p < end && !(*p == '*' && p + 1 < end && p[1] == '/')) ++p;
      if (p >= end) return true;  // an open comment runs to the end
      p += 2;
    } else {
      return false;
    }
  }
  return true;
}

std::u16string LibraryMessage(sqlite3* db) {
  const char* message = db ? sqlite3_errmsg(db) : nullptr;
  return Utf8ToUtf16(message ? message : "out of memory");
}

// ---------------------------------------------------------------------------
// One connection to the repaired database, for one object.
// ---------------------------------------------------------------------------

class RepairedConnection {
 public:
  RepairedConnection(EngineHost& host, bool utf16) : host_(host), utf16_(utf16) {}
  ~RepairedConnection() {
    if (db_ != nullptr) sqlite3_close_v2(db_);
  }
  RepairedConnection(const RepairedConnection&) = delete;
  RepairedConnection& operator=(const RepairedConnection&) = delete;

  bool utf16() const { return utf16_; }
  sqlite3* db() const { return db_; }
  StatementGuard& guard() { return guard_; }

  // Opens (and creates) the database; logs "Error: " + message on failure.
  bool Open(const std::string& path) {
    int rc;
    const std::u16string widePath = Utf8ToUtf16(path);
    // The UTF-16 route creates a UTF-16 database. A path that is not valid
    // UTF-8 would not survive the round trip, so it is opened by its bytes
    // and the encoding is set before the first statement instead.
    const bool pathSurvives = Utf16ToUtf8(widePath) == path;
    if (utf16_ && pathSurvives) {
      rc = sqlite3_open16(widePath.c_str(), &db_);
    } else {
      rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    }
    if (rc != SQLITE_OK) {
      host_.WriteOutputLine(u"Error: " + LibraryMessage(db_));
      sqlite3_close_v2(db_);
      db_ = nullptr;
      return false;
    }
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_set_authorizer(db_, AuthorizeStatement, &guard_);
    // Journal, synchronous mode and page cache stay as the library sets them,
    // so every committed record survives a crash. Records arrive in rowid
    // order and only touch the right edge of the table, and the sorter that
    // builds an index works fastest in small runs: a larger cache measured
    // slower. The sorter may use helper threads.
    RunOwn("PRAGMA threads=2");
    if (utf16_ && !pathSurvives) RunOwn("PRAGMA encoding='UTF-16'");
    return true;
  }

  // The writer's own statements (transactions, settings), with the guard off.
  bool RunOwn(const char* sql, std::u16string* error = nullptr) {
    guard_.checking = false;
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK && error != nullptr) {
      *error = Utf8ToUtf16(message ? message : sqlite3_errstr(rc));
    }
    sqlite3_free(message);
    return rc == SQLITE_OK;
  }

  // Compiles text as one statement of the kind. On failure returns null and
  // sets failure to the line to log: the library's message when the library
  // rejected the statement, or a refusal line when the guard did.
  sqlite3_stmt* Prepare(StatementKind kind, const std::string& text8, const std::u16string& text16,
                        std::u16string& failure, bool& refused) {
    refused = false;
    guard_.Arm(kind);
    sqlite3_stmt* stmt = nullptr;
    bool tailClean = true;
    int rc;
    if (utf16_) {
      const void* tail = nullptr;
      rc = sqlite3_prepare16_v2(db_, text16.data(), static_cast<int>(text16.size() * 2), &stmt,
                                &tail);
      if (rc == SQLITE_OK && tail != nullptr) {
        tailClean = OnlyBlanksAndComments(static_cast<const char16_t*>(tail),
                                          text16.data() + text16.size());
      }
    } else {
      const char* tail = nullptr;
      rc = sqlite3_prepare_v2(db_, text8.data(), static_cast<int>(text8.size()), &stmt, &tail);
      if (rc == SQLITE_OK && tail != nullptr) {
        tailClean = OnlyBlanksAndComments(tail, text8.data() + text8.size());
      }
    }
    std::u16string reason;
    if (guard_.deniedAction != 0) {
      reason = DescribeDenied(guard_.deniedAction, kind);
    } else if (rc != SQLITE_OK) {
      failure = LibraryMessage(db_);
      sqlite3_finalize(stmt);
      return nullptr;
    } else if (stmt == nullptr) {
      reason = u"the text is empty";
    } else if (!tailClean) {
      reason = u"further statements follow it";
    } else if (!guard_.sawExpected) {
      reason = std::u16string(u"it is not a ") + NameOf(kind) + u" statement";
    }
    if (!reason.empty()) {
      sqlite3_finalize(stmt);
      refused = true;
      failure = RefusalLine(kind, reason);
      return nullptr;
    }
    return stmt;
  }

  // Executes one schema statement of the kind; logs "Error: " + the reason
  // when it is refused or fails. True when it ran to its end.
  bool ExecuteSchemaStatement(StatementKind kind, const std::string& text8,
                              const std::u16string& text16) {
    std::u16string failure;
    bool refused = false;
    sqlite3_stmt* stmt = Prepare(kind, text8, text16, failure, refused);
    if (stmt == nullptr) {
      host_.WriteOutputLine(refused ? failure : u"Error: " + failure);
      return false;
    }
    const int rc = sqlite3_step(stmt);
    bool ok = rc == SQLITE_DONE;
    if (!ok) host_.WriteOutputLine(u"Error: " + LibraryMessage(db_));
    sqlite3_finalize(stmt);
    guard_.checking = false;
    return ok;
  }

 private:
  EngineHost& host_;
  bool utf16_;
  sqlite3* db_ = nullptr;
  StatementGuard guard_;
};

// ---------------------------------------------------------------------------
// The records of one table: one prepared INSERT per value count, values bound
// by type, committed every kRecordsPerCommit records and at the end.
// ---------------------------------------------------------------------------

class TableRecordWriter final : public RecordInsertTarget {
 public:
  TableRecordWriter(EngineHost& host, RepairedConnection& connection)
      : host_(host), connection_(connection) {}
  ~TableRecordWriter() override {
    Finish();
    for (auto& [count, prepared] : statements_) sqlite3_finalize(prepared.stmt);
  }

  void ExecuteRecordInsert(const std::u16string& tableName,
                           const std::vector<RecordValue>& values) override {
    Prepared& prepared = StatementFor(tableName, values.size());
    if (prepared.stmt == nullptr) {
      RecordFailed(prepared.failure);
      return;
    }
    if (!inTransaction_) Begin();
    sqlite3_stmt* stmt = prepared.stmt;
    Bind(stmt, values);
    connection_.guard().Arm(StatementKind::Insert);  // for an automatic recompile
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) {
      ++batchSucceeded_;
    } else {
      const std::u16string message = LibraryMessage(connection_.db());
      sqlite3_reset(stmt);
      RecordFailed(message);
      NoticeRolledBackBatch();
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    connection_.guard().checking = false;
    if (inTransaction_ && ++batchRecords_ >= kRecordsPerCommit) Commit();
  }

  // Commits the open batch.
  void Finish() {
    if (inTransaction_) Commit();
  }

 private:
  struct Prepared {
    sqlite3_stmt* stmt = nullptr;
    std::u16string failure;  // the line logged for each record when stmt is null
  };

  Prepared& StatementFor(const std::u16string& tableName, size_t valueCount) {
    if (tableName != tableName_) {
      for (auto& [count, prepared] : statements_) sqlite3_finalize(prepared.stmt);
      statements_.clear();
      tableName_ = tableName;
    }
    auto found = statements_.find(valueCount);
    if (found != statements_.end()) return found->second;

    std::u16string sql = u"insert into " + tableName + u" values(";
    for (size_t i = 0; i < valueCount; ++i) sql += i == 0 ? u"?" : u",?";
    sql += u")";
    Prepared prepared;
    bool refused = false;
    const std::string sql8 = connection_.utf16() ? std::string() : Utf16ToUtf8(sql);
    prepared.stmt = connection_.Prepare(StatementKind::Insert, sql8, sql, prepared.failure, refused);
    connection_.guard().checking = false;
    if (prepared.stmt != nullptr &&
        static_cast<size_t>(sqlite3_bind_parameter_count(prepared.stmt)) != valueCount) {
      // The table name itself brought parameters or took some away.
      sqlite3_finalize(prepared.stmt);
      prepared.stmt = nullptr;
      prepared.failure = RefusalLine(StatementKind::Insert, u"the table name changes its values");
    }
    return statements_.emplace(valueCount, std::move(prepared)).first->second;
  }

  void Bind(sqlite3_stmt* stmt, const std::vector<RecordValue>& values) {
    if (text8_.size() < values.size()) text8_.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      const int param = static_cast<int>(i + 1);
      const RecordValue& value = values[i];
      switch (value.kind) {
        case RecordValue::Kind::Null:
          sqlite3_bind_null(stmt, param);
          break;
        case RecordValue::Kind::Integer:
          sqlite3_bind_int64(stmt, param, value.integer);
          break;
        case RecordValue::Kind::Real:
          sqlite3_bind_double(stmt, param, value.real);
          break;
        case RecordValue::Kind::Text:
          if (value.form != TextForm::Utf8) {
            // UTF-16 bytes go in as they are; the library converts them
            // when the database's own encoding differs.
            sqlite3_bind_text64(stmt, param, value.text.data(), value.text.size(), SQLITE_STATIC,
                                value.form == TextForm::Utf16be ? SQLITE_UTF16BE : SQLITE_UTF16LE);
          } else {
            const std::string_view utf8 = TextAsUtf8(value, text8_[i]);
            sqlite3_bind_text64(stmt, param, utf8.data(), utf8.size(), SQLITE_STATIC, SQLITE_UTF8);
          }
          break;
        case RecordValue::Kind::Blob:
          if (value.blob.empty()) {
            sqlite3_bind_zeroblob(stmt, param, 0);  // an empty blob, not NULL
          } else {
            sqlite3_bind_blob64(stmt, param, value.blob.data(), value.blob.size(), SQLITE_STATIC);
          }
          break;
      }
    }
  }

  void RecordFailed(const std::u16string& line) {
    host_.WriteOutputLine(line);
    uint64_t& rows = host_.Settings().rowsInserted;
    if (rows > 0) --rows;
  }

  // Some failures (a full disk, an I/O error) roll the whole transaction
  // back: the records of the open batch are then gone and no longer count.
  void NoticeRolledBackBatch() {
    if (!inTransaction_ || sqlite3_get_autocommit(connection_.db()) == 0) return;
    inTransaction_ = false;
    LoseBatch(u"the transaction was rolled back");
  }

  void LoseBatch(const std::u16string& why) {
    if (batchSucceeded_ > 0) {
      host_.WriteOutputLine(u"Error: " + U16Number(static_cast<unsigned long long>(batchSucceeded_)) +
                            u" records were not saved: " + why);
      uint64_t& rows = host_.Settings().rowsInserted;
      rows = rows > batchSucceeded_ ? rows - batchSucceeded_ : 0;
    }
    batchSucceeded_ = 0;
    batchRecords_ = 0;
  }

  void Begin() {
    std::u16string error;
    inTransaction_ = connection_.RunOwn("BEGIN", &error);
    if (!inTransaction_) host_.WriteOutputLine(u"Error: " + error);
    batchSucceeded_ = 0;
    batchRecords_ = 0;
  }

  void Commit() {
    std::u16string error;
    inTransaction_ = false;
    if (connection_.RunOwn("COMMIT", &error)) {
      batchSucceeded_ = 0;
      batchRecords_ = 0;
      return;
    }
    host_.WriteOutputLine(u"Error: " + error);
    if (sqlite3_get_autocommit(connection_.db()) == 0) connection_.RunOwn("ROLLBACK");
    LoseBatch(u"the commit failed");
  }

  EngineHost& host_;
  RepairedConnection& connection_;
  std::u16string tableName_;
  std::map<size_t, Prepared> statements_;
  std::vector<std::string> text8_;
  bool inTransaction_ = false;
  uint64_t batchSucceeded_ = 0;  // records of the open batch that went in
  uint64_t batchRecords_ = 0;    // records of the open batch, failed ones included
};

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
    const bool usable = utf16 ? Usable(n, model.tableStatements16) : Usable(n, model.tableStatements8);
    host.Settings().saveMode = 2;

    RepairedConnection connection(host, utf16);
    if (!connection.Open(outputPath) || !usable) continue;
    const bool created =
        utf16 ? connection.ExecuteSchemaStatement(StatementKind::CreateTable, {},
                                                  model.tableStatements16[n] + u");")
              : connection.ExecuteSchemaStatement(StatementKind::CreateTable,
                                                  model.tableStatements8[n] + ");", {});
    if (!created || !Usable(n, model.tableDescriptors)) continue;

    const TableDescriptorParts parts = ParseTableDescriptor(model.tableDescriptors[n]);
    ScanSettings& settings = host.Settings();
    settings.rowsInserted = 0;
    const uint64_t rows = engine.CountTableRows(settings.inputPath, parts.rootPage);
    host.WriteOutputLine(u"Table " + parts.tableName + u" contain " +
                         U16Number(static_cast<unsigned long long>(rows)) + u" rows");
    {
      TableRecordWriter writer(host, connection);
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
