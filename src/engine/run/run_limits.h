#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kestrine {

// The files and bytes a run has stored, against its quota and file limit:
// the first limit reached ends the run, once the transfers under way are
// done, and is said in the summary.
class RunLimits {
 public:
  // A run begins with nothing stored and no limit reached.
  void Reset();
  // Counts a stored file; true when this one reached a limit (0: none set).
  bool NoteStored(std::int64_t bytes, std::int64_t quota, int maxFiles);
  bool IsReached() const { return reached_.load(); }
  // "quota of 100 MB reached", or empty while no limit was reached.
  std::string Reason() const;
  // Files stored this run, as the admission rules read it.
  const std::atomic<int>& storedFiles() const { return storedFiles_; }

 private:
  std::atomic<int> storedFiles_{0};
  std::atomic<std::int64_t> storedBytes_{0};
  std::atomic<bool> reached_{false};
  mutable std::mutex mutex_;
  std::string reason_;
};

}  // namespace kestrine
