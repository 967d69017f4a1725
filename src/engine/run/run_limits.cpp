#include "engine/run/run_limits.h"

#include "config/option_values.h"

namespace kestrine {

void RunLimits::Reset() {
  storedFiles_ = 0;
  storedBytes_ = 0;
  reached_ = false;
  std::lock_guard lock(mutex_);
  reason_.clear();
}

bool RunLimits::NoteStored(std::int64_t bytes, std::int64_t quota, int maxFiles) {
  const int files = ++storedFiles_;
  const std::int64_t total = storedBytes_ += bytes;
  std::string reason;
  if (quota > 0 && total >= quota) {
    reason = "quota of " + OptionValues::SizeText(quota) + " reached";
  } else if (maxFiles > 0 && files >= maxFiles) {
    reason = "limit of " + std::to_string(maxFiles) + " files reached";
  }
  if (reason.empty()) return false;
  std::lock_guard lock(mutex_);
  if (reason_.empty()) reason_ = std::move(reason);
  reached_ = true;
  return true;
}

std::string RunLimits::Reason() const {
  std::lock_guard lock(mutex_);
  return reason_;
}

}  // namespace kestrine
