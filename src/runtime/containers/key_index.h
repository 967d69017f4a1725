#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrine {

// Finds the number a key was inserted with in one probe or two, however
// many keys there are. The keys themselves stay where their owner keeps
// them: a slot holds only a number and the key's hash, eight bytes, and the
// owner says what key a number has when a hash matches.
class KeyIndex {
 public:
  using KeyOf = std::function<std::u16string_view(std::int32_t number)>;
  explicit KeyIndex(KeyOf keyOf) : keyOf_(std::move(keyOf)) {}

  std::optional<std::int32_t> Find(std::u16string_view key) const;
  // The key must not be known yet, and keyOf(number) must give it from now on.
  void Insert(std::u16string_view key, std::int32_t number);
  void Clear();
  std::size_t size() const { return size_; }

 private:
  static constexpr std::int32_t kEmpty = -1;
  struct Slot {
    std::uint32_t hash = 0;
    std::int32_t number = kEmpty;
  };

  static std::uint32_t HashOf(std::u16string_view key);
  void Grow();
  void Place(const Slot& slot);

  KeyOf keyOf_;
  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace kestrine
