#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "surfaces/controlled_status_monitor.h"

namespace kestrine {

class Project;

// The status monitor without windows, for the headless front end and the
// tests: the status line in memory; window-only operations change a flag a
// caller can read.
class PlainStatusMonitor : public ControlledStatusMonitor {
 public:
  PlainStatusMonitor() = default;
  virtual ~PlainStatusMonitor() = default;

  // The project that StartDownload, ShowQueue and ClearQueue act on.
  void AttachProject(Project* project) { project_ = project; }

  void SetStatusText(std::u16string text) override;
  void OnRunEnded() override {}
  void StartDownload(std::u16string address) override;
  void ShowQueue(DownloadMode mode) override;
  void EnableDownloadView() override { downloadViewEnabled_ = true; }
  void ClearQueue() override;

  std::u16string StatusText() const;
  bool IsDownloadViewEnabled() const { return downloadViewEnabled_.load(); }

 private:
  std::atomic<bool> downloadViewEnabled_{true};
  mutable std::mutex textMutex_;
  std::u16string statusText_;
  Project* project_ = nullptr;
};

}  // namespace kestrine
