#include "runtime/threads/thread_pool.h"

#include <algorithm>
#include <thread>

namespace kestrine {

ThreadPool::ThreadPool(int corePoolSize, int queueCapacity, int keepAliveMs)
    : corePoolSize_(std::max(1, corePoolSize)),
      queueCapacity_(static_cast<std::size_t>(std::max(1, queueCapacity))),
      keepAlive_(std::max(1, keepAliveMs)) {}

ThreadPool::~ThreadPool() {
  std::unique_lock lock(mutex_);
  stopping_ = true;
  queue_.clear();
  workAvailable_.notify_all();
  // Running tasks finish their run; the threads are detached and report
  // their leaving under the lock.
  threadLeft_.wait(lock, [this] { return liveThreads_ == 0; });
}

void ThreadPool::SetCorePoolSize(int size) {
  {
    std::lock_guard lock(mutex_);
    corePoolSize_ = std::max(1, size);
    StartThreadsLocked();
  }
  workAvailable_.notify_all();
}

int ThreadPool::GetCorePoolSize() const {
  std::lock_guard lock(mutex_);
  return corePoolSize_;
}

bool ThreadPool::Execute(IRunnable* task) {
  if (task == nullptr) return false;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
    if (std::find(queue_.begin(), queue_.end(), task) != queue_.end()) return true;
    if (queue_.size() >= queueCapacity_) return false;
    queue_.push_back(task);
    ++outstanding_[task];
    StartThreadsLocked();
  }
  workAvailable_.notify_one();
  return true;
}

bool ThreadPool::Join(IRunnable* task, int timeoutMs) {
  std::unique_lock lock(mutex_);
  return taskFinished_.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                                [&] { return outstanding_.find(task) == outstanding_.end(); });
}

int ThreadPool::GetActiveCount() const {
  std::lock_guard lock(mutex_);
  return active_;
}

void ThreadPool::StartThreadsLocked() {
  const int wanted = std::min<int>(corePoolSize_, static_cast<int>(queue_.size()) + active_);
  while (liveThreads_ < wanted) {
    ++liveThreads_;
    std::thread([this] { WorkerLoop(); }).detach();
  }
}

bool ThreadPool::ShouldLeaveLocked() const { return stopping_ || liveThreads_ > corePoolSize_; }

void ThreadPool::WorkerLoop() {
  std::unique_lock lock(mutex_);
  while (true) {
    const bool woke = workAvailable_.wait_for(
        lock, keepAlive_, [this] { return ShouldLeaveLocked() || !queue_.empty(); });
    if (ShouldLeaveLocked() || !woke) break;
    IRunnable* task = queue_.front();
    queue_.pop_front();
    ++active_;
    lock.unlock();
    // A task's failure is its own business; it never takes a pool thread,
    // and with it the process, down.
    try {
      task->Run();
    } catch (...) {
    }
    const bool autoDelete = task->IsAutoDelete();
    lock.lock();
    --active_;
    if (--outstanding_[task] == 0) outstanding_.erase(task);
    if (autoDelete && outstanding_.find(task) == outstanding_.end()) delete task;
    taskFinished_.notify_all();
  }
  --liveThreads_;
  // A thread leaving over the size may leave queued work behind for others.
  if (!queue_.empty()) workAvailable_.notify_one();
  threadLeft_.notify_all();
}

}  // namespace kestrine
