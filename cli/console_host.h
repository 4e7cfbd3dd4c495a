#pragma once
// The engine host of the command-line tool: output lines and messages go to
// standard error as they are written, questions are asked on the terminal,
// progress draws a bar on a terminal, and record rows stream to a RowWriter.

#include <atomic>
#include <chrono>
#include <istream>
#include <ostream>

#include "cli/row_format.h"
#include "core/engine_host.h"
#include "core/object_tree.h"

namespace korvel::cli {

struct ConsoleSettings {
  bool quiet = false;         // only "Error" lines, questions and warnings
  bool assumeYes = false;     // -y: Yes to every question
  bool askOnTerminal = false; // standard input is a terminal
  bool progressBar = false;   // standard error is a terminal
};

class ConsoleHost final : public EngineHost {
 public:
  ConsoleHost(std::ostream& err, std::istream& in, ConsoleSettings settings,
              const std::atomic<bool>* stopRequest);

  void WriteOutputLine(const std::u16string& text) override;
  void SetCaptionText(const std::u16string&) override {}
  void SetProgressRange(uint64_t upper) override;
  void SetProgressPos(uint64_t position) override;
  void SetProgressVisible(bool visible) override;
  MessageAnswer ShowMessage(const std::u16string& text, const std::u16string& caption,
                            MessageButtons buttons, MessageIcon icon) override;
  TreeOps& Tree() override { return tree; }
  void AddRecordRow(RecordRow row) override;
  void ClearRecordRows() override { rowCount_ = 0; }
  uint64_t RecordRowCount() override { return rowCount_; }
  bool StopRequested() override { return stopRequest_ != nullptr && stopRequest_->load(); }
  ScanSettings& Settings() override { return settings_; }

  // Rows go here while set (--show); otherwise they are only counted.
  void SetRowSink(RowWriter* sink) { sink_ = sink; }
  // Removes the progress bar from the terminal.
  void ClearProgress();
  // A line of the tool itself ("korvel-recover: ...").
  void Note(const std::string& text);

  ObjectTree tree;

 private:
  void DrawProgress();

  std::ostream& err_;
  std::istream& in_;
  ConsoleSettings console_;
  const std::atomic<bool>* stopRequest_;
  ScanSettings settings_;
  RowWriter* sink_ = nullptr;
  uint64_t rowCount_ = 0;

  uint64_t range_ = 0;
  uint64_t position_ = 0;
  uint64_t calls_ = 0;
  bool barShown_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace korvel::cli
