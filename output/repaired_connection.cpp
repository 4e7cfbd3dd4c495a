#include "output/repaired_connection.h"

#include "core/text_codec.h"

namespace korvel::repaired {

namespace {

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

}  // namespace

void StatementGuard::Arm(StatementKind kind) {
  checking = true;
  expectedAction = ActionOf(kind);
  sawExpected = false;
  deniedAction = 0;
}

namespace {

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

}  // namespace

std::u16string RefusalLine(StatementKind kind, const std::u16string& reason) {
  return u"Error: refused a text that is not a single " + std::u16string(NameOf(kind)) +
         u" statement (" + reason + u")";
}

namespace {

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

}  // namespace

std::u16string LibraryMessage(sqlite3* db) {
  const char* message = db ? sqlite3_errmsg(db) : nullptr;
  return Utf8ToUtf16(message ? message : "out of memory");
}

RepairedConnection::~RepairedConnection() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

bool RepairedConnection::Open(const std::string& path) {
  // The connection is used by one thread at a time (the writer thread of a
  // table takes it over and hands it back), so the library need not lock it
  // around every call.
  const int rc = sqlite3_open_v2(path.c_str(), &db_,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
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
  // Only a database still empty takes a page size.
  RunOwn(("PRAGMA page_size=" + std::to_string(kRepairedPageSize)).c_str());
  // The UTF-16 route creates a UTF-16 database (a database that exists
  // already keeps its encoding).
  if (utf16_) RunOwn("PRAGMA encoding='UTF-16'");
  return true;
}

bool RepairedConnection::RunOwn(const char* sql, std::u16string* error) {
  guard_.checking = false;
  char* message = nullptr;
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  if (rc != SQLITE_OK && error != nullptr) {
    *error = Utf8ToUtf16(message ? message : sqlite3_errstr(rc));
  }
  sqlite3_free(message);
  return rc == SQLITE_OK;
}

sqlite3_stmt* RepairedConnection::Prepare(StatementKind kind, const std::string& text8,
                                          const std::u16string& text16, std::u16string& failure,
                                          bool& refused) {
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

bool RepairedConnection::ExecuteSchemaStatement(StatementKind kind, const std::string& text8,
                                                const std::u16string& text16,
                                                bool logFailure) {
  std::u16string failure;
  bool refused = false;
  sqlite3_stmt* stmt = Prepare(kind, text8, text16, failure, refused);
  if (stmt == nullptr) {
    if (logFailure) host_.WriteOutputLine(refused ? failure : u"Error: " + failure);
    return false;
  }
  const int rc = sqlite3_step(stmt);
  bool ok = rc == SQLITE_DONE;
  if (!ok && logFailure) host_.WriteOutputLine(u"Error: " + LibraryMessage(db_));
  sqlite3_finalize(stmt);
  guard_.checking = false;
  return ok;
}

}  // namespace korvel::repaired
