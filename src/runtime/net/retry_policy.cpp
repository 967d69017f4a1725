#include "runtime/net/retry_policy.h"

#include <algorithm>
#include <array>
#include <ctime>

namespace kestrine {

namespace {

using Failure = HttpClient::Failure;

std::optional<int> Digits(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// "Sun, 06 Nov 1994 08:49:37 GMT", the date form servers must send.
std::optional<std::time_t> ParseHttpDate(std::string_view text) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (text.size() != 29 || text.substr(3, 2) != ", " || text.substr(25) != " GMT") {
    return std::nullopt;
  }
  const auto day = Digits(text.substr(5, 2));
  const std::string_view monthName = text.substr(8, 3);
  const auto year = Digits(text.substr(12, 4));
  const auto hour = Digits(text.substr(17, 2));
  const auto minute = Digits(text.substr(20, 2));
  const auto second = Digits(text.substr(23, 2));
  const auto month = std::find(kMonths.begin(), kMonths.end(), monthName);
  if (!day || !year || !hour || !minute || !second || month == kMonths.end() || text[16] != ' ' ||
      text[19] != ':' || text[22] != ':') {
    return std::nullopt;
  }
  std::tm time{};
  time.tm_year = *year - 1900;
  time.tm_mon = static_cast<int>(month - kMonths.begin());
  time.tm_mday = *day;
  time.tm_hour = *hour;
  time.tm_min = *minute;
  time.tm_sec = *second;
  return timegm(&time);
}

}  // namespace

RetryPolicy::RetryPolicy(int tries, double waitRetrySeconds)
    : tries_(std::max(1, tries)),
      longestWait_(static_cast<long long>(std::max(0.0, waitRetrySeconds) * 1000)) {}

bool RetryPolicy::IsTransient(const Attempt& attempt) {
  if (attempt.failure == Failure::ConnectionLost || attempt.failure == Failure::TimedOut) {
    return true;
  }
  if (attempt.failure != Failure::None) return false;
  switch (attempt.status) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504:
      return true;
    default:
      return false;
  }
}

RetryPolicy::Plan RetryPolicy::Judge(const Attempt& attempt, int tried, int unprocessed,
                                     std::chrono::system_clock::time_point now) const {
  Plan plan;
  if (attempt.failure == Failure::ConnectionLost && !attempt.gotResponse &&
      attempt.hostMultiplexes && unprocessed < kMaxUnprocessedRetries) {
    plan.retry = true;
    plan.counts = false;
    return plan;
  }
  if (!IsTransient(attempt) || tried >= tries_) return plan;
  plan.retry = true;
  if (const auto asked = ParseRetryAfter(attempt.retryAfter, now)) {
    plan.wait = std::min<std::chrono::milliseconds>(*asked, kMaxRetryAfter);
    return plan;
  }
  // 1 s after the first try, 2 s after the second, 4 s...
  const int doublings = std::min(tried - 1, 20);
  plan.wait = std::min(std::chrono::milliseconds(1000ll << doublings), longestWait_);
  return plan;
}

std::optional<std::chrono::seconds> RetryPolicy::ParseRetryAfter(
    std::string_view value, std::chrono::system_clock::time_point now) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (const auto seconds = Digits(value)) return std::chrono::seconds(*seconds);
  const auto date = ParseHttpDate(value);
  if (!date) return std::nullopt;
  const auto at = std::chrono::system_clock::from_time_t(*date);
  return std::max(std::chrono::seconds(0),
                  std::chrono::duration_cast<std::chrono::seconds>(at - now));
}

}  // namespace kestrine
