#pragma once
// The recovery engine interface. One engine holds everything known about one
// opened database file; sqlite_ver3 reads format-3 files, sqlite_ver2 reads
// format-2.1 files. The virtual operations keep this slot order:
//   0 destructor, 1 SaveRecovered, 2 Scan, 3 LoadTableRecords,
//   4 CountCheckedEntries, 5 MapType, 6 IsKnownType, 7 reserved,
//   8 CountTableRows, 9 CleanName.
// An engine reaches the application only through its owner (EngineHost).

#include <cstdint>
#include <string>

#include "core/engine_host.h"
#include "core/record_value.h"
#include "core/recovered_model.h"

namespace korvel {

class sqlite_base {
 public:
  virtual ~sqlite_base();
  // False when the user declined to replace an existing repaired database.
  virtual bool SaveRecovered(const std::string& inputPath);
  virtual void Scan(const std::string& inputPath);
  // keyColumnMarker: 0, or 10 + the index of the column marked "< P.K >".
  virtual void LoadTableRecords(const std::string& inputPath, int64_t rootPage, int columnCount,
                                const std::u16string& tableName, int keyColumnMarker);
  virtual uint64_t CountCheckedEntries();
  virtual std::u16string MapType(std::u16string declaredType);
  virtual bool IsKnownType(std::u16string type);
  virtual void Reserved(const std::string& inputPath, int64_t rootPage, int columnCount,
                        const std::u16string& tableName, int keyColumnMarker);
  virtual uint64_t CountTableRows(const std::string& inputPath, int64_t rootPage);
  virtual std::u16string CleanName(std::u16string name);

  EngineHost* owner = nullptr;  // set by the scan worker right after creation
  RecoveredModel model;
  uint64_t engineProgressCounter = 0;
  bool utf8Chosen = false;
  bool utf16Chosen = false;
  bool saveFlag = false;
  // Set by the table writer while a save runs; records go there in save mode.
  RecordInsertTarget* insertTarget = nullptr;
  // True when the last Scan stopped at an error it could not go past, or
  // reported damage it went past; the completion message says so.
  bool scanEndedEarly = false;
  bool scanReportedDamage = false;
};

}  // namespace korvel
