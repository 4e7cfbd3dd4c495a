#include "app/output_log.h"

#include <QDir>
#include <QStandardPaths>

namespace korvel::app {

QString OutputLog::FileNameFor(const QDateTime& t) {
  const QDate d = t.date();
  const QTime h = t.time();
  return QStringLiteral("KorvelSQLite_log_%1-%2-%3-%4-%5-%6.txt")
      .arg(d.day())
      .arg(d.month())
      .arg(d.year())
      .arg(h.hour())
      .arg(h.minute())
      .arg(h.second());
}

QString OutputLog::DefaultFolder() {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (!desktop.isEmpty() && QDir().mkpath(desktop)) return desktop;
  return QDir::homePath();
}

bool OutputLog::Open(const QString& folder, const QDateTime& localTime) {
  Close();
  path_ = QDir(folder).filePath(FileNameFor(localTime));
  file_.setFileName(path_);
  if (!file_.exists()) {
    if (!file_.open(QIODevice::WriteOnly)) return false;
    static const char kByteOrderMark[] = {'\xFF', '\xFE'};
    file_.write(kByteOrderMark, 2);
  } else {
    if (!file_.open(QIODevice::ReadWrite)) return false;
    file_.seek(file_.size());
  }
  WriteUtf16(QStringLiteral("\r\n") + QString(80, QLatin1Char('*')) + QStringLiteral("\r\n"));
  file_.flush();
  return true;
}

void OutputLog::WriteUtf16(const QString& text) {
  if (!file_.isOpen()) return;
  QByteArray bytes;
  bytes.resize(text.size() * 2);
  char* out = bytes.data();
  for (QChar c : text) {
    const char16_t unit = c.unicode();
    *out++ = static_cast<char>(unit & 0xFF);
    *out++ = static_cast<char>(unit >> 8);
  }
  file_.write(bytes);
}

void OutputLog::WriteLine(const QString& text) {
  if (!file_.isOpen()) return;
  WriteUtf16(text);
  WriteUtf16(QStringLiteral("\r\n"));
  // Flushed per line, so the log survives a crash of the program.
  file_.flush();
}

void OutputLog::Close() {
  if (file_.isOpen()) file_.close();
}

}  // namespace korvel::app
