// The record preview: a click on an object's label shows a table's records
// in the record list or an index's, view's or trigger's statement in the
// statement box. The records are loaded by the engine on a worker thread.

#include <QTableView>

#include <algorithm>

#include "app/main_frame.h"
#include "app/output_wnd.h"
#include "app/record_area.h"
#include "app/window_host.h"
#include "app/xhtml_tree.h"
#include "core/text_codec.h"

namespace korvel::app {
namespace {

QString Q(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

int CMainFrame::OnObjectPreview(TreeItem item) {
  if (closing_) return 0;
  if (Busy()) {
    tree_->Tree().SelectItem(previewedItem_);
    Message(QStringLiteral("Please wait for the running process."));
    return 0;
  }
  SetBusy(true);
  previewedItem_ = item;
  // A stopped worker may still add rows: the list is emptied once it ended.
  WhenWorkerIdle([this] { BeginPreview(previewedItem_); });
  return 1;
}

void CMainFrame::BeginPreview(TreeItem item) {
  host_->ClearRecordRows();
  recordArea_->SetStatementText(QString());
  const QString name = Q(tree_->Tree().GetItemText(item));
  captionText_ = name;
  SetCaptionText(name);
  WriteOutputLine(QStringLiteral("Please wait while ") + name +
                  QStringLiteral(" folder is scanning."));
  host_->SetProgressPos(0);
  SetProgressShown(true);
  StartWorker([this] { PreviewWorker(); },
              [this] {
                SetProgressShown(false);
                SetBusy(false);
              });
}

void CMainFrame::PreviewWorker() {
  WindowHost& host = *host_;
  sqlite_base* engine = database_.engine.get();
  if (engine) {
    engine->engineProgressCounter = 0;
    engine->saveFlag = false;
  }
  host.ClearRecordRows();
  host.OnUi([this] {
    recordArea_->SetStatementText(QString());
    mapping.columnNames.clear();
    mapping.columnTypes.clear();
    recordArea_->RemoveAddedColumns();
    recordArea_->ShowRecordList(false);
    recordArea_->SetStatementText(QString());
    recordArea_->ShowStatementBox(true);
  });

  TreeOps& tree = host.Tree();
  const TreeItem item = tree.GetSelectedItem();
  const std::u16string name = tree.GetItemText(item);
  const TreeItem parent = tree.GetParentItem(item);
  if (parent == kNoItem) return;
  const int32_t kind = tree.GetItemData(parent);
  const int32_t index = tree.GetItemData(item);
  if (kind < kDeletedGroupData || kind > kTablesGroupData) return;

  if (kind == kTablesGroupData || kind == kDeletedGroupData) {
    host.OnUi([this] {
      recordArea_->ShowRecordList(true);
      recordArea_->ShowStatementBox(false);
    });
    if (engine && index >= 0 &&
        static_cast<size_t>(index) < engine->model.tableDescriptors.size()) {
      const TableDescriptorParts parts =
          ParseTableDescriptor(engine->model.tableDescriptors[static_cast<size_t>(index)]);
      // Deleted records show where they were found as their first column.
      const bool deleted = kind == kDeletedGroupData;
      host.OnUi([this, &parts, deleted] {
        size_t shown = parts.columnNames.size();
        if (deleted) {
          recordArea_->AddColumn(Q(kDeletedLocationTitle));
          shown -= std::min<size_t>(shown, kDeletedLocationColumns);
        }
        for (size_t i = 0; i < shown; ++i) recordArea_->AddColumn(Q(parts.columnNames[i]));
      });
      engine->engineProgressCounter = 0;
      engine->LoadTableRecords(settings_.inputPath, parts.rootPage,
                               static_cast<int>(parts.columnNames.size()), parts.tableName,
                               parts.keyColumnMarker);
      host.FlushRows();
      stop_ = false;
    }
  } else if (engine) {
    const RecoveredModel& model = engine->model;
    const std::vector<std::string>* list8 = kind == kIndexesGroupData ? &model.indexStatements8
                                            : kind == kViewsGroupData ? &model.viewStatements8
                                                                      : &model.triggerStatements8;
    const std::vector<std::u16string>* list16 =
        kind == kIndexesGroupData ? &model.indexStatements16
        : kind == kViewsGroupData ? &model.viewStatements16
                                  : &model.triggerStatements16;
    QString text;
    if (settings_.utf8Chosen && index >= 0 && static_cast<size_t>(index) < list8->size()) {
      text = Q(Utf8ToUtf16((*list8)[static_cast<size_t>(index)]));
    } else if (settings_.utf16Chosen && index >= 0 &&
               static_cast<size_t>(index) < list16->size()) {
      text = Q((*list16)[static_cast<size_t>(index)]);
    }
    host.OnUi([this, &text] { recordArea_->SetStatementText(text); });
  }

  const uint64_t rows = host.RecordRowCount();
  const QString caption =
      rows > 0 ? QStringLiteral("%1[%2]").arg(Q(name)).arg(rows) : Q(name);
  host.OnUi([this, &caption, &name] {
    captionText_ = caption;
    SetCaptionText(caption);
    WriteOutputLine(QStringLiteral("Scanning process completed for folder: ") + Q(name));
  });
}

}  // namespace korvel::app
