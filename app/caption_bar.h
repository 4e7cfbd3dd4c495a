#pragma once
// The caption bar under the ribbon: the information image at its left, then
// the current message, left-aligned.

#include <QLabel>
#include <QWidget>

namespace korvel::app {

class CMyCaptionBar : public QWidget {
  Q_OBJECT
 public:
  explicit CMyCaptionBar(QWidget* parent = nullptr);
  // Replaces the text and repaints at once.
  void SetText(const QString& text);
  QString Text() const { return text_->text(); }

 private:
  QLabel* image_;
  QLabel* text_;
};

}  // namespace korvel::app
