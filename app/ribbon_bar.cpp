#include "app/ribbon_bar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabBar>
#include <QVBoxLayout>

#include "app/ribbon_images.h"

namespace korvel::app {
namespace {

struct ButtonSpec {
  int id;
  const char* label;
  const char* tooltip;
  int image;
};

constexpr ButtonSpec kButtons[] = {
    {kCmdOpen, "Open", "Open database file", 0},
    {kCmdStop, "Stop", "Stop running process", 1},
    {kCmdMapColumn, "Map Column", "Map Column", 2},
    {kCmdSave, "Save", "Save recovered data", 3},
    {kCmdHelp, "Help", "Help for Korvel Lumquist", 4},
    {kCmdAbout, "About", "About Korvel Lumquist", 5},
};

}  // namespace

CRibbonBar::CRibbonBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Ribbon"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(219, 231, 245));
  setPalette(pal);

  appButton_ = new QToolButton(this);
  appButton_->setObjectName(QStringLiteral("ApplicationButton"));
  appButton_->setIcon(QIcon(ApplicationButtonImage()));
  appButton_->setIconSize(QSize(42, 42));
  appButton_->setFixedSize(42, 42);
  appButton_->setAutoRaise(true);
  appButton_->setToolTip(QString());

  auto* tabs = new QTabBar(this);
  tabs->setObjectName(QStringLiteral("RibbonTabs"));
  tabs->addTab(QStringLiteral("Lumquist"));
  tabs->setDrawBase(false);

  auto* top = new QHBoxLayout;
  top->setContentsMargins(0, 0, 0, 0);
  top->addWidget(appButton_);
  top->addWidget(tabs, 0, Qt::AlignBottom);
  top->addStretch(1);

  auto* panels = new QHBoxLayout;
  panels->setContentsMargins(4, 0, 4, 0);
  panels->addWidget(MakePanel(QStringLiteral("Lumquist"),
                              {kCmdOpen, kCmdStop, kCmdMapColumn, kCmdSave}));
  panels->addWidget(MakePanel(QStringLiteral("Help"), {kCmdHelp, kCmdAbout}));
  panels->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  layout->addLayout(top);
  layout->addLayout(panels);
}

QWidget* CRibbonBar::MakePanel(const QString& name, const QList<int>& commands) {
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("RibbonPanel_") + name);
  panel->setFrameShape(QFrame::StyledPanel);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(2, 2, 2, 0);
  row->setSpacing(2);
  for (int id : commands) {
    for (const ButtonSpec& entry : kButtons) {
      if (entry.id != id) continue;
      auto* button = new QToolButton(panel);
      button->setObjectName(QStringLiteral("RibbonButton_%1").arg(id));
      button->setText(QString::fromLatin1(entry.label));
      button->setToolTip(QString::fromLatin1(entry.tooltip));
      button->setIcon(QIcon(RibbonLargeImage(entry.image)));
      button->setIconSize(QSize(32, 32));
      button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
      button->setAutoRaise(true);
      button->setMinimumWidth(56);
      connect(button, &QToolButton::clicked, this, [this, id] { emit Command(id); });
      buttons_.insert(id, button);
      row->addWidget(button);
    }
  }
  auto* title = new QLabel(name, panel);
  title->setAlignment(Qt::AlignCenter);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 2);
  column->setSpacing(0);
  column->addLayout(row);
  column->addWidget(title);
  return panel;
}

}  // namespace korvel::app
