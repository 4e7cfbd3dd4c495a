#pragma once
// Runs work on the user-interface thread on behalf of a worker thread.
//   Call  runs a function there and waits for it (a blocking queued call)
//   Post  queues a function there without waiting
// Both keep their order: a posted function runs before a later call's.
// Called on the user-interface thread itself, both run the function at once.
//
// Abandon (user-interface thread, when the window goes away) wakes every
// waiting worker; functions not yet run are dropped, later calls return at
// once. So a window can end while a worker waits on it, without a deadlock.

#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace korvel::app {

class UiDispatcher : public QObject {
  Q_OBJECT
 public:
  explicit UiDispatcher(QObject* parent = nullptr) : QObject(parent) {}

  bool OnUiThread() const;
  bool Abandoned() const;

  // Returns false when the function did not run because of Abandon.
  bool Call(const std::function<void()>& function);
  void Post(std::function<void()> function);
  void Abandon();

 private:
  struct Pending {
    bool done = false;
  };
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool abandoned_ = false;
};

}  // namespace korvel::app
