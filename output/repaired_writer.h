#pragma once
// The repaired database writer: creates the repaired database with the
// SQLite 3 library and fills it with the checked objects of the tree.
// Everything it executes comes from a damaged, possibly crafted file, so each
// statement must be exactly one statement of the expected kind.
//
// Each object (table with its records, index, view, trigger) gets one
// connection of its own. The records of a table go through one prepared
// INSERT with their values bound by type, inside transactions committed at
// the end of the table and every kRecordsPerCommit records.

#include <cstdint>
#include <string>

#include "core/engine_host.h"
#include "core/sqlite_base.h"

namespace korvel {

inline constexpr uint64_t kRecordsPerCommit = 50000;

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

// The whole save of the checked objects, shared by the engines'
// SaveRecovered: logs "Creating Database" and the entry total, asks before
// replacing an existing repaired database, writes tables, indexes, views and
// triggers group by group with a summary line after each, clears the record
// rows and sets saveMode back to 0. False when the user declined to replace
// the existing file, or the output would be the damaged file itself or is
// not a file (nothing is written then).
bool SaveCheckedObjects(EngineHost& host, sqlite_base& engine);

// The overwrite question of the save.
std::u16string OverwriteQuestion(const std::string& outputPath);

}  // namespace korvel
