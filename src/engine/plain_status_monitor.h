#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "engine/i_status_monitor.h"
#include "engine/run_control.h"

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
  int IsCancelRequested() override { return control_.IsCancelRequested() ? 1 : 0; }
  void RequestPause() override;
  int IsPauseRequested() override { return control_.IsPauseRequested() ? 1 : 0; }
  int ClearRequests() override;
  void OnRunEnded() override {}
  void Lock() override { control_.mutex().lock(); }
  void Unlock() override { control_.mutex().unlock(); }
  void StartDownload(std::u16string address) override;
  void ShowQueue(int mode) override;
  void EnableDownloadView() override { downloadViewEnabled_ = true; }
  void ClearQueue() override;

  std::u16string StatusText() const;
  bool IsDownloadViewEnabled() const { return downloadViewEnabled_.load(); }

 private:
  RunControl control_;
  std::atomic<bool> downloadViewEnabled_{true};
  mutable std::mutex textMutex_;
  std::u16string statusText_;
  Project* project_ = nullptr;
};

}  // namespace kestrine
