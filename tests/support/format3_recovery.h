#pragma once
// The whole format-3 recovery of a file as the application runs it: the
// file selection's detection, the scan worker, previews of single tables
// and the save of every object. For test programs that link the format-3
// engine and the writer.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/database_detection.h"
#include "core/object_tree.h"
#include "core/scan_worker.h"
#include "core/text_codec.h"
#include "format3/sqlite_ver3.h"
#include "tests/support/recording_host.h"
#include "tests/support/typed_rows.h"

namespace korvel::testing {

struct Format3Recovery {
  // adjust: changes to the detected settings before the scan (the user's
  // choices in the file selection).
  explicit Format3Recovery(const std::string& path,
                           const std::function<void(ScanSettings&)>& adjust = {}) {
    detected = DetectDatabaseFile(path);
    ScanSettings& s = host.settings;
    s.inputPath = path;
    ApplyDetection(detected, s);
    if (adjust) adjust(s);
    outcome = RunScanWorker(
        host,
        [](int version) -> std::unique_ptr<sqlite_base> {
          if (version == 2) return std::make_unique<sqlite_ver3>();
          return nullptr;
        },
        database);
  }

  sqlite_base& engine() { return *database.engine; }

  // Checks every object of the tree and saves.
  bool Save() {
    host.tree.SetCheck(host.tree.GetRootItem(), 1);
    return database.engine->SaveRecovered(host.settings.inputPath);
  }

  // The descriptor of the table whose name, blanks trimmed, is name.
  TableDescriptorParts Table(const std::u16string& name) {
    for (const std::u16string& d : engine().model.tableDescriptors) {
      TableDescriptorParts parts = ParseTableDescriptor(d);
      if (TrimBlanks(parts.tableName) == name) return parts;
    }
    ADD_FAILURE() << "no table " << U8(name);
    return {};
  }

  // Previews a table as the preview worker does; the rows shown.
  std::vector<std::vector<std::string>> Preview(const std::u16string& name) {
    const TableDescriptorParts parts = Table(name);
    host.rows.clear();
    host.settings.saveMode = 0;
    engine().engineProgressCounter = 0;
    engine().LoadTableRecords(host.settings.inputPath, parts.rootPage,
                              static_cast<int>(parts.columnNames.size()), parts.tableName,
                              parts.keyColumnMarker);
    std::vector<std::vector<std::string>> out;
    for (const RecordRow& row : host.rows) out.push_back(U8(row));
    return out;
  }

  DetectionResult detected;
  RecordingHost host;
  OpenDatabase database;
  ScanOutcome outcome = ScanOutcome::NoReader;
};

// What the record list shows for a value read back from a database.
inline std::string ShownText(const Cell& c) {
  switch (c.type) {
    case SQLITE_NULL: return "NULL";
    case SQLITE_INTEGER: return std::to_string(c.integer);
    case SQLITE_FLOAT: {
      char b[512];
      std::snprintf(b, sizeof b, "%lf", c.real);
      return b;
    }
    case SQLITE_BLOB: return "< Blob Data >";
    default: {
      std::string t = U8(c.text);
      for (size_t i = 0; (i = t.find('\'', i)) != std::string::npos; i += 2) t.insert(i, "'");
      return t;
    }
  }
}

// The rows of a query as the record list would show them.
inline std::vector<std::vector<std::string>> ShownRows(const std::string& path,
                                                       const std::string& query) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& row : ReadCells(path, query)) {
    std::vector<std::string> shown;
    for (const Cell& c : row) shown.push_back(ShownText(c));
    rows.push_back(shown);
  }
  return rows;
}

}  // namespace korvel::testing
