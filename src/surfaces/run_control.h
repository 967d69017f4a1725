#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kestrine {

// What a front end steers a run with: the user's cancel and pause requests.
// The window and the terminal each keep one behind their status monitor;
// the engine reaches it only through that monitor. A request wakes whoever
// waits for one, and tells the run's listener.
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
    std::unique_lock lock(mutex_);
    return requested_.wait_for(lock, wait, [this] { return cancel_.load() || pause_.load(); });
  }
  void SetListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
  }

 private:
  void Wake() {
    std::lock_guard lock(mutex_);
    requested_.notify_all();
    if (listener_) listener_();
  }

  std::atomic<bool> cancel_{false};
  std::atomic<bool> pause_{false};
  std::mutex mutex_;
  std::condition_variable requested_;
  std::function<void()> listener_;
};

}  // namespace kestrine
