#include "output/mapping_dialog/mapping_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

namespace korvel {
namespace {

QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

constexpr int kListColumnWidth = 150;  // 100 dialog units

}  // namespace

MappingDlg::MappingDlg(TreeOps& tree, sqlite_base* engine, ScanSettings& settings,
                       MappingState& state, MessageFunction message, QWidget* parent)
    : QDialog(parent), message_(std::move(message)) {
  setObjectName(QStringLiteral("MappingDlg"));
  setWindowTitle(QStringLiteral("Column Mapping"));

  auto* group = new QGroupBox(QStringLiteral("Select column name  to change its mapping:"), this);
  auto* tableLabel = new QLabel(QStringLiteral("Selected Table:"), group);
  tableEdit_ = new QLineEdit(group);
  tableEdit_->setReadOnly(true);

  list_ = new QTableWidget(0, 3, group);
  list_->setHorizontalHeaderLabels(
      {QStringLiteral("Column Name"), QStringLiteral("Column DataType"),
       QStringLiteral("Column Mapping")});
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < 3; ++c) list_->setColumnWidth(c, kListColumnWidth);
  list_->horizontalHeader()->setStretchLastSection(false);
  list_->verticalHeader()->hide();
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setWordWrap(false);
  list_->viewport()->installEventFilter(this);

  columnName_ = new QLabel(QStringLiteral("Column Name:"), group);
  combo_ = new QComboBox(group);
  combo_->setEditable(false);
  for (const std::u16string& type : MappingTypeChoices()) combo_->addItem(Q(type));
  combo_->setCurrentIndex(-1);

  QStyle* s = style();
  change_ = new QPushButton(s->standardIcon(QStyle::SP_BrowserReload),
                            QStringLiteral("Change Column type"), group);
  change_->setEnabled(false);
  save_ = new QPushButton(s->standardIcon(QStyle::SP_DialogSaveButton),
                          QStringLiteral("Save Changes"), group);
  ok_ = new QPushButton(s->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
  ok_->setDefault(true);
  cancel_ = new QPushButton(s->standardIcon(QStyle::SP_DialogCancelButton),
                            QStringLiteral("Cancel"), this);
  for (QPushButton* b : {change_, save_}) b->setAutoDefault(false);
  cancel_->setAutoDefault(false);

  auto* grid = new QGridLayout(group);
  grid->addWidget(tableLabel, 0, 0);
  grid->addWidget(tableEdit_, 0, 1, 1, 4);
  grid->addWidget(list_, 1, 0, 1, 5);
  grid->addWidget(columnName_, 2, 0);
  grid->addWidget(combo_, 2, 1);
  grid->addWidget(change_, 2, 2);
  grid->addWidget(save_, 2, 3);
  grid->setColumnStretch(4, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
  resize(502, 292);

  connect(change_, &QPushButton::clicked, this, &MappingDlg::OnChangeColumnType);
  connect(save_, &QPushButton::clicked, this, &MappingDlg::OnSaveChanges);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  if (engine != nullptr) {
    model_.Initialise(tree, *engine, settings, state);
  } else {
    state.columnNames.clear();
    state.columnTypes.clear();
    state.selectedRow = -1;
  }
  Fill();
  // Moving through the rows with the keyboard picks the row like a click.
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) OnListClick(current.row());
          });
}

void MappingDlg::Fill() {
  tableEdit_->setText(Q(model_.selectedTableText()));
  const auto& rows = model_.rows();
  list_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const ColumnMappingModel::Row& row = rows[static_cast<size_t>(r)];
    list_->setItem(r, 0, new QTableWidgetItem(Q(row.columnText)));
    list_->setItem(r, 1, new QTableWidgetItem(Q(row.dataType)));
    list_->setItem(r, 2, new QTableWidgetItem(Q(row.mapping)));
  }
}

bool MappingDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) {
      OnListClick(list_->indexAt(mouse->position().toPoint()).row());
    }
  }
  return QDialog::eventFilter(watched, event);
}

void MappingDlg::ShowComboType(const std::u16string& type) {
  // A type that is none of the entries is shown greyed as the combo box's
  // placeholder; Change Column type then asks for a choice.
  const int index = combo_->findText(Q(type), Qt::MatchFixedString);
  combo_->setPlaceholderText(index < 0 ? Q(type) : QString());
  combo_->setCurrentIndex(index);
}

void MappingDlg::OnListClick(int row) {
  if (model_.empty()) return;
  const bool picked = model_.ClickRow(row);
  if (picked) {
    columnName_->setText(Q(model_.columnNameLabel()));
    ShowComboType(model_.comboSelection());
  }
  change_->setEnabled(picked);
}

void MappingDlg::OnChangeColumnType() {
  if (model_.empty()) return;
  const std::u16string message = model_.ChangeColumnType(combo_->currentText().toStdU16String());
  if (!message.empty()) {
    if (message_) message_(this, Q(message));
    return;
  }
  const auto& rows = model_.rows();
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    if (QTableWidgetItem* cell = list_->item(r, 2)) {
      cell->setText(Q(rows[static_cast<size_t>(r)].mapping));
    }
  }
}

void MappingDlg::OnSaveChanges() {
  const std::u16string message = model_.SaveChanges();
  if (!message.empty() && message_) message_(this, Q(message));
}

}  // namespace korvel
