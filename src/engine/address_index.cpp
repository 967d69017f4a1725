#include "engine/address_index.h"

#include <algorithm>
#include <functional>

namespace kestrine {

namespace {
constexpr std::size_t kInitialSlots = 1024;
}

std::uint64_t AddressIndex::HashOf(std::u16string_view address) {
  return std::hash<std::u16string_view>{}(address);
}

std::optional<std::int32_t> AddressIndex::Find(std::u16string_view address) const {
  if (slots_.empty()) return std::nullopt;
  const std::uint64_t hash = HashOf(address);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.data == nullptr) return std::nullopt;
    if (slot.hash == hash && slot.length == address.size() &&
        std::u16string_view(slot.data, slot.length) == address) {
      return slot.number;
    }
  }
}

void AddressIndex::Insert(std::u16string_view address, std::int32_t number) {
  // At most half full, so probes stay short and an empty slot always ends
  // a search.
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  Place({address.data(), static_cast<std::uint32_t>(address.size()), number, HashOf(address)});
  ++size_;
}

void AddressIndex::Place(const Slot& slot) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = slot.hash & mask;
  while (slots_[i].data != nullptr) i = (i + 1) & mask;
  slots_[i] = slot;
}

void AddressIndex::Grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(std::max(kInitialSlots, old.size() * 2), Slot{});
  for (const Slot& slot : old) {
    if (slot.data != nullptr) Place(slot);
  }
}

void AddressIndex::Clear() {
  slots_ = {};
  size_ = 0;
}

}  // namespace kestrine
