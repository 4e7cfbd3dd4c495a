// The save of the format-3 engine: the checked objects of the tree go into
// the repaired database, tables with their records first, then indexes,
// views and triggers, with the overwrite question, progress and summary
// lines that the save shares with the format-2 engine.

#include "format3/sqlite_ver3.h"
#include "output/repaired_writer.h"

namespace korvel {

bool sqlite_ver3::SaveRecovered(const std::string&) {
  if (owner == nullptr) return true;
  return SaveCheckedObjects(*owner, *this);
}

}  // namespace korvel
