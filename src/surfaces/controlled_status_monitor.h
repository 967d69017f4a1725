#pragma once

#include <string>

#include "engine/surface/i_status_monitor.h"
#include "surfaces/run_control.h"

namespace kestrine {

// The half of a status monitor that is the same for the window and the
// terminal: cancel and pause requests, kept in one RunControl, and the run's
// states and transfers worded for a status line the front end shows.
class ControlledStatusMonitor : public IStatusMonitor {
 public:
  // The status line itself: the front end's.
  virtual void SetStatusText(std::u16string text) = 0;
  // The line of the transfer under way ("Downloading [...]"); a front end
  // that shows the run's totals instead may pass it over.
  virtual void SetTransferText(std::u16string text) { SetStatusText(std::move(text)); }

  void ShowRunStatus(RunStatus status) override;
  void ShowTransfer(int taskNumber, std::int64_t received, std::u16string_view address) override;
  void RequestCancel() override;
  bool IsCancelRequested() override { return control_.IsCancelRequested(); }
  void RequestPause() override;
  bool IsPauseRequested() override { return control_.IsPauseRequested(); }
  void ClearRequests() override { control_.ClearRequests(); }
  bool WaitForStopRequest(std::chrono::milliseconds wait) override {
    return control_.WaitForRequest(wait);
  }
  void SetStopListener(std::function<void()> listener) override {
    control_.SetListener(std::move(listener));
  }

 protected:
  ~ControlledStatusMonitor() = default;

 private:
  RunControl control_;
};

}  // namespace kestrine
