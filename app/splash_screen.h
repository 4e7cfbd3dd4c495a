#pragma once
// The splash window shown while the main window is being created: the
// 500 x 281 product picture in a frameless, topmost tool window owned by the
// main window, shaped by the picture (magenta 0xFF00FF pixels are holes),
// centred on the screen. It fades in over 500 ms, hides itself 2000 ms after
// it was shown with a 200 ms fade-out and then deletes itself. It never
// takes the focus and never blocks its owner.

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QPropertyAnimation;

namespace korvel::app {

class CSplashScreenEx : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 500;
  static constexpr int kHeight = 281;
  static constexpr QRgb kTransparentColour = 0xFFFF00FF;
  static constexpr int kDisplayMilliseconds = 2000;
  static constexpr int kFadeInMilliseconds = 500;
  static constexpr int kFadeOutMilliseconds = 200;

  // The window shows and deletes itself: create it with new and call Show.
  explicit CSplashScreenEx(QWidget* owner);

  // Shows the window and starts its timer.
  void Show();

  // The product picture, magenta where the window has holes.
  static QImage Picture();
  const QImage& Bitmap() const { return bitmap_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Finish();

  QImage bitmap_;
  QTimer timer_;
  QPropertyAnimation* fade_ = nullptr;
};

}  // namespace korvel::app
