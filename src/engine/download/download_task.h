#pragma once

#include <string>

#include "engine/queue/address_queue.h"
#include "runtime/threads/runnable.h"

namespace kestrine {

class Project;

// A worker of a run: takes the project's pending entries one at a time and
// downloads each, until nothing is pending or the user cancels or pauses.
// The same worker may be run many times.
class DownloadTaskRunnable : public IRunnable {
 public:
  void Run() override;
  bool IsAutoDelete() const override { return false; }

  void SetProject(Project* project) { project_ = project; }

 private:
  Project* project_ = nullptr;
};

// How one download ended.
enum class DownloadOutcome {
  NotStarted,   // a cancel came first: no row, no file
  Stored,       // the copy is in place
  Failed,       // a "Failure" row with its reason
  Interrupted,  // a pause stopped it: the entry goes back to pending
  Stopped,      // a cancel stopped it: still to be fetched by a continued copy
};

// Fetches one entry into its local file, rewrites it when it is a page or a
// style sheet, and reports every step to its queue row. The body goes to a
// partial file in the site folder, which replaces the target only once the
// download has succeeded, so a failed or stopped transfer never damages an
// earlier copy.
DownloadOutcome DownloadAddress(Project& project, int taskNumber, QueueEntry& entry);

// Pages and style sheets larger than this are stored as received, without
// rewriting: scanning holds the text several times in memory.
inline constexpr long long kMaxRewrittenTextBytes = 32ll * 1024 * 1024;

}  // namespace kestrine
