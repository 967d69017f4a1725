#include "runtime/containers/key_index.h"

#include <algorithm>

namespace kestrine {

namespace {
constexpr std::size_t kInitialSlots = 1024;
}

std::uint32_t KeyIndex::HashOf(std::u16string_view key) {
  const std::size_t hash = std::hash<std::u16string_view>{}(key);
  return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

std::optional<std::int32_t> KeyIndex::Find(std::u16string_view key) const {
  if (slots_.empty()) return std::nullopt;
  const std::uint32_t hash = HashOf(key);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.number == kEmpty) return std::nullopt;
    if (slot.hash == hash && keyOf_(slot.number) == key) return slot.number;
  }
}

void KeyIndex::Insert(std::u16string_view key, std::int32_t number) {
  // At most half full, so probes stay short and an empty slot always ends
  // a search.
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  Place({HashOf(key), number});
  ++size_;
}

void KeyIndex::Place(const Slot& slot) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = slot.hash & mask;
  while (slots_[i].number != kEmpty) i = (i + 1) & mask;
  slots_[i] = slot;
}

void KeyIndex::Grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(std::max(kInitialSlots, old.size() * 2), Slot{});
  for (const Slot& slot : old) {
    if (slot.number != kEmpty) Place(slot);
  }
}

void KeyIndex::Clear() {
  slots_ = {};
  size_ = 0;
}

}  // namespace kestrine
