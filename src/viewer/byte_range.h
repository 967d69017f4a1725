#pragma once

#include <cstdint>
#include <string_view>

namespace kestrine {

// What a Range header asks of a representation of `size` bytes (RFC 9110,
// 14.1.2 and 14.2): one range of bytes, or the whole (no header, several
// ranges, another unit, or a header that does not parse, all of which a
// server may answer in full), or nothing it holds (416).
struct ByteRange {
  enum class Kind { Whole, Part, Unsatisfiable };
  Kind kind = Kind::Whole;
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive

  std::uint64_t length() const { return last - first + 1; }
  static ByteRange For(std::string_view header, std::uint64_t size);
};

}  // namespace kestrine
