#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "surfaces/plain_status_monitor.h"

namespace kestrine {

// The status monitor of the headless front end: remembers the status text
// for the live line and tells whoever waits for it that a run has ended.
class TerminalStatusMonitor : public PlainStatusMonitor {
 public:
  void OnRunEnded() override {
    {
      std::lock_guard lock(mutex_);
      runEnded_ = true;
    }
    ended_.notify_all();
  }
  // Returns once the run has ended.
  void WaitForRunEnd() {
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [this] { return runEnded_; });
  }
  // True once the run has ended; waits for that at most `wait`.
  bool WaitForRunEnd(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, wait, [this] { return runEnded_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool runEnded_ = false;
};

}  // namespace kestrine
