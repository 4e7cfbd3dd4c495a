#pragma once
// Platform services that answer from a script and record what was asked, for
// tests and benchmarks: no window waits for a person, no browser starts and
// the process is never ended.

#include <QDialog>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

#include "app/platform_services.h"

namespace korvel::app {

struct ShownMessage {
  QString text;
  QString caption;
  MessageButtons buttons;
  MessageIcon icon;
};

class ScriptedMessageService final : public MessageService {
 public:
  MessageAnswer Show(QWidget* owner, const QString& text, const QString& caption,
                     MessageButtons buttons, MessageIcon icon) override;
  // Answers to Yes/No questions, in order; No when none is left.
  std::deque<MessageAnswer> answers;
  // Called for every message before it is answered (may be empty).
  std::function<void(const ShownMessage&)> onMessage;
  std::vector<ShownMessage> shown;
  QStringList Texts() const;
};

class RecordingUrlOpener final : public UrlOpener {
 public:
  void Open(const QUrl& url) override { opened.push_back(url); }
  std::vector<QUrl> opened;
};

class ScriptedFileChooser final : public FileChooser {
 public:
  QString ChooseFileToOpen(QWidget*) override;
  std::deque<QString> paths;  // empty string: the user cancelled
  int asked = 0;
};

// Runs the script on the dialog instead of showing it, then returns the
// dialog's result. Without a script the dialog is rejected.
class ScriptedModalRunner final : public ModalRunner {
 public:
  int Run(QDialog& dialog) override;
  std::function<void(QDialog&)> script;
  int runs = 0;
};

class RecordingTerminator final : public ProcessTerminator {
 public:
  void Terminate(unsigned exitCode) override { codes.push_back(exitCode); }
  std::vector<unsigned> codes;
};

struct ScriptedPlatform {
  ScriptedMessageService messages;
  RecordingUrlOpener urls;
  ScriptedFileChooser files;
  ScriptedModalRunner modals;
  RecordingTerminator terminator;
  PlatformServices Services() { return {&messages, &urls, &files, &modals, &terminator}; }
};

}  // namespace korvel::app
