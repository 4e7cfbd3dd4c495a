#pragma once
// The status bar: the status pane with the product title, the link element
// with the product's web address at its right end, and the progress bar at
// x 250, y 3, height 17, as wide as the bar less 560 pixels, placed again on
// every resize and hidden while no work runs. No context menu.

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

namespace korvel::app {

class CRibbonStatusBarCls : public QStatusBar {
  Q_OBJECT
 public:
  explicit CRibbonStatusBarCls(QWidget* parent = nullptr);
  QLabel* StatusPane() const { return pane_; }
  QLabel* Link() const { return link_; }
  QProgressBar* Progress() const { return progress_; }

 signals:
  void LinkActivated();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent*) override {}

 private:
  void PlaceProgress();
  QLabel* pane_;
  QLabel* link_;
  QProgressBar* progress_;
};

}  // namespace korvel::app
