// Start-up: the single-instance guard (in this process and across two
// processes), the settings section and the first window.

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/application.h"
#include "app/caption_bar.h"
#include "app/scripted_platform.h"
#include "tests/app/frame_fixture.h"

namespace korvel::testing {
namespace {

QString Folder(const TempDir& dir) { return QString::fromStdString(dir.path().string()); }

TEST(InstanceGuard, OneHolderAtATimeAndTheLockGoesWithTheHolder) {
  TempDir dir;
  const QString folder = Folder(dir);
  {
    app::InstanceGuard first(folder);
    EXPECT_TRUE(first.Held());
    EXPECT_FALSE(first.AlreadyRunning());
    EXPECT_EQ(first.Path(), folder + "/{KorvelQuenmarkV1.0_EXE_RUNNING1}");
    app::InstanceGuard second(folder);
    EXPECT_TRUE(second.AlreadyRunning());
    EXPECT_FALSE(second.Held());
  }
  app::InstanceGuard again(folder);
  EXPECT_TRUE(again.Held());
}

TEST(InstanceGuard, TheLockFileIsOpenToEveryUserWhateverTheUmask) {
  TempDir dir;
  const mode_t old = ::umask(077);
  app::InstanceGuard guard(Folder(dir));
  ::umask(old);
  ASSERT_TRUE(guard.Held());
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(guard.Path()).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
}

TEST(InstanceGuard, AnExistingReadOnlyLockFileStillLocks) {
  TempDir dir;
  const std::string path = dir.File("{KorvelQuenmarkV1.0_EXE_RUNNING1}");
  WriteBytes(path, {});
  ::chmod(path.c_str(), 0444);
  app::InstanceGuard first(Folder(dir));
  EXPECT_TRUE(first.Held());
  app::InstanceGuard second(Folder(dir));
  EXPECT_TRUE(second.AlreadyRunning());
}

TEST(InstanceGuard, AFolderWithoutTheLockLetsTheProgramStart) {
  TempDir dir;
  app::InstanceGuard guard(Folder(dir) + "/missing");
  EXPECT_FALSE(guard.Held());
  EXPECT_FALSE(guard.AlreadyRunning());
}

// The application object on scripted services, with its settings in a test
// folder; the settings location is put back afterwards.
class StartupTest : public ::testing::Test {
 protected:
  void TearDown() override {
    const QString standard = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, standard);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, standard);
  }
  app::StartupOptions Options() {
    app::StartupOptions options;
    options.lockFolder = Folder(locks);
    options.settingsFolder = Folder(settings);
    options.frame.logFolder = Folder(logs);
    return options;
  }
  QString SettingsFile() {
    return Folder(settings) + "/KorvelDaltropFullv22.0/Korvel Lumquist v22.0.conf";
  }
  TempDir locks, settings, logs;
  app::ScriptedPlatform platform;
};

TEST_F(StartupTest, FirstStartShowsTheMaximisedWindow) {
  app::CDravintHalvorkProjApp app(platform.Services(), Options());
  ASSERT_TRUE(app.InitInstance());
  app::CMainFrame* frame = app.MainFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->windowState().testFlag(Qt::WindowMaximized));
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("Korvel Lumquist v22.0"));
  EXPECT_EQ(frame->CaptionBar()->Text(),
            QStringLiteral("Select database file to continue the recovery process."));
  EXPECT_TRUE(frame->Idle());
  EXPECT_TRUE(platform.messages.shown.empty());
  EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("KorvelDaltropFullv22.0"));
}

TEST_F(StartupTest, SecondStartIsRefusedWithoutAWindow) {
  app::CDravintHalvorkProjApp first(platform.Services(), Options());
  ASSERT_TRUE(first.InitInstance());
  app::ScriptedPlatform secondPlatform;
  app::CDravintHalvorkProjApp second(secondPlatform.Services(), Options());
  EXPECT_FALSE(second.InitInstance());
  EXPECT_EQ(second.MainFrame(), nullptr);
  ASSERT_EQ(secondPlatform.messages.shown.size(), 1u);
  const app::ShownMessage& m = secondPlatform.messages.shown[0];
  EXPECT_EQ(m.text, QStringLiteral("Another instance of application is already running"));
  EXPECT_EQ(m.caption, QStringLiteral("Korvel Lumquist v22.0"));
  EXPECT_EQ(m.icon, MessageIcon::Information);
  EXPECT_EQ(m.buttons, MessageButtons::Ok);
}

TEST_F(StartupTest, ApplicationLookIsReadAndWrittenBack) {
  struct Case {
    int stored;  // 0: no value yet
    int expected;
  };
  for (const Case c : {Case{0, 215}, Case{212, 212}}) {
    TempDir fresh;
    app::StartupOptions options = Options();
    options.settingsFolder = Folder(fresh);
    const QString file = Folder(fresh) + "/KorvelDaltropFullv22.0/Korvel Lumquist v22.0.conf";
    if (c.stored != 0) {
      QSettings seed(file, QSettings::IniFormat);
      seed.setValue("ApplicationLook", c.stored);
    }
    {
      app::CDravintHalvorkProjApp app(platform.Services(), options);
      ASSERT_TRUE(app.InitInstance());
      EXPECT_EQ(app.MainFrame()->ApplicationLook(), c.expected);
    }
    QSettings stored(file, QSettings::IniFormat);
    EXPECT_EQ(stored.value("ApplicationLook").toInt(), c.expected) << c.stored;
  }
}

// Two processes: the second start is refused while the first runs, also
// when the two share nothing but the lock folder; killing the first frees it.
TEST_F(StartupTest, SecondProcessIsRefusedWhileTheFirstRuns) {
  const QString helper = QStringLiteral(KORVEL_INSTANCE_HELPER);
  auto start = [&](QProcess& p, const TempDir& settingsDir, const TempDir& logDir) {
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(helper, {Folder(locks), Folder(settingsDir), Folder(logDir)});
    return p.waitForStarted(20000);
  };
  auto waitRunning = [](QProcess& p) {
    QByteArray out;
    while (!out.contains("running")) {
      if (!p.waitForReadyRead(30000)) return QByteArray();
      out += p.readAllStandardOutput();
    }
    return out;
  };

  QProcess first;
  ASSERT_TRUE(start(first, settings, logs));
  const QByteArray firstOut = waitRunning(first);
  ASSERT_TRUE(firstOut.contains("running")) << first.readAllStandardError().toStdString();
  EXPECT_TRUE(firstOut.contains("maximized=1"));

  TempDir otherSettings, otherLogs;
  QProcess second;
  ASSERT_TRUE(start(second, otherSettings, otherLogs));
  ASSERT_TRUE(second.waitForFinished(30000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 1);
  EXPECT_EQ(second.readAllStandardOutput(),
            QByteArray("Another instance of application is already running|"
                       "Korvel Lumquist v22.0|1\n"));
  EXPECT_EQ(first.state(), QProcess::Running);

  first.kill();
  ASSERT_TRUE(first.waitForFinished(20000));
  QProcess third;
  ASSERT_TRUE(start(third, otherSettings, otherLogs));
  EXPECT_TRUE(waitRunning(third).contains("running"));
  third.kill();
  third.waitForFinished(20000);
}

}  // namespace
}  // namespace korvel::testing
