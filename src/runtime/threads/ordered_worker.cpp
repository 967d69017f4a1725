#include "runtime/threads/ordered_worker.h"

namespace kestrine {

OrderedWorker::OrderedWorker(std::size_t maxPendingBytes)
    : maxPendingBytes_(maxPendingBytes), thread_([this] { Loop(); }) {}

OrderedWorker::~OrderedWorker() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  posted_.notify_all();
  thread_.join();
}

void OrderedWorker::Post(std::function<void()> job, std::size_t bytes) {
  std::unique_lock lock(mutex_);
  // One job is let in whatever its size, so a large one cannot wait forever.
  done_.wait(lock, [&] { return pendingBytes_ == 0 || pendingBytes_ + bytes <= maxPendingBytes_; });
  pendingBytes_ += bytes;
  jobs_.emplace_back(std::move(job), bytes);
  posted_.notify_one();
}

void OrderedWorker::Drain() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return jobs_.empty() && !running_; });
}

void OrderedWorker::Loop() {
  std::unique_lock lock(mutex_);
  while (true) {
    posted_.wait(lock, [&] { return closing_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    auto [job, bytes] = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
    lock.unlock();
    job();
    lock.lock();
    running_ = false;
    pendingBytes_ -= bytes;
    done_.notify_all();
  }
}

}  // namespace kestrine
