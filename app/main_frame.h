#pragma once
// The main window: ribbon, caption bar, the dockable object and output
// panes, the record area in the centre and the status bar with the progress
// bar. It owns the open database (engine and reader) and the state the
// workers share with it, and runs one worker thread at a time (scan,
// preview or save), kept apart by the busy flag.
//
// Commands, refusals while busy:
//   Open        "Please wait for the running process."
//   Stop        enabled only while busy; asks before stopping
//   Map Column  "Please wait for the running process."
//   Save        "Please select folder to save data." when nothing is
//               checked, else "Please wait for the running process."
//   Help, About "Please stop the running process to continue the process."
//   preview     "Please wait for the running process."
//   close       "Please stop the running process to close the application."
// Stop clears the busy flag at once while the stopped worker may still run;
// a following Open, preview or close waits for that worker to end (without
// blocking the window) before it releases the engine, the reader or the tree.
//
// Workflows live in their own files: open_command.cpp (Open and the scan
// worker), preview_command.cpp (the preview worker), save_command.cpp.

#include <QMainWindow>
#include <QPointer>
#include <QSettings>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "app/file_setting_dialog.h"
#include "app/platform_services.h"
#include "core/scan_worker.h"
#include "output/column_mapping.h"

class QThread;

namespace korvel::app {

class CDravintAboutDlg;
class CDravintHalvorkProjView;
class CDravintStatic;
class CFileView;
class CMyCaptionBar;
class COutputWnd;
class CRibbonBar;
class CRibbonStatusBarCls;
class CXHtmlTree;
class UiDispatcher;
class WindowHost;

struct MainFrameOptions {
  QString logFolder;            // empty: the desktop folder (home when there is none)
  EngineFactory engineFactory;  // empty: MakeEngine
  // Replace the Column Mapping and About dialogs; empty: the dialogs.
  std::function<void()> mapColumnDialog;
  std::function<void()> aboutDialog;
  bool showSplash = true;  // the splash window during creation
};

inline constexpr unsigned kCloseExitCode = 0xFFFFFFFFu;
inline constexpr int kDefaultApplicationLook = 215;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  CMainFrame(PlatformServices services, MainFrameOptions options = {},
             QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Commands.
  void OnOpen();
  void OnStop();
  void OnMapColumn();
  void OnSave();
  void OnHelp();
  void OnAbout();
  // A click on an item's label: 1 when the preview started, 0 when refused.
  int OnObjectPreview(TreeItem item);

  void WriteOutputLine(const QString& text);
  void SetCaptionText(const QString& text);

  // State, for the dialogs of other parts and for tests.
  bool Busy() const { return busy_.load() != 0; }
  bool WorkerRunning() const { return worker_ != nullptr; }
  bool Idle() const { return !Busy() && !WorkerRunning(); }
  ScanSettings& Settings() { return settings_; }
  FileSelection& Selection() { return selection_; }
  sqlite_base* Engine() const { return database_.engine.get(); }
  EngineHost& Host();
  std::atomic<bool>& StopRequest() { return stop_; }
  TreeItem PreviewedItem() const { return previewedItem_; }
  int ApplicationLook() const { return applicationLook_; }
  // Column Mapping state; its two lists are emptied by every preview.
  MappingState mapping;

  CRibbonBar* Ribbon() const { return ribbon_; }
  CMyCaptionBar* CaptionBar() const { return captionBar_; }
  CRibbonStatusBarCls* StatusBarControl() const { return statusBar_; }
  CFileView* ObjectPane() const { return fileView_; }
  COutputWnd* OutputPane() const { return outputWnd_; }
  CXHtmlTree* TreeControl() const { return tree_; }
  CDravintStatic* RecordArea() const { return recordArea_; }
  QString CaptionText() const { return captionText_; }
  QString LogPath() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Command(int commandId);
  void Message(const QString& text);
  bool Ask(const QString& text, MessageIcon icon);
  void SetBusy(bool busy);
  void SetProgressShown(bool shown);

  // One worker thread at a time. `then` runs on the user-interface thread
  // when the worker has returned.
  void StartWorker(std::function<void()> work, std::function<void()> then);
  void OnWorkerFinished();
  // Runs next now, or when the stopped worker still running has returned.
  void WhenWorkerIdle(std::function<void()> next);

  // open_command.cpp
  void BeginScan();
  void ScanWorker();
  // preview_command.cpp
  void BeginPreview(TreeItem item);
  void PreviewWorker();
  // save_command.cpp
  void BeginSave();
  // close
  void FinishClose();

  PlatformServices services_;
  MainFrameOptions options_;
  QSettings registry_;
  int applicationLook_ = kDefaultApplicationLook;

  CRibbonBar* ribbon_ = nullptr;
  CMyCaptionBar* captionBar_ = nullptr;
  CRibbonStatusBarCls* statusBar_ = nullptr;
  CFileView* fileView_ = nullptr;
  COutputWnd* outputWnd_ = nullptr;
  CDravintHalvorkProjView* view_ = nullptr;
  CXHtmlTree* tree_ = nullptr;
  CDravintStatic* recordArea_ = nullptr;
  QTimer progressTimer_;
  CDravintAboutDlg* aboutDlg_ = nullptr;  // one instance, made on first use

  UiDispatcher* dispatcher_ = nullptr;
  std::unique_ptr<WindowHost> host_;

  std::atomic<int> busy_{0};
  std::atomic<bool> stop_{false};
  bool closing_ = false;
  QString captionText_;
  TreeItem previewedItem_ = kNoItem;
  FileSelection selection_;
  ScanSettings settings_;
  OpenDatabase database_;

  QThread* worker_ = nullptr;
  std::function<void()> workerThen_;
  std::function<void()> afterWorker_;
};

}  // namespace korvel::app
