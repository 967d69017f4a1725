#include "engine/run/failure_tally.h"

#include <algorithm>

#include "runtime/string_utility.h"

namespace kestrine {

void FailureTally::Clear() {
  std::lock_guard lock(mutex_);
  reasons_.clear();
}

void FailureTally::Note(const std::u16string& reason) {
  std::lock_guard lock(mutex_);
  ++reasons_[StringUtility::ToUtf8(reason)];
}

std::vector<std::pair<std::string, int>> FailureTally::MostCommon(std::size_t count) const {
  std::vector<std::pair<std::string, int>> reasons;
  {
    std::lock_guard lock(mutex_);
    reasons.assign(reasons_.begin(), reasons_.end());
  }
  std::stable_sort(reasons.begin(), reasons.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  if (reasons.size() > count) reasons.resize(count);
  return reasons;
}

}  // namespace kestrine
