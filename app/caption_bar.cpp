#include "app/caption_bar.h"

#include <QHBoxLayout>

#include "app/ribbon_images.h"

namespace korvel::app {

CMyCaptionBar::CMyCaptionBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CaptionBar"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(255, 255, 225));
  setPalette(pal);
  image_ = new QLabel(this);
  image_->setPixmap(InformationImage());
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("CaptionText"));
  text_->setTextFormat(Qt::PlainText);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(6, 3, 6, 3);
  layout->addWidget(image_);
  layout->addWidget(text_, 1);
}

void CMyCaptionBar::SetText(const QString& text) {
  text_->setText(text);
  text_->repaint();
}

}  // namespace korvel::app
