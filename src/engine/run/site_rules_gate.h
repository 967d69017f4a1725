#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace kestrine {

// Holds the scanners' new addresses until the site's robots.txt is known,
// so the first pages' links are judged by the site's rules. Open until a
// project's first run closes it; a stop lets every waiter go at once.
class SiteRulesGate {
 public:
  // Closed again for a new project.
  void Close();
  void Open();
  // Waiters go, and no one waits any more, until Close.
  void Abort() { Open(); }
  // Returns once the gate is open.
  void Wait();

 private:
  std::atomic<bool> open_{true};
  std::mutex mutex_;
  std::condition_variable opened_;
};

}  // namespace kestrine
