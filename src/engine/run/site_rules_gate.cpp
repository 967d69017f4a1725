#include "engine/run/site_rules_gate.h"

namespace kestrine {

void SiteRulesGate::Open() {
  std::lock_guard lock(mutex_);
  open_.store(true, std::memory_order_release);
  opened_.notify_all();
}

void SiteRulesGate::Wait(const std::function<bool()>& stopped) {
  if (open_.load(std::memory_order_acquire)) return;
  std::unique_lock lock(mutex_);
  while (!open_.load(std::memory_order_acquire) && !stopped()) {
    opened_.wait_for(lock, std::chrono::milliseconds(100));
  }
}

}  // namespace kestrine
