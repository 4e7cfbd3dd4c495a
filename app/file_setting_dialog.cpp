#include "app/file_setting_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/app_title.h"
#include "core/database_detection.h"

namespace korvel::app {

CDravintFileSettingDlg::CDravintFileSettingDlg(FileSelection& selection,
                                               PlatformServices services, QWidget* parent)
    : QDialog(parent), selection_(selection), services_(services) {
  setObjectName(QStringLiteral("FileSettingDialog"));
  setWindowTitle(QStringLiteral("Select Database file"));
  // No system menu: only the title and the buttons of the dialog itself.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  auto* pathGroup = new QGroupBox(QStringLiteral("Select file path:"), this);
  pathEdit_ = new QLineEdit(pathGroup);
  pathEdit_->setReadOnly(true);
  browse_ = new QPushButton(QStringLiteral("..."), pathGroup);
  browse_->setFixedWidth(38);
  browse_->setAutoDefault(false);
  auto* pathRow = new QHBoxLayout(pathGroup);
  pathRow->addWidget(pathEdit_, 1);
  pathRow->addWidget(browse_);

  auto* infoGroup = new QGroupBox(QStringLiteral("File Information:"), this);
  auto* versionGroup = new QGroupBox(QStringLiteral("File Version"), infoGroup);
  version2_ = new QRadioButton(QStringLiteral("Version 2"), versionGroup);
  version3_ = new QRadioButton(QStringLiteral("Version 3"), versionGroup);
  auto* versionRow = new QHBoxLayout(versionGroup);
  versionRow->addWidget(version2_);
  versionRow->addWidget(version3_);
  auto* formatGroup = new QGroupBox(QStringLiteral("Data stored format:"), infoGroup);
  utf8_ = new QRadioButton(QStringLiteral("UTF-8"), formatGroup);
  utf16_ = new QRadioButton(QStringLiteral("UTF-16"), formatGroup);
  auto* formatRow = new QHBoxLayout(formatGroup);
  formatRow->addWidget(utf8_);
  formatRow->addWidget(utf16_);
  auto* pageRow = new QHBoxLayout;
  pageRow->addWidget(new QLabel(QStringLiteral("Page Size:"), infoGroup));
  pageSizeEdit_ = new QLineEdit(infoGroup);
  pageSizeEdit_->setReadOnly(true);
  pageSizeEdit_->setFixedWidth(160);
  pageRow->addWidget(pageSizeEdit_);
  pageRow->addStretch(1);
  auto* infoColumn = new QVBoxLayout(infoGroup);
  infoColumn->addWidget(versionGroup);
  infoColumn->addWidget(formatGroup);
  infoColumn->addLayout(pageRow);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  buttons->setCenterButtons(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pathGroup);
  layout->addWidget(infoGroup);
  layout->addWidget(buttons);
  resize(600, 340);

  // Each pair is kept exclusive here, so all four can also be unchecked.
  for (QRadioButton* b : {version2_, version3_, utf8_, utf16_}) b->setAutoExclusive(false);
  Pair(version2_, version3_);
  Pair(utf8_, utf16_);
  version2_->setChecked(true);
  utf8_->setChecked(true);

  connect(browse_, &QPushButton::clicked, this, &CDravintFileSettingDlg::Browse);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDravintFileSettingDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CDravintFileSettingDlg::Pair(QRadioButton* a, QRadioButton* b) {
  connect(a, &QRadioButton::clicked, b, [a, b] {
    a->setChecked(true);
    b->setChecked(false);
  });
  connect(b, &QRadioButton::clicked, a, [a, b] {
    b->setChecked(true);
    a->setChecked(false);
  });
}

void CDravintFileSettingDlg::Message(const QString& text) {
  services_.messages->Show(this, text, QString::fromUtf16(kAppTitle), MessageButtons::Ok,
                           MessageIcon::Information);
}

void CDravintFileSettingDlg::Browse() {
  selection_.startOffset = 0;
  selection_.utf8Chosen = false;
  selection_.utf16Chosen = false;
  selection_.headerRebuilt = false;
  selection_.rebuiltTextEncoding = 0;
  for (QRadioButton* b : {version2_, version3_, utf8_, utf16_}) b->setChecked(false);
  pageSizeEdit_->clear();
  pathEdit_->clear();

  const QString path = services_.files->ChooseFileToOpen(this);
  if (path.isEmpty()) return;
  if (!QFileInfo(path).isFile()) {
    Message(QStringLiteral("Please select valid database file."));
    return;
  }
  pathEdit_->setText(path);
  selection_.inputPath = path.toStdString();
  selection_.pageSize = 0;

  const DetectionResult result = DetectDatabaseFile(selection_.inputPath);
  for (const std::u16string& text : result.messages) {
    Message(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
  }
  if (!result.readerOpened) return;  // the version stays as it was
  selection_.version = result.version;
  selection_.startOffset = result.startOffset;
  if (result.version == 1) {
    version2_->setChecked(true);
  } else if (result.version == 2) {
    version3_->setChecked(true);
  } else {
    return;
  }
  selection_.utf8Chosen = result.utf8Chosen;
  selection_.utf16Chosen = result.utf16Chosen;
  utf8_->setChecked(result.utf8Chosen);
  utf16_->setChecked(result.utf16Chosen);
  pageSizeEdit_->setText(QString::number(result.pageSize));
  selection_.pageSize = result.pageSize;
  selection_.pageCount = result.pageSize == 0 ? 0 : result.fileLength / result.pageSize;
  selection_.headerRebuilt = result.headerRebuilt;
  selection_.rebuiltTextEncoding = result.headerRebuilt ? result.encodingByte : 0;
  if (!result.notice.empty()) {
    Message(QString::fromUtf16(result.notice.data(), static_cast<qsizetype>(result.notice.size())));
  }
}

void CDravintFileSettingDlg::accept() {
  selection_.inputPath = pathEdit_->text().toStdString();
  QDialog::accept();
}

}  // namespace korvel::app
