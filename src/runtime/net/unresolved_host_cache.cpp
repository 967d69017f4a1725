#include "runtime/net/unresolved_host_cache.h"

namespace kestrine {

UnresolvedHostCache& UnresolvedHostCache::Instance() {
  static UnresolvedHostCache cache;
  return cache;
}

bool UnresolvedHostCache::IsKnownUnresolved(const std::string& host) {
  std::lock_guard lock(mutex_);
  const auto found = hosts_.find(host);
  if (found == hosts_.end()) return false;
  if (Clock::now() - found->second < kRemembered) return true;
  hosts_.erase(found);
  return false;
}

void UnresolvedHostCache::Remember(const std::string& host) {
  if (host.empty()) return;
  std::lock_guard lock(mutex_);
  hosts_[host] = Clock::now();
}

}  // namespace kestrine
