// The workers of a run: every entry taken once, no more at once than the
// limit, and an end that comes exactly when nothing could add more work.
#include "engine/run/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "engine/queue/queue_entry.h"

namespace kestrine {
namespace {

using namespace std::chrono_literals;

// A queue of entries whose downloads may queue more, as pages do.
class Work {
 public:
  explicit Work(int entries) : entries_(static_cast<std::size_t>(entries)) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      entries_[i].number = static_cast<std::int32_t>(i);
    }
  }
  void Queue(int number) {
    std::lock_guard lock(mutex_);
    pending_.push_back(&entries_[static_cast<std::size_t>(number)]);
  }
  Scheduler::Work For(std::function<void(QueueEntry&)> download) {
    return {[this]() -> QueueEntry* {
              std::lock_guard lock(mutex_);
              if (pending_.empty()) return nullptr;
              QueueEntry* entry = pending_.front();
              pending_.pop_front();
              return entry;
            },
            [this] {
              std::lock_guard lock(mutex_);
              return !pending_.empty();
            },
            std::move(download)};
  }

 private:
  std::mutex mutex_;
  std::vector<QueueEntry> entries_;
  std::deque<QueueEntry*> pending_;
};

TEST(Scheduler, AChainOfEntriesEachFoundByTheLastIsFollowedToItsEnd) {
  // Each download queues the next one only as it ends: between the two,
  // nothing is pending and one download runs, so the run must wait for it.
  constexpr int kChain = 300;
  Work work(kChain);
  work.Queue(0);
  std::atomic<int> done{0};
  Scheduler* scheduler = nullptr;
  Scheduler chain(work.For([&](QueueEntry& entry) {
    ++done;
    if (entry.number + 1 < kChain) {
      work.Queue(entry.number + 1);
      scheduler->EntriesAdded();
    }
  }));
  scheduler = &chain;
  chain.SetLimit(4);
  chain.Start();
  chain.Wait();
  EXPECT_EQ(done.load(), kChain);
}

TEST(Scheduler, NoMoreAtOnceThanTheLimitAndAHeldRunWaitsForItsRelease) {
  constexpr int kEntries = 60;
  Work work(kEntries);
  std::atomic<int> running{0}, most{0}, done{0};
  Scheduler* scheduler = nullptr;
  Scheduler wide(work.For([&](QueueEntry&) {
    const int now = ++running;
    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    std::this_thread::sleep_for(2ms);
    --running;
    ++done;
  }));
  scheduler = &wide;
  wide.SetLimit(5);
  wide.Hold();
  wide.Start();
  // Held, the run waits with nothing to do; work that comes later is done.
  std::this_thread::sleep_for(50ms);
  for (int i = 0; i < kEntries; ++i) work.Queue(i);
  scheduler->EntriesAdded();
  wide.Release();
  wide.Wait();
  EXPECT_EQ(done.load(), kEntries);
  EXPECT_LE(most.load(), 5);
  EXPECT_GE(most.load(), 2);
}

TEST(Scheduler, AStopEndsTheRunWithoutTakingMore) {
  constexpr int kEntries = 1000;
  Work work(kEntries);
  for (int i = 0; i < kEntries; ++i) work.Queue(i);
  std::atomic<int> started{0};
  std::atomic<int> startedAtStop{-1};
  Scheduler* scheduler = nullptr;
  Scheduler stopped(work.For([&](QueueEntry&) {
    if (++started == 10) {
      scheduler->Stop();
      startedAtStop = started.load();
    }
  }));
  scheduler = &stopped;
  stopped.SetLimit(3);
  stopped.Start();
  stopped.Wait();
  ASSERT_GE(startedAtStop.load(), 10);
  // A worker taking an entry as Stop comes downloads it and no other: at
  // most one more for each of the other two.
  EXPECT_LE(started.load(), startedAtStop.load() + 2);
  EXPECT_LT(started.load(), kEntries);
}

}  // namespace
}  // namespace kestrine
