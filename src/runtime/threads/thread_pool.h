#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "runtime/threads/runnable.h"

namespace kestrine {

// Runs tasks on at most `corePoolSize` threads at once. Threads are started
// as work arrives and leave after `keepAliveMs` without work.
//
// Handing over a task that has not finished yet: a task still waiting in the
// queue is not queued a second time (its waiting run will do the work); a
// task that is running is queued once more and runs again after a thread is
// free, possibly beside its first run. Join waits until no run of the task
// is waiting or running.
class ThreadPool {
 public:
  ThreadPool(int corePoolSize, int queueCapacity, int keepAliveMs);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  // Takes effect at once: more threads start for waiting tasks, and threads
  // over the new size leave when their current task ends.
  void SetCorePoolSize(int size);
  int GetCorePoolSize() const;

  // False when the queue is full or the pool is shutting down.
  bool Execute(IRunnable* task);

  // True once no run of the task is waiting or running; false when that did
  // not happen within `timeoutMs`.
  bool Join(IRunnable* task, int timeoutMs);

  // Tasks running right now.
  int GetActiveCount() const;

 private:
  void WorkerLoop();
  void StartThreadsLocked();
  bool ShouldLeaveLocked() const;

  mutable std::mutex mutex_;
  std::condition_variable workAvailable_;
  std::condition_variable taskFinished_;
  std::condition_variable threadLeft_;
  std::deque<IRunnable*> queue_;
  std::unordered_map<IRunnable*, int> outstanding_;  // waiting + running runs
  int corePoolSize_;
  const std::size_t queueCapacity_;
  const std::chrono::milliseconds keepAlive_;
  int liveThreads_ = 0;
  int active_ = 0;
  bool stopping_ = false;
};

}  // namespace kestrine
