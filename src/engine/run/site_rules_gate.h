#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kestrine {

// Holds the scanners' new addresses until the site's robots.txt and sitemaps
// are known, so the first pages' links are judged by the site's rules.
class SiteRulesGate {
 public:
  // Closed again for a new project.
  void Close() { open_.store(false, std::memory_order_release); }
  void Open();
  // Returns once the gate is open or `stopped` says so (looked at every
  // tenth of a second: a stop is a flag nobody signals).
  void Wait(const std::function<bool()>& stopped);

 private:
  std::atomic<bool> open_{false};
  std::mutex mutex_;
  std::condition_variable opened_;
};

}  // namespace kestrine
