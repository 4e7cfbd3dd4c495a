#pragma once
// The About dialog: the product banner, the title, links to the web site
// and to the support and sales mail addresses (opened through the platform
// services), the rights notice and OK. Enter and Escape do nothing: it
// closes with OK or the caption's close button. A press anywhere on its body
// drags it. The main window keeps one instance and shows it each time.

#include <QDialog>
#include <QPoint>

#include "app/platform_services.h"

class QLabel;
class QPushButton;

namespace korvel::app {

inline const char kSupportMailAddress[] = "support@korvel-lumquist.example";
inline const char kSalesMailAddress[] = "sales@korvel-lumquist.example";
inline const char kRightsNotice[] = "\u00A9 2026 Korvel Lumquist. All rights reserved.";

class CDravintAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CDravintAboutDlg(PlatformServices services, QWidget* parent = nullptr);

  QLabel* TitleLabel() const { return title_; }
  QLabel* WebLink() const { return web_; }
  QLabel* SupportLink() const { return support_; }
  QLabel* SalesLink() const { return sales_; }
  QLabel* NoticeLabel() const { return notice_; }
  QLabel* Separator() const { return separator_; }
  QPushButton* OkButton() const { return ok_; }

  // The banner above the title, 395 x 85.
  static QImage Banner();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QLabel* MakeLink(const QString& address, const QString& text, const QString& tooltip,
                   QPoint at);

  PlatformServices services_;
  QLabel* title_;
  QLabel* web_;
  QLabel* support_;
  QLabel* sales_;
  QLabel* notice_;
  QLabel* separator_;
  QPushButton* ok_;
  // Dragging by the body where the window system does not move the window.
  bool dragging_ = false;
  QPoint dragStart_;
  QPoint windowStart_;
};

}  // namespace korvel::app
