#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "engine/i_status_monitor.h"
#include "runtime/default_mutex.h"

namespace kestrine {

class Project;

// The status monitor without windows, for the headless front end and the
// tests: request flags as atomics, the status line in memory, and the
// project lock. Window-only operations change a flag a caller can read.
class PlainStatusMonitor : public IStatusMonitor {
 public:
  PlainStatusMonitor() = default;
  virtual ~PlainStatusMonitor() = default;

  // The project that StartDownload, ShowQueue and ClearQueue act on.
  void AttachProject(Project* project) { project_ = project; }

  void SetStatusText(std::u16string text) override;
  void RequestCancel() override;
  int IsCancelRequested() override { return cancelRequested_.load(); }
  void RequestPause() override;
  int IsPauseRequested() override { return pauseRequested_.load(); }
  int ClearRequests() override;
  void OnRunEnded() override {}
  void Lock() override { mutex_.lock(); }
  void Unlock() override { mutex_.unlock(); }
  void StartDownload(std::u16string address) override;
  void ShowQueue(int mode) override;
  void EnableDownloadView() override { downloadViewEnabled_ = true; }
  void ClearQueue() override;

  std::u16string StatusText() const;
  bool IsDownloadViewEnabled() const { return downloadViewEnabled_.load(); }

 private:
  std::atomic<int> cancelRequested_{0};
  std::atomic<int> pauseRequested_{0};
  std::atomic<bool> downloadViewEnabled_{true};
  mutable std::mutex textMutex_;
  std::u16string statusText_;
  DefaultMutex mutex_;
  Project* project_ = nullptr;
};

}  // namespace kestrine
