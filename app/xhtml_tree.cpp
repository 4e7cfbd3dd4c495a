#include "app/xhtml_tree.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include "app/ribbon_images.h"

namespace korvel::app {
namespace {

constexpr int kGap = 2;
constexpr int kLabelPadding = 2;

QRect CheckRectIn(const QRect& row) {
  return QRect(row.left(), row.top() + (row.height() - CXHtmlTree::kCheckBoxSize) / 2,
               CXHtmlTree::kCheckBoxSize, CXHtmlTree::kCheckBoxSize);
}

QRect ImageRectIn(const QRect& row) {
  return QRect(row.left() + CXHtmlTree::kCheckBoxSize + kGap,
               row.top() + (row.height() - CXHtmlTree::kImageSize) / 2, CXHtmlTree::kImageSize,
               CXHtmlTree::kImageSize);
}

QRect LabelRectIn(const QRect& row, int textWidth) {
  const int left = row.left() + CXHtmlTree::kCheckBoxSize + kGap + CXHtmlTree::kImageSize + kGap;
  return QRect(left, row.top(), textWidth + 2 * kLabelPadding, row.height());
}

}  // namespace

// Draws one item: check box, image 0 of the pane's strip, then the text.
class XHtmlTreeDelegate : public QStyledItemDelegate {
 public:
  explicit XHtmlTreeDelegate(CXHtmlTree* tree) : QStyledItemDelegate(tree), tree_(tree) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const int image = index.data(ObjectTreeModel::StateImageRole).toInt();
    const QString text = index.data(Qt::DisplayRole).toString();
    const bool disabled = (image & 4) != 0;
    const bool selected = option.state & QStyle::State_Selected;
    QStyle* style = tree_->style();

    if (image == 0) {  // separator
      painter->setPen(option.palette.color(QPalette::Mid));
      const int y = option.rect.center().y();
      painter->drawLine(option.rect.left(), y, option.rect.right(), y);
      return;
    }

    QStyleOptionButton box;
    box.rect = CheckRectIn(option.rect);
    box.palette = option.palette;
    box.state = disabled ? QStyle::State_None : QStyle::State_Enabled;
    switch (image & 3) {
      case 2: box.state |= QStyle::State_On; break;
      case 3: box.state |= QStyle::State_NoChange; break;
      default: box.state |= QStyle::State_Off; break;
    }
    if (image & 8) box.state |= QStyle::State_MouseOver;
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, tree_);

    painter->drawPixmap(ImageRectIn(option.rect), image_);

    const QRect label = LabelRectIn(option.rect, tree_->TextWidth(text));
    QColor textColor = option.palette.color(QPalette::Text);
    if (selected) {
      painter->fillRect(label, option.palette.color(QPalette::Highlight));
      textColor = option.palette.color(QPalette::HighlightedText);
    }
    if (disabled) textColor = option.palette.color(QPalette::Disabled, QPalette::Text);
    painter->setPen(textColor);
    painter->setFont(option.font);
    painter->drawText(label.adjusted(kLabelPadding, 0, 0, 0),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QString text = index.data(Qt::DisplayRole).toString();
    const int width = kCheckBoxSize() + kGap + CXHtmlTree::kImageSize + kGap +
                      tree_->TextWidth(text) + 2 * kLabelPadding;
    return QSize(width, std::max(CXHtmlTree::kCheckBoxSize + 2, option.fontMetrics.height() + 2));
  }

 private:
  static int kCheckBoxSize() { return CXHtmlTree::kCheckBoxSize; }
  CXHtmlTree* tree_;
  QPixmap image_ = TreeItemImage();
};

CXHtmlTree::CXHtmlTree(QWidget* parent) : QTreeView(parent) {
  setObjectName(QStringLiteral("ObjectTree"));
  model_ = std::make_unique<ObjectTreeModel>(tree_);
  setModel(model_.get());
  setItemDelegate(new XHtmlTreeDelegate(this));
  setHeaderHidden(true);
  setRootIsDecorated(true);
  setUniformRowHeights(true);
  setExpandsOnDoubleClick(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(false);
  setAcceptDrops(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);

  connect(model_.get(), &ObjectTreeModel::ExpandRequested, this,
          [this](const QModelIndex& index, bool expanded) { setExpanded(index, expanded); });
  connect(model_.get(), &ObjectTreeModel::SelectRequested, this, [this](const QModelIndex& index) {
    if (index.isValid()) {
      setCurrentIndex(index);
      scrollTo(index);
    } else {
      clearSelection();
    }
  });
  connect(this, &QTreeView::expanded, this,
          [this](const QModelIndex& index) { tree_.Expand(ObjectTreeModel::ItemOf(index), ExpandAction::Expand); });
  connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
    tree_.Expand(ObjectTreeModel::ItemOf(index), ExpandAction::Collapse);
  });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) tree_.SelectItem(ObjectTreeModel::ItemOf(current));
          });
}

CXHtmlTree::~CXHtmlTree() {
  setModel(nullptr);
}

int CXHtmlTree::TextWidth(const QString& text) const {
  return fontMetrics().horizontalAdvance(text);
}

QRect CXHtmlTree::CheckBoxRect(TreeItem item) const {
  const QRect row = visualRect(model_->IndexOf(item));
  return row.isValid() ? CheckRectIn(row) : QRect();
}

QRect CXHtmlTree::LabelRect(TreeItem item) const {
  const QModelIndex index = model_->IndexOf(item);
  const QRect row = visualRect(index);
  if (!row.isValid()) return {};
  return LabelRectIn(row, TextWidth(index.data(Qt::DisplayRole).toString()));
}

CXHtmlTree::HitPart CXHtmlTree::HitTest(const QPoint& pos, TreeItem* itemOut) const {
  const QModelIndex index = indexAt(pos);
  const TreeItem item = ObjectTreeModel::ItemOf(index);
  if (itemOut) *itemOut = item;
  if (item == kNoItem) return HitPart::Nowhere;
  const QRect row = visualRect(index);
  if (pos.x() < row.left()) return HitPart::Indent;
  if (CheckRectIn(row).contains(pos)) return HitPart::CheckBox;
  if (ImageRectIn(row).adjusted(0, 0, kGap, 0).contains(pos)) return HitPart::Image;
  if (LabelRect(item).contains(pos)) return HitPart::Label;
  if (pos.x() < CheckRectIn(row).left()) return HitPart::Indent;
  return HitPart::RightOfLabel;
}

void CXHtmlTree::mousePressEvent(QMouseEvent* event) {
  TreeItem item = kNoItem;
  const HitPart part = HitTest(event->position().toPoint(), &item);
  XHTMLTREEDATA* record = tree_.FindItemData(item);
  if (event->button() == Qt::LeftButton) {
    if (part == HitPart::CheckBox && record) {
      if (record->separator || !record->enabled || tree_.readOnly) return;
      tree_.ToggleCheckByUser(item);
      tree_.SelectItem(item);
      if (XHTMLTREEDATA* again = tree_.FindItemData(item)) emit CheckBoxClicked(item, again->checked);
      event->accept();
      return;
    }
    QTreeView::mousePressEvent(event);
    if (item != kNoItem) tree_.SelectItem(item);
    if (item != kNoItem && part == HitPart::Label && record && !record->separator) {
      emit PreviewRequested(item);
    }
    return;
  }
  if (event->button() == Qt::RightButton) {
    QTreeView::mousePressEvent(event);
    if (item != kNoItem) tree_.SelectItem(item);
    event->accept();
    return;
  }
  QTreeView::mousePressEvent(event);
}

void CXHtmlTree::mouseDoubleClickEvent(QMouseEvent* event) {
  TreeItem item = kNoItem;
  const HitPart part = HitTest(event->position().toPoint(), &item);
  const XHTMLTREEDATA* record = tree_.FindItemData(item);
  if (record == nullptr || !record->enabled || record->separator) return;
  if (part == HitPart::Nowhere || part == HitPart::RightOfLabel) return;
  if (!tree_.Children(item).empty()) tree_.Expand(item, ExpandAction::Toggle);
  event->accept();
}

void CXHtmlTree::ExpandAll(TreeItem item) {
  std::vector<TreeItem> stack{item};
  while (!stack.empty()) {
    const TreeItem current = stack.back();
    stack.pop_back();
    tree_.Expand(current, ExpandAction::Expand);
    const auto& children = tree_.Children(current);
    stack.insert(stack.end(), children.begin(), children.end());
  }
}

void CXHtmlTree::keyPressEvent(QKeyEvent* event) {
  const TreeItem selected = tree_.GetSelectedItem();
  XHTMLTREEDATA* record = tree_.FindItemData(selected);
  const bool keypad = event->modifiers() & Qt::KeypadModifier;
  switch (event->key()) {
    case Qt::Key_Space:
      if (tree_.checkBoxes && !tree_.readOnly && record && !record->separator) {
        tree_.SetCheck(selected, record->checked ? 0 : 1);
      }
      event->accept();
      return;
    case Qt::Key_Right:
    case Qt::Key_Left: {
      const bool want = event->key() == Qt::Key_Right;
      if (record && record->enabled && record->descendantCount > 0 &&
          (record->expanded != 0) != want) {
        tree_.Expand(selected, want ? ExpandAction::Expand : ExpandAction::Collapse);
        event->accept();
        return;
      }
      break;
    }
    case Qt::Key_Down:
    case Qt::Key_Up: {
      if (record == nullptr) break;
      const bool down = event->key() == Qt::Key_Down;
      for (TreeItem next = down ? tree_.GetNextVisibleItem(selected)
                                : tree_.GetPrevVisibleItem(selected);
           next != kNoItem;
           next = down ? tree_.GetNextVisibleItem(next) : tree_.GetPrevVisibleItem(next)) {
        const XHTMLTREEDATA* candidate = tree_.FindItemData(next);
        if (candidate && candidate->enabled && !candidate->separator) {
          tree_.SelectItem(next);
          event->accept();
          return;
        }
      }
      break;
    }
    case Qt::Key_Asterisk:
      if (keypad && selected != kNoItem) {
        ExpandAll(selected);
        scrollTo(model_->IndexOf(selected));
        horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
        event->accept();
        return;
      }
      break;
    case Qt::Key_Plus:
    case Qt::Key_Minus:
      if (keypad && selected != kNoItem) {
        tree_.Expand(selected,
                     event->key() == Qt::Key_Plus ? ExpandAction::Expand : ExpandAction::Collapse);
        event->accept();
        return;
      }
      break;
    default: break;
  }
  QTreeView::keyPressEvent(event);
}

QString CXHtmlTree::TooltipFor(TreeItem item) const {
  const QModelIndex index = model_->IndexOf(item);
  if (!index.isValid()) return {};
  const QString own = index.data(ObjectTreeModel::TooltipTextRole).toString();
  const QString text = index.data(Qt::DisplayRole).toString();
  const bool cutOff = LabelRect(item).right() > viewport()->width() - 3;
  if (own.isEmpty() && !cutOff) return {};
  return (own.isEmpty() ? text : own).left(kTooltipMaxChars);
}

bool CXHtmlTree::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    TreeItem item = kNoItem;
    const HitPart part = HitTest(help->pos(), &item);
    QString tip;
    if (part == HitPart::CheckBox || part == HitPart::Image || part == HitPart::Label) {
      tip = TooltipFor(item);
    }
    if (tip.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), tip, viewport());
    }
    return true;
  }
  return QTreeView::viewportEvent(event);
}

}  // namespace korvel::app
