#include "engine/queue/address_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kestrine {
namespace {

constexpr auto kNew = AddressQueue::NewProject::Yes;

class AddressQueueTest : public ::testing::Test {
 protected:
  AddressQueue queue;
};

TEST_F(AddressQueueTest, NumbersFromZeroAndDeduplicatesExactly) {
  EXPECT_EQ(queue.AddAddress(u"http://example.com/news/index.html", kNew), 0);
  EXPECT_EQ(queue.AddAddress(u"http://example.com/a.html"), 1);
  EXPECT_EQ(queue.AddAddress(u"http://example.com/A.html"), 2);
  EXPECT_EQ(queue.AddAddress(u"http://example.com/a.html/"), 3);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(queue.AddAddress(u"http://example.com/a.html"), 1);
  EXPECT_EQ(queue.nextNumber(), 4);
  EXPECT_EQ(queue.PendingCount(), 4u);
  // Taken entries are still known.
  QueueEntry* first = queue.TakeNextPending();
  EXPECT_EQ(first->number, 0);
  EXPECT_EQ(first->taskNumber(), 1);
  EXPECT_EQ(first->state, EntryState::Taken);
  EXPECT_EQ(queue.AddAddress(u"http://example.com/news/index.html"), 0);
}

TEST_F(AddressQueueTest, AHookThatThrowsLeavesTheLockFree) {
  queue.AddAddress(u"http://example.com/a.html", kNew);
  queue.SetMode(DownloadMode::DuplicateSite);
  QueueEntry* entry = queue.TakeNextPending();
  ASSERT_NE(entry, nullptr);
  queue.SetPlacedHook([](const QueueEntry&) { throw std::runtime_error("journal full"); });
  EXPECT_THROW(queue.Rename(*entry, u"", u"b.html"), std::runtime_error);
  // Another thread can still take the lock (bounded wait, not a hang).
  auto other = std::async(std::launch::async,
                          [&] { return queue.KnownNumberOf(u"http://example.com/a.html"); });
  ASSERT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(other.get(), 0);
}

TEST_F(AddressQueueTest, SitePrefixAndHostComeFromTheStartAddress) {
  queue.AddAddress(u"http://example.com/news/index.html", kNew);
  EXPECT_EQ(queue.sitePrefix(), u"http://example.com/news");
  EXPECT_EQ(queue.siteHost(), u"example.com");
  queue.ClearProject();
  queue.AddAddress(u"http://example.com", kNew);
  EXPECT_EQ(queue.sitePrefix(), u"http://example.com");
  EXPECT_EQ(queue.siteHost(), u"example.com");
  queue.ClearProject();
  queue.AddAddress(u"nothing", kNew);
  EXPECT_EQ(queue.sitePrefix(), u"");
}

TEST_F(AddressQueueTest, TakesInOrderAndClearProjectForgetsEverything) {
  queue.AddAddress(u"http://h/0", kNew);
  queue.AddAddress(u"http://h/1");
  queue.AddAddress(u"http://h/2");
  EXPECT_EQ(queue.TakeNextPending()->address, u"http://h/0");
  EXPECT_EQ(queue.TakeNextPending()->address, u"http://h/1");
  EXPECT_TRUE(queue.HasPending());
  EXPECT_EQ(queue.TakeNextPending()->address, u"http://h/2");
  EXPECT_EQ(queue.TakeNextPending(), nullptr);
  EXPECT_FALSE(queue.HasPending());

  queue.ClearProject();
  EXPECT_EQ(queue.nextNumber(), 3);  // numbering stays until a new project
  EXPECT_EQ(queue.AddAddress(u"http://h/1", kNew), 0);
  EXPECT_EQ(queue.AddAddress(u"http://h/0"), 1);
}

TEST_F(AddressQueueTest, ManyThreadsAddingAndTakingAgree) {
  constexpr int kThreads = 6;
  constexpr int kAddresses = 3000;
  queue.AddAddress(u"http://h/start", kNew);
  std::atomic<int> taken{0};
  std::vector<std::vector<int>> numbers(kThreads, std::vector<int>(kAddresses));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kAddresses; ++i) {
        // Every thread adds the same addresses, each in its own order.
        static constexpr int kSteps[kThreads] = {1, 7, 11, 13, 17, 19};
        const int a = (i * kSteps[t] + t) % kAddresses;
        const std::string s = "http://h/" + std::to_string(a);
        numbers[t][a] = queue.AddAddress(std::u16string(s.begin(), s.end()));
        if (i % 3 == 0 && queue.TakeNextPending() != nullptr) ++taken;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  while (queue.TakeNextPending() != nullptr) ++taken;
  EXPECT_EQ(taken.load(), kAddresses + 1);
  std::set<int> distinct;
  for (int a = 0; a < kAddresses; ++a) {
    for (int t = 1; t < kThreads; ++t) EXPECT_EQ(numbers[t][a], numbers[0][a]);
    distinct.insert(numbers[0][a]);
  }
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kAddresses));
  EXPECT_EQ(*distinct.begin(), 1);
  EXPECT_EQ(*distinct.rbegin(), kAddresses);
}

}  // namespace
}  // namespace kestrine
