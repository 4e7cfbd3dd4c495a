#include "core/sqlite_base.h"

namespace korvel {

sqlite_base::~sqlite_base() = default;
bool sqlite_base::SaveRecovered(const std::string&) { return true; }
void sqlite_base::Scan(const std::string&) {}
void sqlite_base::LoadTableRecords(const std::string&, int64_t, int, const std::u16string&, int) {}
uint64_t sqlite_base::CountCheckedEntries() { return 0; }
std::u16string sqlite_base::MapType(std::u16string) { return {}; }
bool sqlite_base::IsKnownType(std::u16string) { return true; }
void sqlite_base::Reserved(const std::string&, int64_t, int, const std::u16string&, int) {}
uint64_t sqlite_base::CountTableRows(const std::string&, int64_t) { return 0; }
std::u16string sqlite_base::CleanName(std::u16string) { return {}; }

}  // namespace korvel
