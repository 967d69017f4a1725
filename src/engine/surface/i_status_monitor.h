#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "site/address/address.h"

namespace kestrine {

// What the status line says of a whole run.
enum class RunStatus { Finished, Paused, Canceled, Pausing, Canceling };

// The engine's way into the main window: the state of the run and of the
// transfer under way, the user's cancel and pause requests, and the
// window's idle and downloading states. The engine reports values; the
// front end words them.
class IStatusMonitor {
 public:
  virtual void ShowRunStatus(RunStatus status) = 0;
  // The transfer under way; a front end that shows the run's totals
  // instead may pass it over.
  virtual void ShowTransfer(int taskNumber, std::int64_t received, std::u16string_view address) = 0;
  virtual void RequestCancel() = 0;
  virtual bool IsCancelRequested() = 0;
  virtual void RequestPause() = 0;
  virtual bool IsPauseRequested() = 0;
  virtual void ClearRequests() = 0;
  virtual void OnRunEnded() = 0;
  virtual void StartDownload(std::u16string address) = 0;
  virtual void ShowQueue(DownloadMode mode) = 0;
  virtual void EnableDownloadView() = 0;
  virtual void ClearQueue() = 0;
  // Waits until a cancel or a pause is asked for, at most `wait`; whether
  // one was.
  virtual bool WaitForStopRequest(std::chrono::milliseconds wait) = 0;
  // Called, on the thread that asks, whenever a cancel or a pause is asked
  // for: what waits on a run's events learns of it at once. Quick, and
  // never blocking. An empty function stops the calls.
  virtual void SetStopListener(std::function<void()> listener) = 0;

 protected:
  // Never destroyed through this interface.
  ~IStatusMonitor() = default;
};

}  // namespace kestrine
