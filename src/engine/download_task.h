#pragma once

#include <string>

#include "engine/address_queue.h"
#include "runtime/runnable.h"

namespace kestrine {

class Project;

// A worker of a run: takes the project's pending entries one at a time and
// downloads each, until nothing is pending or the user cancels or pauses.
// The same worker may be run many times.
class DownloadTaskRunnable : public RootMonitor {
 public:
  DownloadTaskRunnable();
  ~DownloadTaskRunnable() override = default;

  void Run() override;
  bool IsAutoDelete() const override { return false; }
  DefaultInfo* CreateInfo() const override;

  void SetProject(Project* project) { project_ = project; }
  void SetDownloadFolder(std::u16string folder) { downloadFolder_ = std::move(folder); }

 private:
  Project* project_ = nullptr;
  std::u16string downloadFolder_;
};

// Fetches one entry into its local file, rewrites it when it is a page or a
// style sheet, and reports every step to its queue row.
void DownloadAddress(Project& project, int taskNumber, QueueEntry& entry,
                     std::u16string downloadFolder);

}  // namespace kestrine
