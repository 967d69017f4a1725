#include "runtime/threads/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace kestrine {
namespace {

using namespace std::chrono_literals;

// Counts how many of its kind run at once; holds until released.
class GateTask : public IRunnable {
 public:
  GateTask(std::atomic<int>& running, std::atomic<int>& peak, std::atomic<bool>& open)
      : running_(running), peak_(peak), open_(open) {}
  bool IsAutoDelete() const override { return false; }
  void Run() override {
    const int now = ++running_;
    int seen = peak_.load();
    while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
    }
    for (int i = 0; i < 400 && !open_; ++i) std::this_thread::sleep_for(5ms);
    ++runs;
    --running_;
  }
  std::atomic<int> runs{0};

 private:
  std::atomic<int>& running_;
  std::atomic<int>& peak_;
  std::atomic<bool>& open_;
};

struct Gate {
  std::atomic<int> running{0};
  std::atomic<int> peak{0};
  std::atomic<bool> open{false};
  std::vector<std::unique_ptr<GateTask>> tasks;
  void Make(int count) {
    for (int i = 0; i < count; ++i)
      tasks.push_back(std::make_unique<GateTask>(running, peak, open));
  }
};

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 400; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return condition();
}

TEST(ThreadPool, ConcurrencyIsBoundedByTheCoreSize) {
  ThreadPool pool(5, 100000, 100);
  pool.SetCorePoolSize(3);
  Gate gate;
  gate.Make(10);
  for (auto& task : gate.tasks) ASSERT_TRUE(pool.Execute(task.get()));
  EXPECT_TRUE(WaitFor([&] { return pool.GetActiveCount() == 3; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(gate.peak.load(), 3);
  gate.open = true;
  for (auto& task : gate.tasks) EXPECT_TRUE(pool.Join(task.get(), 2000));
  EXPECT_EQ(pool.GetActiveCount(), 0);
  EXPECT_EQ(gate.peak.load(), 3);
}

TEST(ThreadPool, CoreSizeChangesTakeEffectMidRun) {
  ThreadPool pool(5, 100000, 100);
  pool.SetCorePoolSize(2);
  Gate gate;
  gate.Make(8);
  for (auto& task : gate.tasks) pool.Execute(task.get());
  EXPECT_TRUE(WaitFor([&] { return pool.GetActiveCount() == 2; }));
  pool.SetCorePoolSize(6);
  EXPECT_TRUE(WaitFor([&] { return pool.GetActiveCount() == 6; }));
  gate.open = true;
  for (auto& task : gate.tasks) EXPECT_TRUE(pool.Join(task.get(), 2000));
}

TEST(ThreadPool, JoinWaitsForTheTaskOrTimesOut) {
  ThreadPool pool(5, 100000, 100);
  Gate gate;
  gate.Make(1);
  GateTask* task = gate.tasks[0].get();
  EXPECT_TRUE(pool.Join(task, 0));  // never handed over: nothing to wait for
  pool.Execute(task);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(pool.Join(task, 100));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
  gate.open = true;
  EXPECT_TRUE(pool.Join(task, 2000));
  EXPECT_EQ(task->runs.load(), 1);
}

TEST(ThreadPool, RepeatedHandOverRunsAgainButIsNotQueuedTwice) {
  ThreadPool pool(1, 100000, 100);
  Gate gate;
  gate.Make(2);
  GateTask* busy = gate.tasks[0].get();
  GateTask* waiting = gate.tasks[1].get();
  pool.Execute(busy);
  EXPECT_TRUE(WaitFor([&] { return pool.GetActiveCount() == 1; }));
  pool.Execute(waiting);
  pool.Execute(waiting);  // still waiting: not queued twice
  pool.Execute(busy);     // running: queued once more
  gate.open = true;
  EXPECT_TRUE(pool.Join(busy, 2000));
  EXPECT_TRUE(pool.Join(waiting, 2000));
  EXPECT_EQ(busy->runs.load(), 2);
  EXPECT_EQ(waiting->runs.load(), 1);
}

TEST(ThreadPool, FullQueueRefusesWork) {
  ThreadPool pool(1, 2, 100);
  Gate gate;
  gate.Make(4);
  EXPECT_TRUE(pool.Execute(gate.tasks[0].get()));
  EXPECT_TRUE(WaitFor([&] { return pool.GetActiveCount() == 1; }));
  EXPECT_TRUE(pool.Execute(gate.tasks[1].get()));
  EXPECT_TRUE(pool.Execute(gate.tasks[2].get()));
  EXPECT_FALSE(pool.Execute(gate.tasks[3].get()));
  gate.open = true;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(pool.Join(gate.tasks[i].get(), 2000));
}

}  // namespace
}  // namespace kestrine
