#include "app/application.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/app_title.h"

namespace korvel::app {
namespace {

// Opens the lock file without following links. An existing file is opened
// as it is: in a sticky folder such as /tmp the kernel may refuse to open
// another user's file with O_CREAT, so creating is only tried when there is
// none, and exclusively. Reading is enough for flock when writing is refused.
int OpenLockFile(const QByteArray& path) {
  constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW;
  for (int attempt = 0; attempt < 4; ++attempt) {
    int fd = ::open(path.constData(), O_RDWR | kFlags);
    if (fd < 0 && errno == EACCES) fd = ::open(path.constData(), O_RDONLY | kFlags);
    if (fd >= 0) return fd;
    if (errno != ENOENT) return -1;
    fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0666);
    if (fd >= 0) {
      // Every user's later start must be able to open it, whatever the umask.
      ::fchmod(fd, 0666);
      return fd;
    }
    if (errno != EEXIST) return -1;
    // Another start created it in between: open that one.
  }
  return -1;
}

}  // namespace

InstanceGuard::InstanceGuard(const QString& folder)
    : path_(QDir(folder).filePath(QString::fromLatin1(kInstanceLockName))) {
  fd_ = OpenLockFile(QFile::encodeName(path_));
  if (fd_ < 0) return;
  int rc;
  do {
    rc = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) alreadyRunning_ = (errno == EWOULDBLOCK);
  if (rc != 0 && !alreadyRunning_) {
    // Locking is not possible there: run without the guard.
    ::close(fd_);
    fd_ = -1;
  }
}

InstanceGuard::~InstanceGuard() {
  if (fd_ >= 0) ::close(fd_);  // releases the lock
}

CDravintHalvorkProjApp::CDravintHalvorkProjApp(PlatformServices services, StartupOptions options)
    : services_(services),
      options_(std::move(options)),
      guard_(options_.lockFolder.isEmpty() ? QString::fromLatin1(kDefaultLockFolder)
                                           : options_.lockFolder) {}

CDravintHalvorkProjApp::~CDravintHalvorkProjApp() = default;

bool CDravintHalvorkProjApp::InitInstance() {
  // The settings section.
  QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsSection));
  QCoreApplication::setApplicationName(QString::fromUtf16(kAppTitle));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(kAppVersion));
  if (!options_.settingsFolder.isEmpty()) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, options_.settingsFolder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, options_.settingsFolder);
  }

  if (guard_.AlreadyRunning()) {
    services_.messages->Show(nullptr, QString::fromLatin1(kAnotherInstanceMessage),
                             QString::fromUtf16(kAppTitle), MessageButtons::Ok,
                             MessageIcon::Information);
    return false;
  }

  frame_ = std::make_unique<CMainFrame>(services_, options_.frame);
  frame_->showMaximized();
  frame_->repaint();
  return true;
}

}  // namespace korvel::app
