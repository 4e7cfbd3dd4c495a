// The Save command: the engine writes the checked objects into the repaired
// database on a worker thread, with the busy flag set and the progress bar
// shown. The engine asks before it replaces an existing repaired database.

#include "app/main_frame.h"
#include "app/window_host.h"
#include "app/xhtml_tree.h"

namespace korvel::app {

void CMainFrame::OnSave() {
  if (closing_) return;
  if (tree_->Tree().GetCheckedCount() == 0) {
    Message(QStringLiteral("Please select folder to save data."));
    return;
  }
  if (Busy()) {
    Message(QStringLiteral("Please wait for the running process."));
    return;
  }
  if (database_.engine == nullptr && !WorkerRunning()) return;
  SetBusy(true);
  WhenWorkerIdle([this] { BeginSave(); });
}

void CMainFrame::BeginSave() {
  if (database_.engine == nullptr) {
    SetBusy(false);
    return;
  }
  stop_ = false;
  host_->SetProgressPos(0);
  SetProgressShown(true);
  StartWorker(
      [this] {
        database_.engine->SaveRecovered(settings_.inputPath);
        host_->FlushRows();
        settings_.saveMode = 0;
      },
      [this] {
        stop_ = false;
        SetProgressShown(false);
        SetBusy(false);
      });
}

}  // namespace korvel::app
