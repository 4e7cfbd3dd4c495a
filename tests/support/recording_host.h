#pragma once
// An engine host for tests: records every output line, message and progress
// call, answers questions from a script, and keeps the object tree and the
// record rows in memory.

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "core/engine_host.h"
#include "core/object_tree.h"

namespace korvel::testing {

struct RecordedMessage {
  std::u16string text;
  std::u16string caption;
  MessageButtons buttons;
  MessageIcon icon;
};

class RecordingHost : public EngineHost {
 public:
  void WriteOutputLine(const std::u16string& text) override { lines.push_back(text); }
  void SetCaptionText(const std::u16string& text) override { caption = text; }
  void SetProgressRange(uint64_t upper) override { progressRanges.push_back(upper); }
  void SetProgressPos(uint64_t position) override { progressPositions.push_back(position); }
  MessageAnswer ShowMessage(const std::u16string& text, const std::u16string& caption,
                            MessageButtons buttons, MessageIcon icon) override;
  TreeOps& Tree() override { return tree; }
  void AddRecordRow(RecordRow row) override;
  void ClearRecordRows() override { rows.clear(); }
  uint64_t RecordRowCount() override { return rows.size(); }
  bool StopRequested() override { return stop.load(); }
  ScanSettings& Settings() override { return settings; }

  // Answers for YesNo questions, taken in order; No when none is left.
  std::deque<MessageAnswer> answers;
  // When set, the stop request is raised after this many rows were added.
  long stopAfterRows = -1;

  std::vector<std::u16string> lines;
  std::vector<RecordedMessage> messages;
  std::vector<uint64_t> progressRanges;
  std::vector<uint64_t> progressPositions;
  std::vector<RecordRow> rows;
  std::u16string caption;
  std::atomic<bool> stop{false};
  ScanSettings settings;
  ObjectTree tree;

  // The message texts alone, in order.
  std::vector<std::u16string> MessageTexts() const;
};

// Readable forms for assertions.
std::string U8(const std::u16string& text);
std::vector<std::string> U8(const std::vector<std::u16string>& texts);

}  // namespace korvel::testing
