#pragma once
// Running the format-2.1 engine in tests as the application does: detection,
// the scan worker, previews of a table and reads in save mode.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/record_value.h"
#include "core/scan_worker.h"
#include "format2/sqlite_ver2.h"
#include "tests/support/recording_host.h"

namespace korvel::testing::format2 {

struct Session {
  RecordingHost host;
  OpenDatabase database;
  ScanOutcome outcome = ScanOutcome::NoReader;
  sqlite_ver2& engine() { return static_cast<sqlite_ver2&>(*database.engine); }
};

// Detects the header and runs the scan worker with a sqlite_ver2 engine.
std::unique_ptr<Session> ScanFile(const std::string& path);

// A table of the scan by its index in the descriptors.
TableDescriptorParts TableParts(Session& session, size_t table);
// The index of the table descriptor whose name is `name` (-1 when none).
int FindTable(Session& session, const std::u16string& name);

// A preview of the table: the record list's rows.
std::vector<RecordRow> Preview(Session& session, size_t table);

class CollectingTarget final : public RecordInsertTarget {
 public:
  void ExecuteRecordInsert(const std::u16string& tableName,
                           const std::vector<RecordValue>& values) override {
    names.push_back(tableName);
    records.push_back(values);
  }
  std::vector<std::u16string> names;
  std::vector<std::vector<RecordValue>> records;
};

// The records that a save of the table hands to the repaired database.
std::vector<std::vector<RecordValue>> SaveModeRecords(Session& session, size_t table);

// The texts of a group's children, in tree order.
std::vector<std::string> GroupTexts(Session& session, TreeItem group);

// A value as the fixtures' JSON writes it: the text, or "<null>".
std::string ValueText(const RecordValue& value);

}  // namespace korvel::testing::format2
