#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kestrine {

// How often each reason made a download of this run fail ("HTTP 404"), for
// the notice at its end.
class FailureTally {
 public:
  void Clear();
  void Note(const std::u16string& reason);
  // The `count` most common reasons with their numbers, most common first.
  std::vector<std::pair<std::string, int>> MostCommon(std::size_t count) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, int> reasons_;
};

}  // namespace kestrine
