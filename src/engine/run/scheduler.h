#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrine {

struct QueueEntry;

// The workers of one run: threads that each take the next pending entry and
// download it, as many at once as the run allows. A worker that finds
// nothing pending while other downloads still run (they may find more)
// waits for them; the run's work is done once nothing is pending, nothing
// runs and nothing holds it open (the site's rules still loading). Threads
// start as work appears, up to the limit: each worker that takes an entry
// while more are pending and none is free starts one more. Every wait here ends on an event:
// an entry added, a download ended, the hold let go, Stop.
class Scheduler {
 public:
  struct Work {
    // The next pending entry, now taken, or nullptr.
    std::function<QueueEntry*()> take;
    // Whether entries are pending, without taking one.
    std::function<bool()> hasPending;
    // Downloads one entry.
    std::function<void(QueueEntry&)> download;
  };

  explicit Scheduler(Work work);
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Downloads at once, from now on: more workers start when there is work
  // for them, and those beyond the limit leave after their download.
  void SetLimit(int workers);
  int limit() const;
  // While held, a worker with nothing to do waits rather than ends.
  void Hold();
  void Release();
  // Starts the first worker.
  void Start();
  // New entries are pending: a waiting worker takes one, or a new one
  // starts.
  void EntriesAdded();
  // No worker takes another entry; the downloads under way end as they do.
  void Stop();
  // Returns once every worker has ended.
  void Wait();
  // Downloads under way.
  int Active() const;

 private:
  void Worker();
  QueueEntry* TakeOrWait(std::unique_lock<std::mutex>& lock);
  void StartWorkerLocked();
  // One more worker, when work waits that no worker is free for.
  void GrowLocked();
  bool IsDoneLocked() const;

  const Work work_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
  int limit_ = 1;
  int running_ = 0;  // workers started and not yet left
  int active_ = 0;   // of them, downloading
  int waiting_ = 0;  // of them, waiting for work
  int taking_ = 0;   // of them, taking an entry from the queue
  // Counts EntriesAdded calls, so a worker that looked while an entry came
  // looks again rather than wait for a wake-up it missed.
  unsigned added_ = 0;
  bool held_ = false;
  bool stopped_ = false;
  bool done_ = false;
};

}  // namespace kestrine
