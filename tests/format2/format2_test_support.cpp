#include "tests/format2/format2_test_support.h"

#include "core/database_detection.h"
#include "core/text_codec.h"

namespace korvel::testing::format2 {

std::unique_ptr<Session> ScanFile(const std::string& path) {
  auto session = std::make_unique<Session>();
  const DetectionResult detected = DetectDatabaseFile(path);
  ScanSettings& s = session->host.settings;
  s.inputPath = path;
  s.version = detected.version;
  s.startOffset = detected.startOffset;
  s.pageSize = detected.pageSize;
  s.utf8Chosen = detected.utf8Chosen;
  s.utf16Chosen = detected.utf16Chosen;
  session->outcome = RunScanWorker(
      session->host,
      [](int version) -> std::unique_ptr<sqlite_base> {
        if (version == 1) return std::make_unique<sqlite_ver2>();
        return nullptr;
      },
      session->database);
  return session;
}

TableDescriptorParts TableParts(Session& session, size_t table) {
  return ParseTableDescriptor(session.engine().model.tableDescriptors.at(table));
}

int FindTable(Session& session, const std::u16string& name) {
  const auto& descriptors = session.engine().model.tableDescriptors;
  for (size_t i = 0; i < descriptors.size(); ++i) {
    if (ParseTableDescriptor(descriptors[i]).tableName == name) return static_cast<int>(i);
  }
  return -1;
}

std::vector<RecordRow> Preview(Session& session, size_t table) {
  const TableDescriptorParts parts = TableParts(session, table);
  session.host.rows.clear();
  session.engine().engineProgressCounter = 0;
  session.host.settings.saveMode = 0;
  session.engine().LoadTableRecords(session.host.settings.inputPath, parts.rootPage,
                                    static_cast<int>(parts.columnNames.size()), parts.tableName,
                                    parts.keyColumnMarker);
  return session.host.rows;
}

std::vector<std::vector<RecordValue>> SaveModeRecords(Session& session, size_t table) {
  const TableDescriptorParts parts = TableParts(session, table);
  CollectingTarget target;
  sqlite_ver2& engine = session.engine();
  engine.insertTarget = &target;
  session.host.settings.saveMode = 2;
  session.host.settings.rowsInserted = 0;
  const size_t rowsBefore = session.host.rows.size();
  engine.LoadTableRecords(session.host.settings.inputPath, parts.rootPage,
                          static_cast<int>(parts.columnNames.size()), parts.tableName,
                          parts.keyColumnMarker);
  engine.insertTarget = nullptr;
  session.host.settings.saveMode = 0;
  // Save mode streams: nothing goes to the record list.
  if (session.host.rows.size() != rowsBefore) return {};
  return target.records;
}

std::vector<std::string> GroupTexts(Session& session, TreeItem group) {
  std::vector<std::string> texts;
  TreeOps& tree = session.host.tree;
  for (TreeItem item = tree.GetChildItem(group); item != kNoItem;
       item = tree.GetNextSiblingItem(item)) {
    texts.push_back(Utf16ToUtf8(tree.GetItemText(item)));
  }
  return texts;
}

std::string ValueText(const RecordValue& value) {
  switch (value.kind) {
    case RecordValue::Kind::Null:
      return "<null>";
    case RecordValue::Kind::Integer:
      return std::to_string(value.integer);
    case RecordValue::Kind::Text:
      return Utf16ToUtf8(TextCharacters(value));
    default:
      return "<other>";
  }
}

}  // namespace korvel::testing::format2
