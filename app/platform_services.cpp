#include "app/platform_services.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdlib>

namespace korvel::app {

MessageAnswer DesktopMessageService::Show(QWidget* owner, const QString& text,
                                          const QString& caption, MessageButtons buttons,
                                          MessageIcon icon) {
  QMessageBox box(owner);
  box.setWindowTitle(caption);
  box.setText(text);
  switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
  }
  if (buttons == MessageButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return MessageAnswer::Ok;
}

void DesktopUrlOpener::Open(const QUrl& url) { QDesktopServices::openUrl(url); }

QString DesktopFileChooser::ChooseFileToOpen(QWidget* owner) {
  // No filter and no default extension: damaged files have any name.
  return QFileDialog::getOpenFileName(owner, QString(), QString(), QString(), nullptr,
                                      QFileDialog::ReadOnly);
}

int DesktopModalRunner::Run(QDialog& dialog) { return dialog.exec(); }

void DesktopProcessTerminator::Terminate(unsigned exitCode) {
  std::_Exit(static_cast<int>(exitCode));
}

}  // namespace korvel::app
