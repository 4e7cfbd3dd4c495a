// korvel-lumquist: the desktop program.

#include <QApplication>
#include <QStyleFactory>

#include "app/application.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("korvel-lumquist"));
  if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
    QApplication::setStyle(style);
  }
  korvel::app::DesktopPlatform platform;
  korvel::app::CDravintHalvorkProjApp app(platform.Services());
  if (!app.InitInstance()) return 1;
  return application.exec();
}
