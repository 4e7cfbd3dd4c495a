#pragma once
// The repaired database writer: creates the repaired database with the
// SQLite 3 library and fills it with the checked objects of the tree.
// Everything it executes comes from a damaged, possibly crafted file, so each
// statement must be exactly one statement of the expected kind.

#include <string>

#include "core/engine_host.h"
#include "core/sqlite_base.h"

namespace korvel {

// The damaged file's folder (up to and including its last "/") + "Repaired_"
// + its file name.
std::string MakeRepairedPath(const std::string& inputPath);

// The path the save writes to: the host's override when set, else
// MakeRepairedPath of the input path.
std::string RepairedPathFor(const ScanSettings& settings);

// Writes every checked table under the TABLES group: its CREATE TABLE
// statement, then its records through the engine's LoadTableRecords in save
// mode (the writer sets engine.insertTarget meanwhile).
void WriteTables(EngineHost& host, sqlite_base& engine, TreeItem tablesGroup,
                 const std::string& outputPath);

// Writes every checked index, view or trigger of a group; groupKind is the
// group's item data (-3 indexes, -4 views, -5 triggers).
void WriteSchemaObjects(EngineHost& host, sqlite_base& engine, TreeItem group,
                        const std::string& outputPath, int groupKind);

}  // namespace korvel
