#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace kestrine {

// A thread of its own that runs the jobs posted to it one after another, in
// the order posted, so the threads that post them go on at once. What waits
// is bounded: a post waits while the jobs queued hold more than
// `maxPendingBytes` (as the poster counts them), so a slow consumer slows
// its producers rather than filling memory.
class OrderedWorker {
 public:
  explicit OrderedWorker(std::size_t maxPendingBytes);
  ~OrderedWorker();
  OrderedWorker(const OrderedWorker&) = delete;
  OrderedWorker& operator=(const OrderedWorker&) = delete;

  void Post(std::function<void()> job, std::size_t bytes);
  // Returns once every job posted before it has run.
  void Drain();

 private:
  void Loop();

  const std::size_t maxPendingBytes_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::condition_variable done_;
  std::deque<std::pair<std::function<void()>, std::size_t>> jobs_;
  std::size_t pendingBytes_ = 0;
  bool running_ = false;  // a job is under way
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace kestrine
