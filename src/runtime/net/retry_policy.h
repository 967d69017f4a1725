#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/net/http_client.h"

namespace kestrine {

// Whether a download that did not succeed is tried again, and when. Only
// transient failures are: a connection lost, a time-out, and the statuses
// 408, 429, 500, 502, 503 and 504. The waits double from one second up to
// --waitretry, unless the server said in Retry-After how long to wait (up
// to two minutes). A request lost on a multiplexed connection before any
// answer came is one the server never processed (a refused stream, a
// stream beyond its GOAWAY): it goes again at once, on a new connection,
// without counting as a try.
class RetryPolicy {
 public:
  static constexpr int kMaxUnprocessedRetries = 10;
  static constexpr std::chrono::seconds kMaxRetryAfter{120};

  // How one try ended.
  struct Attempt {
    HttpClient::Failure failure = HttpClient::Failure::None;
    int status = 0;  // the HTTP status, when the transfer completed
    bool gotResponse = false;
    bool hostMultiplexes = false;
    std::string retryAfter;  // the header's value, if any
  };
  struct Plan {
    bool retry = false;
    bool counts = true;  // as one of the tries
    std::chrono::milliseconds wait{0};
  };

  RetryPolicy(int tries, double waitRetrySeconds);

  // `tried`: the tries that counted so far, this one among them;
  // `unprocessed`: the retries of unprocessed requests so far.
  Plan Judge(const Attempt& attempt, int tried, int unprocessed,
             std::chrono::system_clock::time_point now) const;

  // Retry-After as delay seconds or an HTTP date (RFC 9110, 10.2.3).
  static std::optional<std::chrono::seconds> ParseRetryAfter(
      std::string_view value, std::chrono::system_clock::time_point now);

 private:
  static bool IsTransient(const Attempt& attempt);

  int tries_;
  std::chrono::milliseconds longestWait_;
};

}  // namespace kestrine
