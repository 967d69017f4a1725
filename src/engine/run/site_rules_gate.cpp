#include "engine/run/site_rules_gate.h"

namespace kestrine {

void SiteRulesGate::Close() { open_.store(false, std::memory_order_release); }

void SiteRulesGate::Open() {
  std::lock_guard lock(mutex_);
  open_.store(true, std::memory_order_release);
  opened_.notify_all();
}

void SiteRulesGate::Wait() {
  if (open_.load(std::memory_order_acquire)) return;
  std::unique_lock lock(mutex_);
  opened_.wait(lock, [this] { return open_.load(std::memory_order_acquire); });
}

}  // namespace kestrine
