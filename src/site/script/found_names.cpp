#include "site/script/found_names.h"

#include <algorithm>

namespace kestrine {

FoundNames::FoundNames(std::size_t maxNames, StopCheck stopped)
    : maxNames_(maxNames), stopped_(std::move(stopped)) {
  seen_.reserve(std::min<std::size_t>(maxNames_, 1024));
}

bool FoundNames::Add(std::u16string_view name) {
  if (stop_) return false;
  if (seen_.count(name) > 0) return true;
  if (full()) {
    ++skipped_;
    return false;
  }
  seen_.insert(names_.emplace_back(name));
  return true;
}

bool FoundNames::Add(std::u16string_view first, std::u16string_view second) {
  scratch_.assign(first);
  scratch_.append(second);
  return Add(std::u16string_view(scratch_));
}

}  // namespace kestrine
