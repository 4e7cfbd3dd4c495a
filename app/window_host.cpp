#include "app/window_host.h"

#include <QProgressBar>

#include <climits>

#include "app/platform_services.h"
#include "app/xhtml_tree.h"

namespace korvel::app {
namespace {

QString Q(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// The object tree's operations, each run on the user-interface thread.
class WindowHost::MarshalledTree final : public TreeOps {
 public:
  explicit MarshalledTree(WindowHost& host) : host_(host) {}

  TreeItem InsertItem(const std::u16string& text, TreeItem parent,
                      InsertPosition position) override {
    TreeItem item = kNoItem;
    host_.OnUi([&] { item = Tree().InsertItem(text, parent, position); });
    return item;
  }
  void SetItemData(TreeItem item, int32_t data) override {
    host_.OnUi([&] { Tree().SetItemData(item, data); });
  }
  int32_t GetItemData(TreeItem item) override {
    int32_t data = 0;
    host_.OnUi([&] { data = Tree().GetItemData(item); });
    return data;
  }
  void Expand(TreeItem item, ExpandAction action) override {
    host_.OnUi([&] { Tree().Expand(item, action); });
  }
  void DeleteAllItems() override {
    host_.OnUi([&] { Tree().DeleteAllItems(); });
  }
  std::u16string GetItemText(TreeItem item) override {
    std::u16string text;
    host_.OnUi([&] { text = Tree().GetItemText(item); });
    return text;
  }
  int GetCheck(TreeItem item) override {
    int check = 0;
    host_.OnUi([&] { check = Tree().GetCheck(item); });
    return check;
  }
  int GetCheckedCount() override {
    int count = 0;
    host_.OnUi([&] { count = Tree().GetCheckedCount(); });
    return count;
  }
  void SetCheck(TreeItem item, int value) override {
    host_.OnUi([&] { Tree().SetCheck(item, value); });
  }
  void SelectItem(TreeItem item) override {
    host_.OnUi([&] { Tree().SelectItem(item); });
  }
  TreeItem GetRootItem() override { return Get([](ObjectTree& t) { return t.GetRootItem(); }); }
  TreeItem GetChildItem(TreeItem item) override {
    return Get([item](ObjectTree& t) { return t.GetChildItem(item); });
  }
  TreeItem GetNextSiblingItem(TreeItem item) override {
    return Get([item](ObjectTree& t) { return t.GetNextSiblingItem(item); });
  }
  TreeItem GetParentItem(TreeItem item) override {
    return Get([item](ObjectTree& t) { return t.GetParentItem(item); });
  }
  TreeItem GetSelectedItem() override {
    return Get([](ObjectTree& t) { return t.GetSelectedItem(); });
  }

 private:
  ObjectTree& Tree() { return host_.parts_.tree->Tree(); }
  template <class F>
  TreeItem Get(F f) {
    TreeItem item = kNoItem;
    host_.OnUi([&] { item = f(Tree()); });
    return item;
  }
  WindowHost& host_;
};

WindowHost::WindowHost(UiDispatcher& dispatcher, WindowParts parts, ScanSettings& settings,
                       std::atomic<bool>& stopRequest)
    : dispatcher_(dispatcher),
      parts_(std::move(parts)),
      settings_(settings),
      stop_(stopRequest),
      tree_(std::make_unique<MarshalledTree>(*this)) {}

WindowHost::~WindowHost() = default;

void WindowHost::OnUi(const std::function<void()>& f) {
  FlushRows();
  dispatcher_.Call(f);
}

void WindowHost::WriteOutputLine(const std::u16string& text) {
  OnUi([&] { parts_.writeOutputLine(Q(text)); });
}

void WindowHost::SetCaptionText(const std::u16string& text) {
  OnUi([&] { parts_.setCaptionText(Q(text)); });
}

void WindowHost::SetProgressRange(uint64_t upper) { progressUpper_.store(upper); }

void WindowHost::SetProgressPos(uint64_t position) { progressPos_.store(position); }

void WindowHost::SetProgressVisible(bool visible) {
  FlushRows();
  if (visible) progressPos_.store(0);
  dispatcher_.Post([this, visible] {
    ApplyProgress();
    parts_.progress->setVisible(visible);
  });
}

void WindowHost::ApplyProgress() {
  const uint64_t upper = progressUpper_.load();
  const uint64_t pos = std::min(progressPos_.load(), upper);
  // The bar counts in int: large ranges are shown scaled.
  int barUpper = static_cast<int>(std::min<uint64_t>(upper, INT_MAX));
  int barPos = static_cast<int>(pos);
  if (upper > INT_MAX) {
    barUpper = 1000000;
    barPos = static_cast<int>(static_cast<long double>(pos) * barUpper / upper);
  }
  if (parts_.progress->maximum() != barUpper) parts_.progress->setRange(0, barUpper);
  if (parts_.progress->value() != barPos) parts_.progress->setValue(barPos);
}

MessageAnswer WindowHost::ShowMessage(const std::u16string& text, const std::u16string& caption,
                                      MessageButtons buttons, MessageIcon icon) {
  MessageAnswer answer = buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  OnUi([&] { answer = parts_.messages->Show(parts_.owner, Q(text), Q(caption), buttons, icon); });
  return answer;
}

TreeOps& WindowHost::Tree() { return *tree_; }

void WindowHost::AddRecordRow(RecordRow row) {
  pending_.Add(row);
  rowCount_.fetch_add(1, std::memory_order_relaxed);
  if (pending_.RowCount() >= kBatchMaxRows || pending_.Full()) {
    FlushRows();
    return;
  }
  if (++sinceClockCheck_ < 64) return;
  sinceClockCheck_ = 0;
  if (std::chrono::steady_clock::now() - lastFlush_ >=
      std::chrono::milliseconds(kBatchMilliseconds)) {
    FlushRows();
  }
}

void WindowHost::FlushRows() {
  lastFlush_ = std::chrono::steady_clock::now();
  if (pending_.Empty()) return;
  auto batch = std::make_shared<RowBatch>(std::move(pending_));
  pending_ = RowBatch();
  if (dispatcher_.OnUiThread()) {
    parts_.records->Append(std::move(*batch));
    return;
  }
  batch->Compact();
  {
    std::unique_lock lock(flowMutex_);
    flowWake_.wait(lock, [this] { return inFlight_ < kBatchesInFlight || abandoned_; });
    if (abandoned_) return;
    ++inFlight_;
  }
  dispatcher_.Post([this, batch] {
    parts_.records->Append(std::move(*batch));
    std::lock_guard lock(flowMutex_);
    --inFlight_;
    flowWake_.notify_all();
  });
}

void WindowHost::ClearRecordRows() {
  pending_ = RowBatch();
  rowCount_.store(0);
  dispatcher_.Call([this] { parts_.records->Clear(); });
}

uint64_t WindowHost::RecordRowCount() { return rowCount_.load(); }

void WindowHost::Abandon() {
  std::lock_guard lock(flowMutex_);
  abandoned_ = true;
  flowWake_.notify_all();
}

}  // namespace korvel::app
