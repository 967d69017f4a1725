#include "engine/run/failure_tally.h"

#include <algorithm>

namespace kestrine {

void FailureTally::Clear() {
  std::lock_guard lock(mutex_);
  counts_.clear();
}

void FailureTally::Note(Kind kind, const std::string& reason) {
  std::lock_guard lock(mutex_);
  const auto [count, added] = counts_.try_emplace(kind, Count{reason, 0, counts_.size()});
  ++count->second.times;
}

std::vector<std::pair<std::string, int>> FailureTally::MostCommon(std::size_t count) const {
  std::vector<Count> counts;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [kind, counted] : counts_) counts.push_back(counted);
  }
  std::sort(counts.begin(), counts.end(), [](const Count& a, const Count& b) {
    return a.times != b.times ? a.times > b.times : a.reason < b.reason;
  });
  std::vector<std::pair<std::string, int>> common;
  for (std::size_t i = 0; i < counts.size() && i < count; ++i) {
    common.emplace_back(counts[i].reason, counts[i].times);
  }
  return common;
}

}  // namespace kestrine
