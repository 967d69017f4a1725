#include "engine/run/failure_tally.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kestrine {
namespace {

using Failure = HttpClient::Failure;

TEST(FailureTally, MostCommonFirstCountedAcrossThreadsAndClearedPerRun) {
  FailureTally tally;
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&tally] {
      for (int i = 0; i < 25; ++i) tally.Note({Failure::None, 404}, "HTTP 404");
      for (int i = 0; i < 5; ++i) tally.Note({Failure::HostNotFound, 0}, "host not found");
      tally.Note({Failure::TimedOut, 0}, "timed out");
    });
  }
  for (std::thread& worker : workers) worker.join();
  tally.Note({Failure::None, 500}, "HTTP 500");
  using Counts = std::vector<std::pair<std::string, int>>;
  EXPECT_EQ(tally.MostCommon(3),
            (Counts{{"HTTP 404", 100}, {"host not found", 20}, {"timed out", 4}}));
  EXPECT_EQ(tally.MostCommon(1), (Counts{{"HTTP 404", 100}}));
  tally.Clear();
  EXPECT_TRUE(tally.MostCommon(3).empty());
}

}  // namespace
}  // namespace kestrine
