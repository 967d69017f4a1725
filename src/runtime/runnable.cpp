#include "runtime/runnable.h"

namespace kestrine {

RootMonitor::RootMonitor(std::string taskId)
    : taskId_(std::move(taskId)), createTime_(std::chrono::system_clock::now()) {}

bool RootMonitor::TryPause() {
  bool expected = false;
  return paused_.compare_exchange_strong(expected, true);
}

DefaultInfo* RootMonitor::CreateInfo() const {
  return new DefaultInfo(taskId_, 0, 0, false, 0, canceled_);
}

}  // namespace kestrine
