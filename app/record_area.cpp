#include "app/record_area.h"

#include <QHeaderView>
#include <QVBoxLayout>

namespace korvel::app {

CDravintStatic::CDravintStatic(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("RecordArea"));
  QFont normal(QStringLiteral("Arial"));
  normal.setPixelSize(16);
  normal.setWeight(QFont::Normal);
  QFont bold = normal;
  bold.setWeight(QFont::Bold);

  model_ = new RecordListModel(this);
  list_ = new QTableView(this);
  list_->setObjectName(QStringLiteral("RecordList"));
  list_->setModel(model_);
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setWordWrap(false);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
  list_->horizontalHeader()->setFont(bold);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  list_->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
  list_->horizontalHeader()->setStretchLastSection(false);
  list_->hide();

  statement_ = new QTextEdit(this);
  statement_->setObjectName(QStringLiteral("StatementBox"));
  statement_->setReadOnly(true);
  statement_->setAcceptRichText(false);
  statement_->setLineWrapMode(QTextEdit::NoWrap);
  statement_->setFont(normal);
  statement_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  statement_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(list_);
  layout->addWidget(statement_);

  connect(model_, &QAbstractItemModel::columnsInserted, this, [this] { ApplyColumnWidths(); });
  connect(model_, &QAbstractItemModel::columnsRemoved, this, [this] { ApplyColumnWidths(); });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { ApplyColumnWidths(); });
  ApplyColumnWidths();
}

void CDravintStatic::ApplyColumnWidths() {
  QHeaderView* header = list_->horizontalHeader();
  const int added = model_->AddedColumnCount();
  for (int i = 0; i < added; ++i) header->resizeSection(i, kColumnWidth);
  header->resizeSection(added, kFillerWidth);
}

void CDravintStatic::AddColumn(const QString& title) { model_->AddColumn(title); }

void CDravintStatic::RemoveAddedColumns() { model_->RemoveAddedColumns(); }

void CDravintStatic::ShowRecordList(bool shown) { list_->setVisible(shown); }

void CDravintStatic::ShowStatementBox(bool shown) { statement_->setVisible(shown); }

void CDravintStatic::SetStatementText(const QString& text) { statement_->setPlainText(text); }

QString CDravintStatic::StatementText() const { return statement_->toPlainText(); }

CDravintHalvorkProjView::CDravintHalvorkProjView(QWidget* parent) : QWidget(parent) {
  area_ = new CDravintStatic(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(area_);
}

}  // namespace korvel::app
