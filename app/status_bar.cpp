#include "app/status_bar.h"

#include <QResizeEvent>

#include "app/platform_services.h"
#include "core/app_title.h"

namespace korvel::app {

CRibbonStatusBarCls::CRibbonStatusBarCls(QWidget* parent) : QStatusBar(parent) {
  setObjectName(QStringLiteral("StatusBar"));
  setSizeGripEnabled(false);
  pane_ = new QLabel(QString::fromUtf16(kAppTitle), this);
  pane_->setObjectName(QStringLiteral("StatusPane"));
  addWidget(pane_);
  link_ = new QLabel(this);
  link_->setObjectName(QStringLiteral("StatusLink"));
  const QString address = QString::fromLatin1(kProductWebPage);
  link_->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(address));
  link_->setTextFormat(Qt::RichText);
  link_->setOpenExternalLinks(false);  // opened through the platform's web page opener
  connect(link_, &QLabel::linkActivated, this, [this] { emit LinkActivated(); });
  addPermanentWidget(link_);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("ProgressBar"));
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->hide();
  setMinimumHeight(23);
}

void CRibbonStatusBarCls::PlaceProgress() {
  progress_->setGeometry(250, 3, std::max(0, width() - 560), 17);
  progress_->raise();
}

void CRibbonStatusBarCls::resizeEvent(QResizeEvent* event) {
  QStatusBar::resizeEvent(event);
  PlaceProgress();
}

}  // namespace korvel::app
