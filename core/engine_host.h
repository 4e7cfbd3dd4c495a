#pragma once
// What a recovery engine needs of the application that runs it. The desktop
// window implements it (marshalling to its user-interface thread), the
// command-line tool implements it on a terminal, and tests implement it with
// scripted answers. Engines never open a window themselves.

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/tree_ops.h"

namespace korvel {

class Reader;

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Information, Exclamation, Question };
enum class MessageAnswer { Ok, Yes, No };

// The fifth group of the tree, after the four of the scan worker.
inline constexpr int32_t kDeletedGroupData = -6;
inline constexpr char16_t kDeletedGroupText[] = u"DELETED RECORDS  ";
// The table of an item of that group ends with three columns (page, offset,
// source) telling where each record was found; the record list shows them
// as one first column of this title.
inline constexpr int kDeletedLocationColumns = 3;
inline constexpr char16_t kDeletedLocationTitle[] = u"found at";

// The shared state of one open database, owned by the application and read
// and written by the engine that works on it. One worker uses it at a time.
struct ScanSettings {
  std::string inputPath;
  int version = 0;           // 1 format 2.1, 2 format 3
  uint64_t startOffset = 0;  // header position + 1 until the format-3 scan makes it the position
  uint64_t pageSize = 0;
  uint64_t pageCount = 0;
  Reader* reader = nullptr;  // not owned
  bool utf8Chosen = false;
  bool utf16Chosen = false;
  // The file has no header: the database starts at position 0 and the scan
  // reads it as if its header named the page size above, no reserved bytes
  // and this text encoding (1 UTF-8, 2 UTF-16le, 3 UTF-16be).
  bool headerRebuilt = false;
  uint8_t rebuiltTextEncoding = 0;

  TreeItem tablesGroup = kNoItem;
  TreeItem indexesGroup = kNoItem;
  TreeItem viewsGroup = kNoItem;
  TreeItem triggersGroup = kNoItem;
  // "DELETED RECORDS  ": made by the scan only when it carved any.
  TreeItem deletedGroup = kNoItem;

  // The passes after the b-tree walk: table-leaf pages that no table
  // reaches, and records carved out of free space and freelist pages.
  bool recoverOrphans = true;
  bool recoverDeleted = true;

  uint64_t progressCounter = 0;  // position of the save's progress
  uint64_t rowsInserted = 0;     // records of the current table that the save wrote
  int saveMode = 0;              // 0 previewing, 2 saving
  bool scanFlag = false;

  // When not empty, the repaired database goes here instead of beside the
  // damaged file.
  std::string outputPathOverride;

  // Per kind (tables, indexes, views, triggers): object name to the indexes
  // of the statements that carry it.
  std::array<std::map<std::u16string, std::vector<int>>, 4> nameMaps;
};

// One record as shown in the record list: a display text per column.
using RecordRow = std::vector<std::u16string>;

class EngineHost {
 public:
  virtual ~EngineHost() = default;

  // Called from the worker thread, often once per record: every call here
  // must be cheap (a window host coalesces progress and batches rows).

  // One line of the output pane and the log file.
  virtual void WriteOutputLine(const std::u16string& text) = 0;
  virtual void SetCaptionText(const std::u16string& text) = 0;

  virtual void SetProgressRange(uint64_t upper) = 0;
  virtual void SetProgressPos(uint64_t position) = 0;
  // Shows or hides the progress bar; a host without one ignores it.
  virtual void SetProgressVisible(bool visible) {}

  // A modal message or question; blocks the calling worker until answered.
  virtual MessageAnswer ShowMessage(const std::u16string& text, const std::u16string& caption,
                                    MessageButtons buttons, MessageIcon icon) = 0;

  virtual TreeOps& Tree() = 0;

  // The record list: rows arrive in file order.
  virtual void AddRecordRow(RecordRow row) = 0;
  virtual void ClearRecordRows() = 0;
  virtual uint64_t RecordRowCount() = 0;

  virtual bool StopRequested() = 0;
  virtual ScanSettings& Settings() = 0;
};

}  // namespace korvel
