#pragma once

#include <cstdint>

namespace kestrine {

// FNV-1a, 64 bits, fed one unit at a time: cheap, and enough to spread
// short keys that are then compared whole, or to tag a name. Its values are
// part of stored file names, so they never change.
class FnvHash {
 public:
  void Add(std::uint32_t unit) { value_ = (value_ ^ unit) * kPrime; }
  std::uint64_t value() const { return value_; }

 private:
  static constexpr std::uint64_t kPrime = 1099511628211ull;
  std::uint64_t value_ = 14695981039346656037ull;
};

}  // namespace kestrine
