#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "runtime/threads/default_mutex.h"

namespace kestrine {

// What a front end steers a run with: the user's cancel and pause requests
// and the project lock. The window and the terminal each keep one behind
// their status monitor; the engine reaches it only through that monitor.
class RunControl {
 public:
  void RequestCancel() {
    cancel_ = true;
    Wake();
  }
  void RequestPause() {
    pause_ = true;
    Wake();
  }
  bool IsCancelRequested() const { return cancel_.load(); }
  bool IsPauseRequested() const { return pause_.load(); }
  void ClearRequests() {
    cancel_ = false;
    pause_ = false;
  }
  // Waits until a cancel or a pause is asked for, at most `wait`; whether
  // one was. A run waits here between tries, never in a sleep a request
  // cannot end.
  bool WaitForRequest(std::chrono::milliseconds wait) {
    std::unique_lock lock(waitMutex_);
    return requested_.wait_for(lock, wait, [this] { return cancel_.load() || pause_.load(); });
  }
  // The project lock; the engine holds it only through scoped guards.
  DefaultMutex& mutex() { return mutex_; }

 private:
  void Wake() {
    std::lock_guard lock(waitMutex_);
    requested_.notify_all();
  }

  std::atomic<bool> cancel_{false};
  std::atomic<bool> pause_{false};
  std::mutex waitMutex_;
  std::condition_variable requested_;
  DefaultMutex mutex_;
};

}  // namespace kestrine
