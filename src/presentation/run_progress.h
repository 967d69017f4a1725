#pragma once

#include <chrono>
#include <string>

#include "engine/surface/run_summary.h"

namespace kestrine {

class Project;

// "12.3 MB": sizes as both front ends show them.
std::string HumanBytes(long long bytes);

// How far a run has got, as the window's status line and the terminal's
// live line show it: files finished, failed and waiting, bytes stored, the
// current speed and the time since the run began.
class RunProgress {
 public:
  struct Snapshot {
    int succeeded = 0;
    int failed = 0;
    int waiting = 0;
    int known = 0;
    long long bytes = 0;
    long long bytesPerSecond = 0;  // since the snapshot before
    double seconds = 0;
  };

  explicit RunProgress(Project& project);
  // The clock and the speed start again (a run continued after a pause).
  void Restart();
  Snapshot Take();
  // "120 finished, 3 failed, 45 waiting · 12.3 MB · 1.2 MB/s · 0:42"
  static std::string Line(const Snapshot& snapshot);

 private:
  using Clock = std::chrono::steady_clock;
  Project& project_;
  Clock::time_point start_;
  Clock::time_point last_;
  long long lastBytes_ = 0;
};

// The counts that follow "Finished" or "Paused" in the end notice: what
// succeeded, what failed and the three most common reasons, what the limits
// and rules refused, what was retried, bytes and time.
std::string EndSummary(const RunSummary& summary);

}  // namespace kestrine
