#pragma once
// The parser of the table and index statements found in the schema records
// of a format-3 file. It walks the text character by character, without a
// grammar, so that statements that are damaged or run on into other bytes
// still give what they hold. In a UTF-8 scan a character is a byte; in a
// UTF-16 scan it is a 16-bit unit.
//
// Per table it appends, at one shared index, the statement text (up to the
// parenthesis that closes the column list), the table descriptor, a create
// statement rebuilt with clean names and mapped types, and the column types.
// Per index it appends one statement text for each indexed column.
//
// Every forward move is bounded by the text: a move that passes the end of
// the text reports "File is corrupted" and the statement is dropped (nothing
// of it stays in the lists). The one exception, in a UTF-8 file, is a column
// list that ends with a "unique" item and no parenthesis after it: the table
// is still stored, its text kept up to its last ")".

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/engine_host.h"
#include "core/sqlite_base.h"

namespace korvel {

enum class TextPass { Utf8, Utf16 };

// Message texts of the schema scan.
inline constexpr char16_t kFileIsCorrupted[] = u"File is corrupted";
inline constexpr char16_t kNoStatementFound[] =
    u"Endian descriptor is corrupted or file is corrupted";
inline constexpr char16_t kErrorInReading[] = u"Error in reading";
inline constexpr char16_t kContentNotInForm[] =
    u"The Database content is not in its appropriate form";
inline constexpr char16_t kFileCorruptedCaption[] = u"File_Corrupted";
inline constexpr char16_t kWrongFile[] = u"you choose the wrong file please choose again";
inline constexpr char16_t kFormatNotSupportedCaption[] = u"File_Format_Not_Supported";
inline constexpr char16_t kPageSizeInvalid[] = u"The Database page_size is invalid";
inline constexpr char16_t kPageSizeErrorCaption[] = u"File_Page_Size_Error";
inline constexpr char16_t kPageSizeOrFileError[] = u"Error in page size or in file";

// Shows the messages of one scan. Damage that the scan goes past is shown
// once per distinct message and caption, so that a page full of damaged
// records does not become a stream of message boxes; every report marks the
// scan as one that met damage.
class ScanReporter {
 public:
  ScanReporter(EngineHost& host, sqlite_base& engine) : host_(host), engine_(engine) {}
  // Damage the scan goes past.
  void Damage(const std::u16string& text, const std::u16string& caption,
              MessageIcon icon = MessageIcon::None);
  // Damage without a message of its own (the completion message tells).
  void SilentDamage() { engine_.scanReportedDamage = true; }
  // An error that ends the scan.
  void Fatal(const std::u16string& text, const std::u16string& caption,
             MessageIcon icon = MessageIcon::None);
  EngineHost& Host() { return host_; }

 private:
  EngineHost& host_;
  sqlite_base& engine_;
  std::set<std::pair<std::u16string, std::u16string>> shown_;
};

struct ParseContext {
  sqlite_base& engine;  // CleanName, MapType, IsKnownType; its model receives the entries
  EngineHost& host;     // output lines
  ScanReporter& report;
  TextPass pass = TextPass::Utf8;
  bool rightMost = false;  // reading the right-most child of the schema root
};

enum class ParseResult {
  Stored,         // the entries were appended
  NothingStored,  // the statement names nothing (")" where the name should be)
  Corrupted,      // a move passed the end of the text; nothing appended
};

// A table declared WITHOUT ROWID keeps its rows in an index b-tree whose
// records hold the primary key's columns first, in key order, and then the
// other columns in declared order. Its descriptor carries no "< P.K >" marks
// (there is no rowid to put back) and, after the root page, kWithoutRowidMark
// and the key's column indexes in key order. Readers that take the root page
// as the digits after "#" are not disturbed.

// The key columns a descriptor names after its root page, in key order;
// false when it is not the descriptor of a table without rowid.
bool ParseWithoutRowidKey(const std::u16string& descriptor, std::vector<int>& keyColumns);

// text is the whole text of the schema record; start is the position of
// "CREATE TABLE" in it; rootPage the record's root page.
ParseResult ParseTableStatement(ParseContext& ctx, std::string_view text, size_t start,
                                int64_t rootPage);
ParseResult ParseTableStatement(ParseContext& ctx, std::u16string_view text, size_t start,
                                int64_t rootPage);

// start is the position of "CREATE INDEX" or "CREATE UNIQUE INDEX".
ParseResult ParseIndexStatement(ParseContext& ctx, std::string_view text, size_t start,
                                bool unique);
ParseResult ParseIndexStatement(ParseContext& ctx, std::u16string_view text, size_t start,
                                bool unique);

}  // namespace korvel
