#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "runtime/net/http_client.h"

namespace kestrine {

// How often each kind of failure ended a download of this run, for the
// notice at its end: counted by kind and status, never by their words, and
// shown in the words of the first download that failed so ("HTTP 404").
class FailureTally {
 public:
  struct Kind {
    HttpClient::Failure failure = HttpClient::Failure::Other;
    int status = 0;  // the HTTP status of a completed answer
    // NOLINTNEXTLINE(modernize-use-nullptr): the defaulted <=> is no literal 0.
    auto operator<=>(const Kind&) const = default;
  };

  void Clear();
  void Note(Kind kind, const std::string& reason);
  // The `count` most common failures in their words, with their numbers,
  // most common first.
  std::vector<std::pair<std::string, int>> MostCommon(std::size_t count) const;

 private:
  struct Count {
    std::string reason;
    int times = 0;
    std::size_t first = 0;  // order of first sight, for a stable ranking
  };
  mutable std::mutex mutex_;
  std::map<Kind, Count> counts_;
};

}  // namespace kestrine
