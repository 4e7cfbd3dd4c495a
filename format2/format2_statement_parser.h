#pragma once
// The statement parser of format-2.1 schema texts. It walks a CREATE TABLE
// column list character by character, respecting parentheses and quotes, and
// appends the table's four entries at one index: the statement text for the
// repaired database (without the parenthesis that closes the column list),
// the table descriptor, the create statement rebuilt with mapped types, and
// the column types. An index text yields one entry per indexed column. Both
// accept texts that run on into garbage or stop short.
//
// Format-2 descriptors: the name up to the first blank or "(", then per
// column its name with the blank that follows it, "< P.K >" for each
// "primary key" after "INTEGER", and "~"; then "#" and the root page, e.g.
// "t1+id < P.K >~name ~#2".

#include <cstdint>
#include <string_view>

namespace korvel {
class sqlite_base;
}

namespace korvel::format2 {

// text starts at "CREATE TABLE"; it ends at its end or at a zero byte.
// Writes "Table <name> is found".
void ParseTableStatement(sqlite_base& engine, std::string_view text, uint32_t rootPage);

// text starts at "CREATE INDEX" or "CREATE UNIQUE INDEX". Writes
// "Index <name> is found" for a plain index.
void ParseIndexStatement(sqlite_base& engine, std::string_view text);

}  // namespace korvel::format2
