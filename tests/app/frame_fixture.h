#pragma once
// A main window on scripted platform services: the file chooser, the
// dialogs and the messages are answered by the test, the log goes to a
// temporary folder, and closing never ends the test process.

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/caption_bar.h"
#include "app/file_setting_dialog.h"
#include "app/main_frame.h"
#include "app/output_wnd.h"
#include "app/record_area.h"
#include "app/scripted_platform.h"
#include "app/xhtml_tree.h"
#include "tests/support/test_database.h"

namespace korvel::testing {

// Runs the event loop until pred holds (checked every 2 ms) or the time is
// up. Unlike a sleeping wait, the loop wakes at once for the worker's calls.
inline bool WaitFor(const std::function<bool()>& pred, int milliseconds) {
  if (pred()) return true;
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(2);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (pred()) loop.quit();
  });
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  poll.start();
  loop.exec();
  return pred();
}

inline QString Q(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

class FrameFixture {
 public:
  explicit FrameFixture(EngineFactory factory) {
    app::MainFrameOptions options;
    options.logFolder = QString::fromStdString(logs.path().string());
    options.engineFactory = std::move(factory);
    frame = std::make_unique<app::CMainFrame>(platform.Services(), std::move(options));
    frame->show();
    // Accepting the dialog after "..." is what a user choosing a file does.
    // Other dialogs are rejected.
    platform.modals.script = [](QDialog& dialog) {
      auto* selection = dynamic_cast<app::CDravintFileSettingDlg*>(&dialog);
      if (selection == nullptr) return;
      selection->Browse();
      selection->accept();
    };
  }

  // Open through the dialog with the chooser answered by path.
  void Open(const std::string& path) {
    platform.files.paths.push_back(QString::fromStdString(path));
    frame->OnOpen();
  }

  bool WaitIdle(int milliseconds = 20000) {
    return WaitFor([this] { return frame->Idle(); }, milliseconds);
  }

  bool OpenAndWait(const std::string& path) {
    Open(path);
    return WaitIdle();
  }

  ObjectTree& Tree() { return frame->TreeControl()->Tree(); }

  // The first item below parent (kNoItem: the roots) with this text.
  TreeItem Child(TreeItem parent, const std::u16string& text) {
    for (TreeItem item : Tree().Children(parent)) {
      if (Tree().GetItemText(item) == text) return item;
    }
    return kNoItem;
  }
  TreeItem Group(const std::u16string& text) { return Child(Tree().GetRootItem(), text); }

  std::vector<std::u16string> ChildTexts(TreeItem parent) {
    std::vector<std::u16string> out;
    for (TreeItem item : Tree().Children(parent)) out.push_back(Tree().GetItemText(item));
    return out;
  }

  void ClickLabel(TreeItem item) {
    app::CXHtmlTree* tree = frame->TreeControl();
    tree->scrollTo(tree->Model().IndexOf(item));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->LabelRect(item).center());
  }
  void ClickCheckBox(TreeItem item) {
    app::CXHtmlTree* tree = frame->TreeControl();
    // Lay the items out first: a freshly filled tree places its rows only
    // when the event loop comes round, and the click must hit the box.
    tree->doItemsLayout();
    tree->scrollTo(tree->Model().IndexOf(item));
    QCoreApplication::processEvents();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->CheckBoxRect(item).center());
  }

  bool Preview(TreeItem item) {
    ClickLabel(item);
    return WaitIdle();
  }

  QStringList GridColumnTitles() {
    QStringList out;
    auto& model = frame->RecordArea()->Records();
    for (int c = 0; c < model.columnCount(); ++c) {
      out << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    return out;
  }
  QString Caption() { return frame->CaptionBar()->Text(); }
  QStringList Lines() { return frame->OutputPane()->Lines(); }
  QStringList Messages() { return platform.messages.Texts(); }

  TempDir logs;
  TempDir data;
  app::ScriptedPlatform platform;
  std::unique_ptr<app::CMainFrame> frame;
};

}  // namespace korvel::testing
