#include "format2/sqlite_ver2.h"

#include "output/column_types.h"

namespace korvel {

// The type and name rules are shared by both engines.
std::u16string sqlite_ver2::MapType(std::u16string declaredType) {
  return korvel::MapType(std::move(declaredType));
}

bool sqlite_ver2::IsKnownType(std::u16string type) { return korvel::IsKnownType(std::move(type)); }

std::u16string sqlite_ver2::CleanName(std::u16string name) {
  return korvel::CleanName(std::move(name));
}

}  // namespace korvel
