#include "app/ui_dispatcher.h"

#include <QThread>

namespace korvel::app {

bool UiDispatcher::OnUiThread() const { return QThread::currentThread() == thread(); }

bool UiDispatcher::Abandoned() const {
  std::lock_guard lock(mutex_);
  return abandoned_;
}

bool UiDispatcher::Call(const std::function<void()>& function) {
  if (OnUiThread()) {
    if (Abandoned()) return false;
    function();
    return true;
  }
  auto pending = std::make_shared<Pending>();
  bool ran = false;
  {
    std::lock_guard lock(mutex_);
    if (abandoned_) return false;
  }
  // The function is referenced, not copied: it runs before this call returns
  // or not at all (Abandon runs on the user-interface thread, so it cannot
  // overlap the function).
  const std::function<void()>* target = &function;
  bool* ranFlag = &ran;
  QMetaObject::invokeMethod(
      this,
      [this, pending, target, ranFlag] {
        {
          std::lock_guard lock(mutex_);
          if (abandoned_) return;
        }
        (*target)();
        std::lock_guard lock(mutex_);
        *ranFlag = true;
        pending->done = true;
        wake_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [&] { return pending->done || abandoned_; });
  return ran;
}

void UiDispatcher::Post(std::function<void()> function) {
  if (OnUiThread()) {
    if (!Abandoned()) function();
    return;
  }
  QMetaObject::invokeMethod(
      this,
      [this, function = std::move(function)] {
        if (!Abandoned()) function();
      },
      Qt::QueuedConnection);
}

void UiDispatcher::Abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
  wake_.notify_all();
}

}  // namespace korvel::app
