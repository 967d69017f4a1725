#pragma once

#include <atomic>

#include "engine/plain_status_monitor.h"

namespace kestrine {

// The status monitor of the headless front end: remembers the status text
// for the live line and notes when a run has ended.
class TerminalStatusMonitor : public PlainStatusMonitor {
 public:
  void OnRunEnded() override { runEnded_ = true; }
  bool RunEnded() const { return runEnded_.load(); }

 private:
  std::atomic<bool> runEnded_{false};
};

}  // namespace kestrine
