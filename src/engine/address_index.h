#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrine {

// Finds the number of a known address in one probe or two, however many
// addresses the project holds: an open-addressing table of views into the
// entries' own strings, with each address's hash kept beside it so a probe
// rarely has to touch the string itself.
class AddressIndex {
 public:
  std::optional<std::int32_t> Find(std::u16string_view address) const;
  // The view must stay valid until Clear; the address must not be known.
  void Insert(std::u16string_view address, std::int32_t number);
  void Clear();
  std::size_t size() const { return size_; }

 private:
  struct Slot {
    const char16_t* data = nullptr;  // nullptr: empty
    std::uint32_t length = 0;
    std::int32_t number = 0;
    std::uint64_t hash = 0;
  };

  static std::uint64_t HashOf(std::u16string_view address);
  void Grow();
  void Place(const Slot& slot);

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace kestrine
