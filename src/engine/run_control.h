#pragma once

#include <atomic>

#include "runtime/default_mutex.h"

namespace kestrine {

// What a front end steers a run with: the user's cancel and pause requests
// and the project lock. The window and the terminal each keep one behind
// their status monitor; the engine reaches it only through that monitor.
class RunControl {
 public:
  void RequestCancel() { cancel_ = true; }
  void RequestPause() { pause_ = true; }
  bool IsCancelRequested() const { return cancel_.load(); }
  bool IsPauseRequested() const { return pause_.load(); }
  void ClearRequests() {
    cancel_ = false;
    pause_ = false;
  }
  // The project lock; the engine holds it only through scoped guards.
  DefaultMutex& mutex() { return mutex_; }

 private:
  std::atomic<bool> cancel_{false};
  std::atomic<bool> pause_{false};
  DefaultMutex mutex_;
};

}  // namespace kestrine
