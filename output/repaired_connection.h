#pragma once
// One connection to the repaired database, and the guard that lets through
// nothing but the one statement of the expected kind.
//
// Every text executed against the repaired database comes from the damaged
// file. Each one is compiled with an authorizer that allows exactly one kind
// of statement (the expected action code) plus the reads, selects and
// functions such a statement may contain; creating an object may also write
// the schema table. Anything else (ATTACH, DETACH, PRAGMA, transactions,
// other statement kinds) is denied. After compiling, the rest of the text
// must hold nothing but blanks, comments and empty statements.

#include <sqlite3.h>

#include <string>

#include "core/engine_host.h"

namespace korvel::repaired {

// The page size of a new repaired database. Larger pages than the library's
// 4 KiB mean fewer pages to split, write and sort through, whatever page
// size the damaged file had.
inline constexpr int kRepairedPageSize = 16384;

enum class StatementKind { CreateTable, CreateIndex, CreateView, CreateTrigger, Insert };

struct StatementGuard {
  bool checking = false;  // off while the writer runs its own statements
  int expectedAction = 0;
  bool sawExpected = false;
  int deniedAction = 0;  // the first action denied, 0 when none

  void Arm(StatementKind kind);
};

// "Error: refused a text that is not a single <KIND> statement (<reason>)".
std::u16string RefusalLine(StatementKind kind, const std::u16string& reason);

// The library's last message on the connection.
std::u16string LibraryMessage(sqlite3* db);

class RepairedConnection {
 public:
  RepairedConnection(EngineHost& host, bool utf16) : host_(host), utf16_(utf16) {}
  ~RepairedConnection();
  RepairedConnection(const RepairedConnection&) = delete;
  RepairedConnection& operator=(const RepairedConnection&) = delete;

  bool utf16() const { return utf16_; }
  sqlite3* db() const { return db_; }
  StatementGuard& guard() { return guard_; }

  // Opens (and creates) the database; logs "Error: " + message on failure.
  bool Open(const std::string& path);

  // The writer's own statements (transactions, settings), with the guard
  // off. On failure sets *error (when given) to the library's message.
  bool RunOwn(const char* sql, std::u16string* error = nullptr);

  // Compiles text as one statement of the kind. On failure returns null and
  // sets failure to the line to log: the library's message when the library
  // rejected the statement, or a refusal line when the guard did.
  sqlite3_stmt* Prepare(StatementKind kind, const std::string& text8, const std::u16string& text16,
                        std::u16string& failure, bool& refused);

  // Executes one schema statement of the kind; logs "Error: " + the reason
  // when it is refused or fails (unless told not to). True when it ran to
  // its end.
  bool ExecuteSchemaStatement(StatementKind kind, const std::string& text8,
                              const std::u16string& text16, bool logFailure = true);

 private:
  EngineHost& host_;
  bool utf16_;
  sqlite3* db_ = nullptr;
  StatementGuard guard_;
};

}  // namespace korvel::repaired
