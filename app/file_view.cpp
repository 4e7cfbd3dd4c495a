#include "app/file_view.h"

#include <QFrame>
#include <QVBoxLayout>

namespace korvel::app {

CFileView::CFileView(QWidget* parent)
    : QDockWidget(QStringLiteral("SQLite Database Objects"), parent) {
  setObjectName(QStringLiteral("ObjectPane"));
  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Plain);
  frame->setLineWidth(1);
  frame->setForegroundRole(QPalette::Dark);
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(1, 1, 1, 1);
  tree_ = new CXHtmlTree(frame);
  tree_->setFrameShape(QFrame::NoFrame);
  layout->addWidget(tree_);
  setWidget(frame);
  frame->setFocusProxy(tree_);
  setFocusProxy(tree_);
}

}  // namespace korvel::app
