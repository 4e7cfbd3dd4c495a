// The About dialog and the splash window.

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include "app/about_dialog.h"
#include "app/splash_screen.h"
#include "tests/app/frame_fixture.h"

namespace korvel::testing {
namespace {

struct AboutFixture {
  app::ScriptedPlatform platform;
  app::CDravintAboutDlg dialog{platform.Services()};
  AboutFixture() {
    dialog.open();
    dialog.activateWindow();
    QApplication::processEvents();
  }
};

TEST(AboutDialog, ShowsTheTitleLinksNoticeAndSeparator) {
  AboutFixture f;
  app::CDravintAboutDlg& d = f.dialog;
  EXPECT_EQ(d.windowTitle(), QStringLiteral("Korvel Lumquist v22.0"));
  EXPECT_EQ(d.TitleLabel()->text(), QStringLiteral("Korvel Lumquist v22.0"));
  EXPECT_EQ(d.TitleLabel()->font().pixelSize(), 15);
  EXPECT_EQ(d.TitleLabel()->font().weight(), QFont::DemiBold);
  EXPECT_EQ(d.Separator()->text(), QString(76, QLatin1Char('_')));
  EXPECT_FALSE(d.NoticeLabel()->text().isEmpty());
  EXPECT_EQ(d.OkButton()->text(), QStringLiteral("OK"));
  EXPECT_EQ(d.WebLink()->toolTip(), QStringLiteral("Company website"));
  EXPECT_EQ(d.SupportLink()->toolTip(), QStringLiteral("Support email address"));
  EXPECT_EQ(d.SalesLink()->toolTip(), QStringLiteral("Sales email address"));
}

TEST(AboutDialog, LinksOpenThroughThePlatform) {
  struct Case {
    QLabel* (app::CDravintAboutDlg::*link)() const;
    const char* url;
  };
  const Case cases[] = {
      {&app::CDravintAboutDlg::WebLink, "https://korvel-lumquist.example/"},
      {&app::CDravintAboutDlg::SupportLink, "mailto:support@korvel-lumquist.example"},
      {&app::CDravintAboutDlg::SalesLink, "mailto:sales@korvel-lumquist.example"}};
  for (const Case& c : cases) {
    AboutFixture f;
    QLabel* link = (f.dialog.*c.link)();
    QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
    ASSERT_EQ(f.platform.urls.opened.size(), 1u) << c.url;
    EXPECT_EQ(f.platform.urls.opened[0], QUrl(QString::fromLatin1(c.url)));
    EXPECT_TRUE(f.dialog.isVisible());
  }
}

TEST(AboutDialog, EnterAndEscapeDoNothingOkAndCloseClose) {
  AboutFixture f;
  app::CDravintAboutDlg& d = f.dialog;
  for (QWidget* target : {static_cast<QWidget*>(&d), static_cast<QWidget*>(d.OkButton())}) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      QTest::keyClick(target, key);
      EXPECT_TRUE(d.isVisible()) << key;
      EXPECT_EQ(d.result(), 0) << key;
    }
  }
  QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Accepted);

  d.open();
  EXPECT_TRUE(d.isVisible());
  d.close();  // the caption's close button
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Rejected);
}

TEST(AboutDialog, DragsByItsBody) {
  AboutFixture f;
  app::CDravintAboutDlg& d = f.dialog;
  d.move(100, 100);
  const QPoint start = d.pos();
  const QPoint local(10, 10);  // on the banner
  const QPoint global = d.mapToGlobal(local);
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, {});
  QApplication::sendEvent(&d, &press);
  QMouseEvent move(QEvent::MouseMove, local + QPoint(40, 25), global + QPoint(40, 25),
                   Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(&d, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, local + QPoint(40, 25),
                      global + QPoint(40, 25), Qt::LeftButton, Qt::NoButton, {});
  QApplication::sendEvent(&d, &release);
  EXPECT_EQ(d.pos(), start + QPoint(40, 25));
  EXPECT_TRUE(d.isVisible());
}

TEST(AboutDialog, TheWindowKeepsOneInstanceForEveryAbout) {
  FrameFixture f(nullptr);
  std::vector<QDialog*> shown;
  f.platform.modals.script = [&](QDialog& dialog) {
    if (dynamic_cast<app::CDravintAboutDlg*>(&dialog)) shown.push_back(&dialog);
  };
  f.frame->OnAbout();
  f.frame->OnAbout();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], shown[1]);
}

TEST(SplashScreen, PictureShapesTheWindow) {
  const QImage picture = app::CSplashScreenEx::Picture();
  ASSERT_EQ(picture.size(), QSize(500, 281));
  QWidget owner;
  auto* splash = new app::CSplashScreenEx(&owner);
  EXPECT_EQ(splash->size(), QSize(500, 281));
  const QRegion shape = splash->mask();
  int holes = 0;
  int solid = 0;
  for (int y = 0; y < picture.height(); y += 7) {
    for (int x = 0; x < picture.width(); x += 7) {
      const bool magenta = (picture.pixel(x, y) & 0xFFFFFF) == 0xFF00FF;
      EXPECT_EQ(shape.contains(QPoint(x, y)), !magenta) << x << "," << y;
      (magenta ? holes : solid)++;
    }
  }
  EXPECT_GT(holes, 0);
  EXPECT_GT(solid, holes);
  EXPECT_FALSE(shape.contains(QPoint(0, 0)));
  EXPECT_TRUE(shape.contains(QPoint(250, 140)));
  // Centred on the screen's work area.
  const QRect area = owner.screen()->availableGeometry();
  EXPECT_EQ(splash->pos(), QPoint(area.x() + (area.width() - 500) / 2,
                                  area.y() + (area.height() - 281) / 2));
}

TEST(SplashScreen, ShownByTheWindowNeverTakesFocusAndRemovesItself) {
  QElapsedTimer clock;
  clock.start();
  FrameFixture f(nullptr);
  QPointer<app::CSplashScreenEx> splash = f.frame->findChild<app::CSplashScreenEx*>();
  ASSERT_FALSE(splash.isNull());
  EXPECT_TRUE(splash->isVisible());
  EXPECT_TRUE(splash->isWindow());
  const Qt::WindowFlags flags = splash->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
  EXPECT_EQ(splash->windowType(), Qt::Tool);
  EXPECT_TRUE(splash->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_FALSE(splash->isModal());

  // The window works while the splash is up.
  f.frame->activateWindow();
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_NE(QApplication::activeWindow(), splash.data());
  EXPECT_FALSE(splash->hasFocus());
  f.frame->OnHelp();
  EXPECT_EQ(f.platform.urls.opened.size(), 1u);

  bool everFocused = false;
  ASSERT_TRUE(WaitFor(
      [&] {
        if (!splash.isNull() && (splash->isActiveWindow() || splash->hasFocus())) {
          everFocused = true;
        }
        return splash.isNull();
      },
      15000));
  EXPECT_FALSE(everFocused);
  EXPECT_GE(clock.elapsed(), app::CSplashScreenEx::kDisplayMilliseconds);
}

}  // namespace
}  // namespace korvel::testing
