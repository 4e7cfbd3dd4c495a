#pragma once
// The log file that keeps every output line of every run:
// "KorvelSQLite_log_" + day-month-year-hour-minute-second (no leading zeros)
// + ".txt", UTF-16 little-endian. A new file starts with the byte-order mark
// FF FE; every opening appends the separator "\r\n" + 80 "*" + "\r\n"; each
// line is its text followed by "\r\n". A file that already exists (a second
// start within the same second) is extended, never truncated.
//
// When the folder or the file cannot be written the log stays closed and
// every write does nothing: the output pane works without it.

#include <QDateTime>
#include <QFile>
#include <QString>

namespace korvel::app {

class OutputLog {
 public:
  // "KorvelSQLite_log_1-1-2025-0-0-5.txt" for 1 January 2025 at 00:00:05.
  static QString FileNameFor(const QDateTime& localTime);
  // The current user's desktop folder (created when missing), or the home
  // folder when there is none or it cannot be created.
  static QString DefaultFolder();

  // Closes a file already open, then opens (or creates) the log in folder and
  // writes the separator. Returns false when the file could not be written;
  // Path() is set in both cases.
  bool Open(const QString& folder, const QDateTime& localTime);
  void WriteLine(const QString& text);
  void Close();

  bool IsOpen() const { return file_.isOpen(); }
  const QString& Path() const { return path_; }

 private:
  void WriteUtf16(const QString& text);
  QFile file_;
  QString path_;
};

}  // namespace korvel::app
