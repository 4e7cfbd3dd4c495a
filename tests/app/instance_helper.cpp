// A start of the desktop program on scripted platform services, for the
// single-instance tests: instance_helper LOCK_FOLDER SETTINGS_FOLDER LOG_FOLDER.
// Prints "running" once the main window is up and then runs until killed;
// a refused start prints each message as "text|caption|icon" and exits 1.

#include <QApplication>

#include <cstdio>

#include "app/application.h"
#include "app/scripted_platform.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: instance_helper LOCK_FOLDER SETTINGS_FOLDER LOG_FOLDER\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  korvel::app::ScriptedPlatform platform;
  korvel::app::StartupOptions options;
  options.lockFolder = QString::fromLocal8Bit(argv[1]);
  options.settingsFolder = QString::fromLocal8Bit(argv[2]);
  options.frame.logFolder = QString::fromLocal8Bit(argv[3]);
  korvel::app::CDravintHalvorkProjApp app(platform.Services(), options);
  if (!app.InitInstance()) {
    for (const auto& m : platform.messages.shown) {
      std::printf("%s|%s|%d\n", m.text.toUtf8().constData(), m.caption.toUtf8().constData(),
                  static_cast<int>(m.icon));
    }
    std::fflush(stdout);
    return 1;
  }
  std::printf("running look=%d maximized=%d\n", app.MainFrame()->ApplicationLook(),
              app.MainFrame()->isMaximized() ? 1 : 0);
  std::fflush(stdout);
  return application.exec();
}
