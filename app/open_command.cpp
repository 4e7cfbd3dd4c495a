// The Open command and the scan worker: the file selection dialog, the reset
// of the previous file's state, and the scan on a worker thread.

#include "app/file_setting_dialog.h"
#include "app/main_frame.h"
#include "app/output_wnd.h"
#include "app/record_area.h"
#include "app/window_host.h"
#include "app/xhtml_tree.h"

namespace korvel::app {

void CMainFrame::OnOpen() {
  if (closing_) return;
  if (Busy()) {
    Message(QStringLiteral("Please wait for the running process."));
    return;
  }
  CDravintFileSettingDlg dialog(selection_, services_, this);
  if (services_.modals->Run(dialog) != QDialog::Accepted) return;
  SetBusy(true);
  // A stopped worker may still use the engine, the reader and the tree.
  WhenWorkerIdle([this] { BeginScan(); });
}

void CMainFrame::BeginScan() {
  database_ = OpenDatabase();
  for (auto& map : settings_.nameMaps) map.clear();

  settings_.inputPath = selection_.inputPath;
  outputWnd_->ResetLineIndex();
  settings_.version = selection_.version;
  settings_.startOffset = selection_.startOffset;
  settings_.pageSize = selection_.pageSize;
  settings_.pageCount = selection_.pageCount;
  settings_.utf8Chosen = selection_.utf8Chosen;
  settings_.utf16Chosen = selection_.utf16Chosen;
  settings_.headerRebuilt = selection_.headerRebuilt;
  settings_.rebuiltTextEncoding = selection_.rebuiltTextEncoding;
  settings_.reader = nullptr;
  settings_.tablesGroup = settings_.indexesGroup = kNoItem;
  settings_.viewsGroup = settings_.triggersGroup = kNoItem;
  settings_.scanFlag = false;
  settings_.saveMode = 0;
  stop_ = false;
  previewedItem_ = kNoItem;

  tree_->Tree().DeleteAllItems();
  recordArea_->SetStatementText(QString());
  host_->ClearRecordRows();

  const QString path = QString::fromStdString(settings_.inputPath);
  captionText_ = path;
  SetCaptionText(path);
  SetProgressShown(true);
  WriteOutputLine(path + QStringLiteral(" File is selected for recovery...."));

  StartWorker([this] { ScanWorker(); },
              [this] {
                settings_.version = 0;
                SetProgressShown(false);
                SetBusy(false);
              });
}

void CMainFrame::ScanWorker() {
  host_->OnUi([this] { recordArea_->RemoveAddedColumns(); });
  RunScanWorker(*host_, options_.engineFactory, database_);
  host_->FlushRows();
}

}  // namespace korvel::app
