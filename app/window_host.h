#pragma once
// The window's side of the engine interface. Engines and workers call it
// from their worker thread; everything that touches a widget runs on the
// user-interface thread:
//   - output lines, the caption, tree operations and messages are blocking
//     queued calls (the worker waits for each);
//   - records are collected on the worker and handed over in batches of at
//     most kBatchMilliseconds of work, with at most kBatchesInFlight batches
//     waiting at a time, so a million rows stream in while the event loop
//     stays free;
//   - progress values are stored atomically and applied by a timer of the
//     window (ApplyProgress).
// Every blocking call first hands over the rows collected so far, so rows,
// lines and tree changes reach the window in the order they were made.

#include <QPointer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/record_list_model.h"
#include "app/ui_dispatcher.h"
#include "core/engine_host.h"

class QProgressBar;
class QWidget;

namespace korvel::app {

class CXHtmlTree;
class MessageService;

// What the host reaches in the window; all used on the user-interface thread.
struct WindowParts {
  QWidget* owner = nullptr;  // owner of message boxes
  MessageService* messages = nullptr;
  CXHtmlTree* tree = nullptr;
  RecordListModel* records = nullptr;
  QProgressBar* progress = nullptr;
  std::function<void(const QString&)> writeOutputLine;
  std::function<void(const QString&)> setCaptionText;
};

class WindowHost final : public EngineHost {
 public:
  static constexpr int kBatchMilliseconds = 30;
  static constexpr int kBatchesInFlight = 4;
  static constexpr size_t kBatchMaxRows = 65536;

  WindowHost(UiDispatcher& dispatcher, WindowParts parts, ScanSettings& settings,
             std::atomic<bool>& stopRequest);
  ~WindowHost() override;

  void WriteOutputLine(const std::u16string& text) override;
  void SetCaptionText(const std::u16string& text) override;
  void SetProgressRange(uint64_t upper) override;
  void SetProgressPos(uint64_t position) override;
  void SetProgressVisible(bool visible) override;
  MessageAnswer ShowMessage(const std::u16string& text, const std::u16string& caption,
                            MessageButtons buttons, MessageIcon icon) override;
  TreeOps& Tree() override;
  void AddRecordRow(RecordRow row) override;
  void ClearRecordRows() override;
  uint64_t RecordRowCount() override;
  bool StopRequested() override { return stop_.load(); }
  ScanSettings& Settings() override { return settings_; }

  // Hands the collected rows to the window (any thread).
  void FlushRows();
  // Runs f on the user-interface thread after the collected rows; waits.
  void OnUi(const std::function<void()>& f);
  // User-interface thread: shows the stored progress values.
  void ApplyProgress();
  // User-interface thread, when the window goes away: wakes a waiting worker.
  void Abandon();

 private:
  class MarshalledTree;

  UiDispatcher& dispatcher_;
  WindowParts parts_;
  ScanSettings& settings_;
  std::atomic<bool>& stop_;
  std::unique_ptr<MarshalledTree> tree_;

  // Rows collected by the worker and not yet handed over.
  RowBatch pending_;
  std::atomic<uint64_t> rowCount_{0};
  uint32_t sinceClockCheck_ = 0;
  std::chrono::steady_clock::time_point lastFlush_ = std::chrono::steady_clock::now();
  std::mutex flowMutex_;
  std::condition_variable flowWake_;
  int inFlight_ = 0;
  bool abandoned_ = false;

  std::atomic<uint64_t> progressUpper_{100};
  std::atomic<uint64_t> progressPos_{0};
};

}  // namespace korvel::app
