#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrine {

// Just enough of CBOR (RFC 8949) to walk a generator's index files:
// definite lengths, integers, strings, arrays and maps. Every read checks
// the bytes left, and nesting is bounded, so hostile bytes end the walk.
class CborReader {
 public:
  explicit CborReader(std::string_view bytes) : bytes_(bytes) {}

  // A text string, or nothing (and the item skipped) when it is another item.
  std::optional<std::string> ReadText();
  // The length of the array that starts here, or nothing.
  std::optional<std::uint64_t> ReadArray();
  // Past the next item, however nested; false when the bytes end first.
  bool Skip(int depth = 0);

 private:
  struct Head {
    int type = -1;
    std::uint64_t value = 0;
  };
  std::optional<Head> ReadHead();

  std::string_view bytes_;
  std::size_t at_ = 0;
};

}  // namespace kestrine
