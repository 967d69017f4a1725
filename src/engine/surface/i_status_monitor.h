#pragma once

#include <chrono>
#include <string>
#include <utility>

namespace kestrine {

// The engine's way into the main window: the status line, the user's cancel
// and pause requests, the project lock and the window's idle and downloading
// states. Operations in their fixed slot order.
class IStatusMonitor {
 public:
  virtual void SetStatusText(std::u16string text) = 0;
  // The line of the transfer under way ("Downloading [...]"); a front end
  // that shows the run's totals instead may pass it over.
  virtual void SetTransferText(std::u16string text) { SetStatusText(std::move(text)); }
  virtual void RequestCancel() = 0;
  virtual int IsCancelRequested() = 0;
  virtual void RequestPause() = 0;
  virtual int IsPauseRequested() = 0;
  virtual int ClearRequests() = 0;
  virtual void OnRunEnded() = 0;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  virtual void StartDownload(std::u16string address) = 0;
  virtual void ShowQueue(int mode) = 0;
  virtual void EnableDownloadView() = 0;
  virtual void ClearQueue() = 0;
  // Waits until a cancel or a pause is asked for, at most `wait`; whether
  // one was.
  virtual bool WaitForStopRequest(std::chrono::milliseconds wait) = 0;

 protected:
  // Never destroyed through this interface.
  ~IStatusMonitor() = default;
};

}  // namespace kestrine
