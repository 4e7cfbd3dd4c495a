// korvel-lumquist: the desktop program.

#include <QApplication>
#include <QStyleFactory>

#include "app/main_frame.h"
#include "core/app_title.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf16(korvel::kAppTitle));
  QApplication::setApplicationVersion(QString::fromLatin1(korvel::kAppVersion));
  if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
    QApplication::setStyle(style);
  }
  korvel::app::DesktopPlatform platform;
  korvel::app::CMainFrame frame(platform.Services());
  frame.showMaximized();
  return application.exec();
}
