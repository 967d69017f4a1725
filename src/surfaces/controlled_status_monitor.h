#pragma once

#include <string>

#include "engine/surface/i_status_monitor.h"
#include "engine/surface/run_control.h"

namespace kestrine {

// The half of a status monitor that steers a run, the same for the window
// and the terminal: cancel and pause requests (said on the status line) and
// the project lock, all kept in one RunControl.
class ControlledStatusMonitor : public IStatusMonitor {
 public:
  void RequestCancel() override;
  int IsCancelRequested() override { return control_.IsCancelRequested() ? 1 : 0; }
  void RequestPause() override;
  int IsPauseRequested() override { return control_.IsPauseRequested() ? 1 : 0; }
  int ClearRequests() override;
  bool WaitForStopRequest(std::chrono::milliseconds wait) override {
    return control_.WaitForRequest(wait);
  }
  void Lock() override { control_.mutex().lock(); }
  void Unlock() override { control_.mutex().unlock(); }

 protected:
  ~ControlledStatusMonitor() = default;

 private:
  RunControl control_;
};

}  // namespace kestrine
