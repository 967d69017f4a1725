#pragma once

#include <mutex>

namespace kestrine {

// The lock behind the status monitor; usable with std::lock_guard.
class DefaultMutex {
 public:
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

}  // namespace kestrine
