// The rows of a format-2.1 table: counting them, and reading each one from
// the table's b-tree for the record list (preview) or the repaired database
// (save). Every value of a format-2.1 record is text; an empty field is NULL,
// and the table's INTEGER PRIMARY KEY column is stored empty with its value
// in the cell key, the row number.

#include <algorithm>

#include "core/text_codec.h"
#include "format2/format2_layout.h"
#include "format2/sqlite_ver2.h"

namespace korvel {

using namespace format2;

uint64_t sqlite_ver2::CountTableRows(const std::string&, int64_t rootPage) {
  if (owner == nullptr || rootPage <= 0) return 0;
  const ScanSettings& settings = owner->Settings();
  const PageFile file(settings.reader, HeaderPositionFromStartOffset(settings.startOffset));
  TreeWalker walker(file);
  uint64_t count = 0;
  walker.Walk(static_cast<uint64_t>(rootPage), [&](const PageBytes&, const Cell& cell) {
    // A cell without record bytes holds no row (see LoadTableRecords).
    if (cell.dataLength == 0) return true;
    ++count;
    ++engineProgressCounter;
    return true;
  });
  return count;
}

void sqlite_ver2::LoadTableRecords(const std::string& inputPath, int64_t rootPage,
                                   int columnCount, const std::u16string& tableName,
                                   int keyColumnMarker) {
  if (owner == nullptr) return;
  EngineHost& host = *owner;
  if (host.StopRequested()) return;
  ScanSettings& settings = host.Settings();
  const bool saving = settings.saveMode == 2;
  const size_t columns = columnCount > 0 ? static_cast<size_t>(columnCount) : 0;
  const long keyColumn = keyColumnMarker >= 10 ? keyColumnMarker - 10 : -1;

  uint64_t total = 0;
  if (!saving && engineProgressCounter == 0) {
    total = CountTableRows(inputPath, rootPage);
    host.WriteOutputLine(u"Table " + tableName + u"have" + U16Number(static_cast<unsigned long long>(total)) + u" entry");
    engineProgressCounter = 1;
    host.SetProgressRange(total);
  }
  if (rootPage <= 0) return;

  const PageFile file(settings.reader, HeaderPositionFromStartOffset(settings.startOffset));
  TreeWalker walker(file);
  walker.beforePage = [&host] { return !host.StopRequested(); };
  uint64_t damagedRecords = 0;

  walker.Walk(static_cast<uint64_t>(rootPage), [&](const PageBytes& page, const Cell& cell) {
    const Payload payload = ReadPayload(file, page, cell);
    const int64_t rowNumber = RowNumber(payload);
    const std::vector<RecordField> fields =
        DecodeRecord(payload.Record(), payload.recordLength, columns);
    if (payload.damaged || fields.size() < columns) ++damagedRecords;
    // A cell without a readable record header holds no row (a page cut
    // short or zero-filled); it is skipped, not shown as an empty row.
    if (fields.empty() && columns > 0) return !host.StopRequested();

    if (saving) {
      std::vector<RecordValue> values;
      values.reserve(fields.size());
      for (size_t c = 0; c < fields.size(); ++c) {
        if (!fields[c].null) {
          values.push_back(RecordValue::Text(DecodeDatabaseText8(fields[c].text)));
        } else if (static_cast<long>(c) == keyColumn) {
          values.push_back(RecordValue::Integer(rowNumber));
        } else {
          values.push_back(RecordValue::Null());
        }
      }
      ++settings.rowsInserted;
      if (insertTarget != nullptr) insertTarget->ExecuteRecordInsert(tableName, values);
      host.SetProgressPos(settings.progressCounter);
      ++settings.progressCounter;
    } else {
      RecordRow row;
      row.reserve(columns);
      for (size_t c = 0; c < fields.size(); ++c) {
        if (!fields[c].null) {
          row.push_back(DoubleSingleQuotes(DecodeDatabaseText8(fields[c].text)));
        } else if (static_cast<long>(c) == keyColumn) {
          row.push_back(U16Number(static_cast<long long>(rowNumber)));
        } else {
          row.push_back(u"NULL");
        }
      }
      row.resize(std::max(row.size(), columns));
      host.AddRecordRow(std::move(row));
      host.SetProgressPos(engineProgressCounter);
      ++engineProgressCounter;
    }
    if (host.StopRequested()) {
      host.SetProgressPos(saving ? settings.progressCounter : total);
      return false;
    }
    return true;
  });

  damagedLinks = walker.damagedLinks();
  if (damagedLinks > 0 || damagedRecords > 0) {
    host.WriteOutputLine(u"Table " + tableName +
                         u": damaged pages or records were met; some rows may be missing or "
                         u"incomplete");
  }
}

}  // namespace korvel
