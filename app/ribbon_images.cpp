#include "app/ribbon_images.h"

#include <QPainter>
#include <QPainterPath>

namespace korvel::app {
namespace {

QPixmap Blank(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void DrawCylinder(QPainter& p, const QRectF& r, const QColor& body) {
  const qreal cap = r.height() / 5;
  QPainterPath path;
  path.moveTo(r.left(), r.top() + cap / 2);
  path.lineTo(r.left(), r.bottom() - cap / 2);
  path.arcTo(QRectF(r.left(), r.bottom() - cap, r.width(), cap), 180, 180);
  path.lineTo(r.right(), r.top() + cap / 2);
  p.setBrush(body);
  p.setPen(QPen(body.darker(160), 1));
  p.drawPath(path);
  p.setBrush(body.lighter(140));
  p.drawEllipse(QRectF(r.left(), r.top(), r.width(), cap));
}

}  // namespace

QPixmap RibbonLargeImage(int index) {
  QPixmap pixmap = Blank(32);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0: {  // Open: a folder with a database
      p.setPen(QPen(QColor(150, 110, 20), 1));
      p.setBrush(QColor(250, 205, 90));
      p.drawRoundedRect(QRectF(2, 9, 28, 19), 2, 2);
      p.drawRect(QRectF(2, 6, 11, 4));
      DrawCylinder(p, QRectF(14, 12, 12, 14), QColor(70, 130, 200));
      break;
    }
    case 1: {  // Stop: a red octagon
      QPolygonF octagon;
      for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45.0 * i) * 3.14159265 / 180.0;
        octagon << QPointF(16 + 14 * std::cos(a), 16 + 14 * std::sin(a));
      }
      p.setPen(QPen(QColor(120, 0, 0), 1));
      p.setBrush(QColor(210, 30, 30));
      p.drawPolygon(octagon);
      p.setPen(QPen(Qt::white, 3));
      p.drawLine(QPointF(10, 16), QPointF(22, 16));
      break;
    }
    case 2: {  // Map Column: two columns joined by arrows
      p.setPen(QPen(QColor(40, 80, 140), 1));
      p.setBrush(QColor(200, 220, 245));
      p.drawRect(QRectF(2, 4, 10, 24));
      p.drawRect(QRectF(20, 4, 10, 24));
      p.setPen(QPen(QColor(30, 140, 60), 2));
      for (int y : {10, 16, 22}) {
        p.drawLine(QPointF(12, y), QPointF(19, y));
        p.drawLine(QPointF(16, y - 3), QPointF(19, y));
        p.drawLine(QPointF(16, y + 3), QPointF(19, y));
      }
      break;
    }
    case 3: {  // Save: a disk
      p.setPen(QPen(QColor(20, 40, 90), 1));
      p.setBrush(QColor(50, 90, 170));
      p.drawRoundedRect(QRectF(3, 3, 26, 26), 3, 3);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(8, 3, 16, 10));
      p.setBrush(QColor(190, 190, 190));
      p.drawRect(QRectF(9, 18, 14, 11));
      break;
    }
    case 4: {  // Help: a question mark in a circle
      p.setPen(QPen(QColor(20, 70, 150), 1));
      p.setBrush(QColor(60, 130, 220));
      p.drawEllipse(QRectF(2, 2, 28, 28));
      QFont font = p.font();
      font.setPixelSize(22);
      font.setBold(true);
      p.setFont(font);
      p.setPen(Qt::white);
      p.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
    default: {  // About: an "i" in a circle
      p.setPen(QPen(QColor(20, 110, 60), 1));
      p.setBrush(QColor(60, 170, 100));
      p.drawEllipse(QRectF(2, 2, 28, 28));
      QFont font = p.font();
      font.setPixelSize(22);
      font.setBold(true);
      p.setFont(font);
      p.setPen(Qt::white);
      p.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, QStringLiteral("i"));
      break;
    }
  }
  return pixmap;
}

QPixmap ApplicationButtonImage() {
  QPixmap pixmap = Blank(42);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient glow(21, 16, 24);
  glow.setColorAt(0, QColor(120, 180, 250));
  glow.setColorAt(1, QColor(20, 70, 160));
  p.setBrush(glow);
  p.setPen(QPen(QColor(15, 45, 110), 1));
  p.drawEllipse(QRectF(1, 1, 40, 40));
  DrawCylinder(p, QRectF(12, 9, 18, 24), QColor(240, 200, 70));
  return pixmap;
}

QPixmap InformationImage() {
  QPixmap pixmap = Blank(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(20, 70, 150), 1));
  p.setBrush(QColor(60, 130, 220));
  p.drawEllipse(QRectF(1, 1, 14, 14));
  p.setPen(QPen(Qt::white, 2));
  p.drawPoint(QPointF(8, 4.5));
  p.drawLine(QPointF(8, 7), QPointF(8, 12));
  return pixmap;
}

QPixmap TreeItemImage() {
  QPixmap pixmap = Blank(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawCylinder(p, QRectF(3, 1, 10, 14), QColor(80, 140, 210));
  return pixmap;
}

}  // namespace korvel::app
