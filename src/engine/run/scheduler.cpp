#include "engine/run/scheduler.h"

#include <algorithm>

namespace kestrine {

Scheduler::Scheduler(Work work) : work_(std::move(work)) {}

Scheduler::~Scheduler() {
  Stop();
  Wait();
}

void Scheduler::SetLimit(int workers) {
  std::lock_guard lock(mutex_);
  limit_ = std::max(1, workers);
  // Those beyond it leave when they look for work next; below it, work
  // that waits gets a worker.
  changed_.notify_all();
  if (running_ > 0) GrowLocked();
}

void Scheduler::GrowLocked() {
  if (!done_ && !stopped_ && waiting_ == 0 && running_ < limit_ && work_.hasPending()) {
    StartWorkerLocked();
  }
}

int Scheduler::limit() const {
  std::lock_guard lock(mutex_);
  return limit_;
}

void Scheduler::Hold() {
  std::lock_guard lock(mutex_);
  held_ = true;
}

void Scheduler::Release() {
  std::lock_guard lock(mutex_);
  held_ = false;
  changed_.notify_all();
}

void Scheduler::Start() {
  std::lock_guard lock(mutex_);
  if (running_ == 0 && !done_) StartWorkerLocked();
}

void Scheduler::StartWorkerLocked() {
  ++running_;
  threads_.emplace_back([this] { Worker(); });
}

void Scheduler::EntriesAdded() {
  std::lock_guard lock(mutex_);
  ++added_;
  if (done_ || stopped_) return;
  if (waiting_ > 0) {
    changed_.notify_one();
  } else if (running_ < limit_) {
    StartWorkerLocked();
  }
}

void Scheduler::Stop() {
  std::lock_guard lock(mutex_);
  stopped_ = true;
  changed_.notify_all();
}

void Scheduler::Wait() {
  std::vector<std::thread> threads;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return running_ == 0; });
    threads.swap(threads_);
  }
  for (std::thread& thread : threads) thread.join();
}

int Scheduler::Active() const {
  std::lock_guard lock(mutex_);
  return active_;
}

// Nothing runs, no worker is between taking an entry and counting it, and
// nothing holds the run open: nothing could add work any more.
bool Scheduler::IsDoneLocked() const { return active_ == 0 && taking_ == 0 && !held_; }

QueueEntry* Scheduler::TakeOrWait(std::unique_lock<std::mutex>& lock) {
  while (!stopped_ && !done_ && running_ <= limit_) {
    const unsigned seen = added_;
    ++taking_;
    lock.unlock();
    QueueEntry* entry = work_.take();
    lock.lock();
    --taking_;
    if (entry != nullptr) {
      ++active_;
      GrowLocked();
      return entry;
    }
    if (added_ != seen) continue;
    // Nothing pending, nothing that could add more: the work is done.
    if (IsDoneLocked()) {
      done_ = true;
      changed_.notify_all();
      return nullptr;
    }
    ++waiting_;
    changed_.wait(lock);
    --waiting_;
  }
  return nullptr;
}

void Scheduler::Worker() {
  std::unique_lock lock(mutex_);
  while (QueueEntry* entry = TakeOrWait(lock)) {
    lock.unlock();
    work_.download(*entry);
    lock.lock();
    --active_;
    // The last download to end may leave nothing for anyone.
    if (active_ == 0) changed_.notify_all();
  }
  --running_;
  changed_.notify_all();
}

}  // namespace kestrine
