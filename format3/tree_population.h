#pragma once
// Fills the object tree from the statement lists after a format-3 scan: one
// item per object name under its group, named from the statement itself,
// with the index of its entry in the kind's list as item data.

#include <optional>
#include <string>
#include <string_view>

#include "core/engine_host.h"
#include "core/recovered_model.h"
#include "format3/statement_parser.h"

namespace korvel {

enum class ObjectKind { Table = 0, Index = 1, View = 2, Trigger = 3 };

// The name of an object as its statement gives it, starting right after the
// kind's keyword ("TABLE", "INDEX", "VIEW", "TRIGGER", letter case ignored):
//   table, index  up to the first "(": " t1 " for "CREATE TABLE t1 (",
//                 " i1 ON t1" for "CREATE INDEX i1 ON t1("
//   view          up to the first blank followed by "as" (not the blank
//                 right after the keyword): " vw" for "CREATE VIEW vw AS ..."
//   trigger       leading blanks dropped, up to the next blank: "g1"
// Nothing when the statement does not hold the keyword.
std::optional<std::u16string> ObjectNameFromStatement(std::u16string_view statement,
                                                      ObjectKind kind);

// After a UTF-8 scan every name gets one item, at the top of its group,
// referring to the name's last entry; the name maps collect every entry's
// index. After a UTF-16 scan tables, views and triggers get one item per
// entry, appended in the order last entry to first; indexes are grouped by
// name as after a UTF-8 scan. Then the groups are expanded.
void PopulateObjectTree(EngineHost& host, const RecoveredModel& model, TextPass pass);

}  // namespace korvel
