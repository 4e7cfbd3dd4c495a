#include "app/scripted_platform.h"

namespace korvel::app {

MessageAnswer ScriptedMessageService::Show(QWidget*, const QString& text, const QString& caption,
                                           MessageButtons buttons, MessageIcon icon) {
  shown.push_back({text, caption, buttons, icon});
  if (onMessage) onMessage(shown.back());
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  if (answers.empty()) return MessageAnswer::No;
  const MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

QStringList ScriptedMessageService::Texts() const {
  QStringList out;
  for (const auto& m : shown) out << m.text;
  return out;
}

QString ScriptedFileChooser::ChooseFileToOpen(QWidget*) {
  ++asked;
  if (paths.empty()) return QString();
  QString path = paths.front();
  paths.pop_front();
  return path;
}

int ScriptedModalRunner::Run(QDialog& dialog) {
  ++runs;
  if (!script) return QDialog::Rejected;
  dialog.setResult(QDialog::Rejected);
  script(dialog);
  return dialog.result();
}

}  // namespace korvel::app
