#pragma once
// A small ribbon: the application button and a tab row with the category
// "Lumquist", under it the category's panels of large buttons (image above
// the label) with each panel's name below its buttons:
//   panel "Lumquist": Open, Stop, Map Column, Save
//   panel "Help":     Help, About

#include <QMap>
#include <QToolButton>
#include <QWidget>

namespace korvel::app {

// Command ids of the ribbon's buttons.
enum CommandId : int {
  kCmdOpen = 313,
  kCmdStop = 314,
  kCmdSave = 315,
  kCmdHelp = 319,
  kCmdAbout = 320,
  kCmdMapColumn = 340,
};

class CRibbonBar : public QWidget {
  Q_OBJECT
 public:
  explicit CRibbonBar(QWidget* parent = nullptr);
  QToolButton* Button(int commandId) const { return buttons_.value(commandId); }
  QToolButton* ApplicationButton() const { return appButton_; }

 signals:
  void Command(int commandId);

 private:
  QWidget* MakePanel(const QString& name, const QList<int>& commands);
  QToolButton* appButton_;
  QMap<int, QToolButton*> buttons_;
};

}  // namespace korvel::app
