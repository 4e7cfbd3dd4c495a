#pragma once
// Column type and name rules shared by both statement parsers and the
// Column Mapping dialog.
//   MapType      upper-cases a declared type; NVARCHAR and LONGVARCHAR become
//                "varchar", BLOB becomes "OLE Object"
//   IsKnownType  true for the fifteen accepted type names (blanks ignored)
//   CleanName    keeps letters, digits and "_" of a name (without "< P.K >")

#include <string>

namespace korvel {

std::u16string MapType(std::u16string declaredType);
bool IsKnownType(std::u16string type);
std::u16string CleanName(std::u16string name);

}  // namespace korvel
