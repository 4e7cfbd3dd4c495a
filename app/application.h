#pragma once
// The application object and start-up: the single-instance guard, the
// settings section, the main window shown maximised.
//
// One instance runs per machine, whichever user started it: the guard holds
// an exclusive lock (flock) on the file "{KorvelQuenmarkV1.0_EXE_RUNNING1}"
// in a folder every user can reach (/tmp). The file is created readable and
// writable for everyone; the lock goes with the process, also when the
// process is killed. A second start shows "Another instance of application
// is already running" and ends without a window.
//
// Settings live in the section "KorvelDaltropFullv22.0" (the organisation
// name of QSettings; the application name is the product title); the main
// window keeps "ApplicationLook" there.

#include <QString>

#include <memory>

#include "app/main_frame.h"
#include "app/platform_services.h"

namespace korvel::app {

inline constexpr char kInstanceLockName[] = "{KorvelQuenmarkV1.0_EXE_RUNNING1}";
inline constexpr char kDefaultLockFolder[] = "/tmp";
inline constexpr char kSettingsSection[] = "KorvelDaltropFullv22.0";
inline constexpr char kAnotherInstanceMessage[] =
    "Another instance of application is already running";

// The machine-wide lock; held from construction until destruction or the
// end of the process.
class InstanceGuard {
 public:
  explicit InstanceGuard(const QString& folder);
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // Another process (or another guard of this process) holds the lock.
  bool AlreadyRunning() const { return alreadyRunning_; }
  // Whether this guard holds the lock. A lock file that cannot be opened at
  // all leaves the program free to start without the guard.
  bool Held() const { return fd_ >= 0 && !alreadyRunning_; }
  QString Path() const { return path_; }

 private:
  QString path_;
  int fd_ = -1;
  bool alreadyRunning_ = false;
};

struct StartupOptions {
  QString lockFolder;      // empty: /tmp
  QString settingsFolder;  // empty: the user's configuration folder
  MainFrameOptions frame;  // handed to the main window
};

class CDravintHalvorkProjApp {
 public:
  // Takes the instance lock at once, before any window exists.
  explicit CDravintHalvorkProjApp(PlatformServices services, StartupOptions options = {});
  ~CDravintHalvorkProjApp();

  // Sets up the settings section and, unless another instance runs, creates
  // the main window and shows it maximised. false: the program ends.
  bool InitInstance();

  CMainFrame* MainFrame() const { return frame_.get(); }
  const InstanceGuard& Guard() const { return guard_; }

 private:
  PlatformServices services_;
  StartupOptions options_;
  InstanceGuard guard_;
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace korvel::app
