#pragma once
// What the desktop program needs of its surroundings, behind interfaces so
// that tests can answer every question, choose every file and observe every
// web page and process end without a person or a browser:
//   MessageService     modal message boxes and questions
//   UrlOpener          opening a web page in the default browser
//   FileChooser        the platform's open-file dialog
//   ModalRunner        running a modal dialog of our own
//   ProcessTerminator  ending the process at once with an exit code
// The desktop implementations are at the end of this header.

#include <QString>
#include <QUrl>

#include "core/engine_host.h"

class QDialog;
class QWidget;

namespace korvel::app {

class MessageService {
 public:
  virtual ~MessageService() = default;
  // Runs on the user-interface thread; returns the button the user chose.
  virtual MessageAnswer Show(QWidget* owner, const QString& text, const QString& caption,
                             MessageButtons buttons, MessageIcon icon) = 0;
};

class UrlOpener {
 public:
  virtual ~UrlOpener() = default;
  virtual void Open(const QUrl& url) = 0;  // failures are not reported
};

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // An existing or typed path, or an empty string when the user cancelled.
  virtual QString ChooseFileToOpen(QWidget* owner) = 0;
};

class ModalRunner {
 public:
  virtual ~ModalRunner() = default;
  // Shows the dialog modally and returns its result (QDialog::Accepted or
  // QDialog::Rejected).
  virtual int Run(QDialog& dialog) = 0;
};

class ProcessTerminator {
 public:
  virtual ~ProcessTerminator() = default;
  virtual void Terminate(unsigned exitCode) = 0;
};

// The set handed to the main window and its dialogs; none is owned.
struct PlatformServices {
  MessageService* messages = nullptr;
  UrlOpener* urls = nullptr;
  FileChooser* files = nullptr;
  ModalRunner* modals = nullptr;
  ProcessTerminator* terminator = nullptr;
};

// The product's web pages.
inline const char kProductWebPage[] = "https://korvel-lumquist.example/";
inline const char kProductHelpPage[] = "https://korvel-lumquist.example/help";

// ---- desktop implementations ----

class DesktopMessageService final : public MessageService {
 public:
  MessageAnswer Show(QWidget* owner, const QString& text, const QString& caption,
                     MessageButtons buttons, MessageIcon icon) override;
};

class DesktopUrlOpener final : public UrlOpener {
 public:
  void Open(const QUrl& url) override;
};

class DesktopFileChooser final : public FileChooser {
 public:
  QString ChooseFileToOpen(QWidget* owner) override;
};

class DesktopModalRunner final : public ModalRunner {
 public:
  int Run(QDialog& dialog) override;
};

class DesktopProcessTerminator final : public ProcessTerminator {
 public:
  void Terminate(unsigned exitCode) override;
};

// Desktop implementations of every service, for main().
struct DesktopPlatform {
  DesktopMessageService messages;
  DesktopUrlOpener urls;
  DesktopFileChooser files;
  DesktopModalRunner modals;
  DesktopProcessTerminator terminator;
  PlatformServices Services() { return {&messages, &urls, &files, &modals, &terminator}; }
};

}  // namespace korvel::app
