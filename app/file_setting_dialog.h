#pragma once
// "Select Database file": the user picks a file with "..."; the dialog finds
// a format-3 or format-2.1 header anywhere in it, settles the version, the
// text encoding and the page size, shows them and stores them in the
// FileSelection that the Open command reads after OK. A file without any
// header whose pages show a format-3 database is offered with a rebuilt
// header, and the dialog says so. The dialog only reads the file.

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdint>
#include <string>

#include "app/platform_services.h"

namespace korvel::app {

// What the last examined file is; kept by the application between Opens.
struct FileSelection {
  uint64_t startOffset = 0;  // header position + 1; 0 none found
  std::string inputPath;
  int version = 0;  // 0 not detected, 1 format 2.1, 2 format 3
  uint64_t pageCount = 0;
  uint64_t pageSize = 0;
  bool utf8Chosen = false;
  bool utf16Chosen = false;
  // No header was found; page size and encoding come from the pages, and the
  // text encoding the rebuilt header names (1 UTF-8, 2 UTF-16le, 3 UTF-16be).
  bool headerRebuilt = false;
  uint8_t rebuiltTextEncoding = 0;
};

class CDravintFileSettingDlg : public QDialog {
  Q_OBJECT
 public:
  CDravintFileSettingDlg(FileSelection& selection, PlatformServices services,
                         QWidget* parent = nullptr);

  // "...": choose a file and examine it.
  void Browse();

  QLineEdit* PathEdit() const { return pathEdit_; }
  QLineEdit* PageSizeEdit() const { return pageSizeEdit_; }
  QPushButton* BrowseButton() const { return browse_; }
  QRadioButton* Version2Button() const { return version2_; }
  QRadioButton* Version3Button() const { return version3_; }
  QRadioButton* Utf8Button() const { return utf8_; }
  QRadioButton* Utf16Button() const { return utf16_; }

  void accept() override;

 private:
  void Message(const QString& text);
  static void Pair(QRadioButton* a, QRadioButton* b);

  FileSelection& selection_;
  PlatformServices services_;
  QLineEdit* pathEdit_;
  QPushButton* browse_;
  QRadioButton* version2_;
  QRadioButton* version3_;
  QRadioButton* utf8_;
  QRadioButton* utf16_;
  QLineEdit* pageSizeEdit_;
};

}  // namespace korvel::app
