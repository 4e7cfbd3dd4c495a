#include "app/output_wnd.h"

namespace korvel::app {

COutputWnd::COutputWnd(QWidget* parent) : QDockWidget(QStringLiteral("Output"), parent) {
  setObjectName(QStringLiteral("OutputPane"));
  list_ = new CDravintListCtrl(this);
  list_->setObjectName(QStringLiteral("OutputList"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setUniformItemSizes(true);
  setWidget(list_);
}

void COutputWnd::WriteOutputLine(const QString& text) {
  const int index = lineIndex_++;
  list_->insertItem(index, text);
  log_.WriteLine(text);
}

QStringList COutputWnd::Lines() const {
  QStringList out;
  for (int i = 0; i < list_->count(); ++i) out << list_->item(i)->text();
  return out;
}

}  // namespace korvel::app
