#include "engine/run/worker_activity.h"

#include <chrono>

namespace kestrine {

QueueEntry* WorkerActivity::TakeOrWait(const Queue& queue) {
  // Hundreds of workers may wait here at once, so they look seldom; a stop
  // request (a flag nobody signals) is seen within this.
  constexpr auto kRecheck = std::chrono::milliseconds(250);
  while (true) {
    ++active_;
    if (QueueEntry* entry = queue.take()) return entry;
    if (--active_ == 0 && waiting_.load() > 0) WakeAll();
    std::unique_lock lock(mutex_);
    if (active_.load() == 0 || !queue.mayTakeMore()) return nullptr;
    ++waiting_;
    activity_.wait_for(lock, kRecheck, [&] {
      return queue.hasPending() || active_.load() == 0 || !queue.mayTakeMore();
    });
    --waiting_;
    if (!queue.hasPending() && active_.load() == 0) return nullptr;
  }
}

void WorkerActivity::DownloadEnded() {
  // The last download to end may leave nothing for anyone: the waiting
  // workers end too.
  if (--active_ == 0 && waiting_.load() > 0) WakeAll();
}

void WorkerActivity::EntryAdded() {
  if (waiting_.load() == 0) return;
  std::lock_guard lock(mutex_);
  activity_.notify_one();
}

void WorkerActivity::WakeAll() {
  std::lock_guard lock(mutex_);
  activity_.notify_all();
}

}  // namespace kestrine
