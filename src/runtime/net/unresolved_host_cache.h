#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kestrine {

// Host names the resolver could not find, remembered for a while so that a
// site linking a dead or unreachable host a thousand times asks the resolver
// once, not a thousand times (resolvers throttle, and each miss can cost
// seconds). Process-wide, safe from any thread.
class UnresolvedHostCache {
 public:
  static constexpr std::chrono::seconds kRemembered{300};

  static UnresolvedHostCache& Instance();
  bool IsKnownUnresolved(const std::string& host);
  void Remember(const std::string& host);

 private:
  using Clock = std::chrono::steady_clock;
  std::mutex mutex_;
  std::unordered_map<std::string, Clock::time_point> hosts_;
};

}  // namespace kestrine
