#include "app/splash_screen.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPropertyAnimation>
#include <QScreen>

namespace korvel::app {

CSplashScreenEx::CSplashScreenEx(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowDoesNotAcceptFocus),
      bitmap_(Picture()) {
  setObjectName(QStringLiteral("SplashScreenEx"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TranslucentBackground, false);
  setFocusPolicy(Qt::NoFocus);
  setWindowTitle(QString());
  setFixedSize(bitmap_.size());
  setMask(QPixmap::fromImage(bitmap_).createMaskFromColor(QColor::fromRgb(kTransparentColour),
                                                          Qt::MaskInColor));

  // Centred on the screen's work area.
  QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - bitmap_.width()) / 2,
         area.y() + (area.height() - bitmap_.height()) / 2);
  }

  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kDisplayMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &CSplashScreenEx::Finish);
}

void CSplashScreenEx::Show() {
  setWindowOpacity(0.0);
  show();
  fade_ = new QPropertyAnimation(this, "windowOpacity", this);
  fade_->setDuration(kFadeInMilliseconds);
  fade_->setStartValue(0.0);
  fade_->setEndValue(1.0);
  fade_->start();
  timer_.start();
}

void CSplashScreenEx::Finish() {
  timer_.stop();
  if (fade_ != nullptr) fade_->stop();
  fade_ = new QPropertyAnimation(this, "windowOpacity", this);
  fade_->setDuration(kFadeOutMilliseconds);
  fade_->setStartValue(windowOpacity());
  fade_->setEndValue(0.0);
  connect(fade_, &QPropertyAnimation::finished, this, [this] {
    hide();
    deleteLater();
  });
  fade_->start();
}

void CSplashScreenEx::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, bitmap_);
}

QImage CSplashScreenEx::Picture() {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  image.fill(kTransparentColour);
  QPainter p(&image);

  // The card: a rounded shape drawn without smoothing, so that its edge
  // pixels are either the card or the transparent colour.
  const QRectF card(6, 6, kWidth - 12, kHeight - 12);
  QPainterPath shape;
  shape.addRoundedRect(card, 26, 26);
  QLinearGradient sky(card.topLeft(), card.bottomRight());
  sky.setColorAt(0.0, QColor(0x12, 0x2f, 0x5c));
  sky.setColorAt(1.0, QColor(0x1f, 0x6f, 0xa8));
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillPath(shape, sky);

  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.setClipPath(shape);

  // A database drum with a crack mended by a band of light.
  const QRectF drum(44, 70, 120, 150);
  const QColor drumColour(0xe8, 0xf1, 0xfa);
  p.setPen(Qt::NoPen);
  p.setBrush(drumColour);
  p.drawRect(QRectF(drum.left(), drum.top() + 15, drum.width(), drum.height() - 30));
  p.drawEllipse(QRectF(drum.left(), drum.bottom() - 30, drum.width(), 30));
  p.setBrush(QColor(0xb9, 0xd3, 0xec));
  p.drawEllipse(QRectF(drum.left(), drum.top(), drum.width(), 30));
  p.setPen(QPen(QColor(0x1f, 0x6f, 0xa8), 3));
  p.setBrush(Qt::NoBrush);
  for (double y : {drum.top() + 60, drum.top() + 105}) {
    p.drawArc(QRectF(drum.left(), y - 15, drum.width(), 30), 180 * 16, 180 * 16);
  }
  QPainterPath crack;
  crack.moveTo(drum.left() + 70, drum.top() + 20);
  crack.lineTo(drum.left() + 55, drum.top() + 62);
  crack.lineTo(drum.left() + 78, drum.top() + 88);
  crack.lineTo(drum.left() + 60, drum.top() + 140);
  p.setPen(QPen(QColor(0xff, 0xb3, 0x3b), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(crack);

  // The product's name.
  p.setPen(Qt::white);
  QFont title(QStringLiteral("Sans Serif"));
  title.setPixelSize(40);
  title.setBold(true);
  p.setFont(title);
  p.drawText(QRectF(190, 78, 290, 50), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Korvel"));
  p.drawText(QRectF(190, 122, 290, 50), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Lumquist"));
  QFont line(QStringLiteral("Sans Serif"));
  line.setPixelSize(16);
  p.setFont(line);
  p.setPen(QColor(0xcf, 0xe2, 0xf5));
  p.drawText(QRectF(192, 176, 290, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("SQLite database recovery"));
  QFont version(QStringLiteral("Sans Serif"));
  version.setPixelSize(14);
  version.setBold(true);
  p.setFont(version);
  p.setPen(QColor(0xff, 0xb3, 0x3b));
  p.drawText(QRectF(192, 204, 290, 22), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Version 22.0"));
  p.end();
  return image;
}

}  // namespace korvel::app
