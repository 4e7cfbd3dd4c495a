#include "app/about_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWindow>

#include "core/app_title.h"

namespace korvel::app {
namespace {

// Dialog units to pixels for the dialog's own layout.
int X(int units) { return units * 3 / 2; }
int Y(int units) { return units * 13 / 8; }

QFont DialogFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(15);
  font.setWeight(QFont::DemiBold);
  return font;
}

}  // namespace

CDravintAboutDlg::CDravintAboutDlg(PlatformServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      services_(services) {
  setObjectName(QStringLiteral("DravintAboutDlg"));
  setWindowTitle(QString::fromUtf16(kAppTitle));
  setFixedSize(X(263), Y(166));

  auto* banner = new QLabel(this);
  banner->setPixmap(QPixmap::fromImage(Banner()));
  banner->setGeometry(0, 0, X(263), Y(52));
  banner->setAlignment(Qt::AlignCenter);

  title_ = new QLabel(QString::fromUtf16(kAppTitle), this);
  title_->setFont(DialogFont());
  title_->setAlignment(Qt::AlignCenter);
  title_->setGeometry(X(33), Y(65), X(218), Y(12));

  web_ = MakeLink(QString::fromLatin1(kProductWebPage),
                  QStringLiteral("korvel-lumquist.example"), QStringLiteral("Company website"),
                  {X(81), Y(81)});
  support_ = MakeLink(QStringLiteral("mailto:") + QString::fromLatin1(kSupportMailAddress),
                      QString::fromLatin1(kSupportMailAddress),
                      QStringLiteral("Support email address"), {X(81), Y(91)});
  sales_ = MakeLink(QStringLiteral("mailto:") + QString::fromLatin1(kSalesMailAddress),
                    QString::fromLatin1(kSalesMailAddress), QStringLiteral("Sales email address"),
                    {X(81), Y(103)});

  notice_ = new QLabel(QString::fromUtf8(kRightsNotice), this);
  notice_->setFont(DialogFont());
  notice_->setAlignment(Qt::AlignCenter);
  notice_->setGeometry(X(6), Y(119), X(251), Y(15));

  separator_ = new QLabel(QString(76, QLatin1Char('_')), this);
  separator_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  separator_->setGeometry(X(21), Y(132), X(223), Y(10));

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(X(109), Y(146), X(50), Y(16));
  // Enter on OK must not close the dialog either.
  ok_->setAutoDefault(false);
  ok_->setDefault(false);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  ok_->setFocus();
}

QLabel* CDravintAboutDlg::MakeLink(const QString& address, const QString& text,
                                   const QString& tooltip, QPoint at) {
  auto* link = new QLabel(this);
  link->setTextFormat(Qt::RichText);
  link->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(address.toHtmlEscaped(),
                                                            text.toHtmlEscaped()));
  link->setToolTip(tooltip);
  link->setOpenExternalLinks(false);
  link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  link->setCursor(Qt::PointingHandCursor);
  link->move(at);
  link->adjustSize();
  connect(link, &QLabel::linkActivated, this,
          [this](const QString& url) { services_.urls->Open(QUrl(url)); });
  return link;
}

void CDravintAboutDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();  // swallowed: neither accepts nor rejects the dialog
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void CDravintAboutDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QDialog::mousePressEvent(event);
    return;
  }
  event->accept();
  // The window system moves the window where it can; otherwise follow the
  // mouse ourselves.
  if (QWindow* window = windowHandle(); window != nullptr && window->startSystemMove()) return;
  dragging_ = true;
  dragStart_ = event->globalPosition().toPoint();
  windowStart_ = pos();
}

void CDravintAboutDlg::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) {
    QDialog::mouseMoveEvent(event);
    return;
  }
  event->accept();
  move(windowStart_ + (event->globalPosition().toPoint() - dragStart_));
}

void CDravintAboutDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ && event->button() == Qt::LeftButton) {
    dragging_ = false;
    event->accept();
    return;
  }
  QDialog::mouseReleaseEvent(event);
}

QImage CDravintAboutDlg::Banner() {
  QImage image(395, 85, QImage::Format_RGB32);
  QPainter p(&image);
  QLinearGradient sky(0, 0, 395, 85);
  sky.setColorAt(0.0, QColor(0x12, 0x2f, 0x5c));
  sky.setColorAt(1.0, QColor(0x1f, 0x6f, 0xa8));
  p.fillRect(image.rect(), sky);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  // A small database drum.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xe8, 0xf1, 0xfa));
  p.drawRect(QRectF(24, 22, 44, 42));
  p.drawEllipse(QRectF(24, 56, 44, 14));
  p.setBrush(QColor(0xb9, 0xd3, 0xec));
  p.drawEllipse(QRectF(24, 15, 44, 14));
  p.setPen(QPen(QColor(0xff, 0xb3, 0x3b), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF({QPointF(50, 24), QPointF(42, 40), QPointF(52, 50), QPointF(44, 64)}));
  QFont title(QStringLiteral("Sans Serif"));
  title.setPixelSize(30);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(88, 10, 300, 44), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Korvel Lumquist"));
  QFont line(QStringLiteral("Sans Serif"));
  line.setPixelSize(14);
  p.setFont(line);
  p.setPen(QColor(0xcf, 0xe2, 0xf5));
  p.drawText(QRectF(90, 50, 300, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("SQLite database recovery"));
  p.end();
  return image;
}

}  // namespace korvel::app
