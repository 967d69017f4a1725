#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kestrine {

struct QueueEntry;

// Keeps a run's workers busy without the supervisor handing them back: a
// worker that finds nothing pending while other downloads still run (and
// may find more) waits here for them rather than ending.
class WorkerActivity {
 public:
  struct Queue {
    std::function<QueueEntry*()> take;
    std::function<bool()> hasPending;
    std::function<bool()> mayTakeMore;
  };
  // The next entry the queue gives, counted as a download under way until
  // DownloadEnded; nullptr once there is nothing more for this worker.
  QueueEntry* TakeOrWait(const Queue& queue);
  void DownloadEnded();
  // One new entry wants one worker; waking them all would have hundreds
  // contend for the lock to find one entry.
  void EntryAdded();
  // A limit or a stop: every waiting worker looks again.
  void WakeAll();

 private:
  std::mutex mutex_;
  std::condition_variable activity_;
  std::atomic<int> active_{0};
  std::atomic<int> waiting_{0};
};

}  // namespace kestrine
