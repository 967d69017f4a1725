#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/result.h"
#include "runtime/unique_fd.h"

namespace kestrine {

// Bytes kept for later, in memory while they are few and in an unnamed
// temporary file once they pass `memoryBytes`, so holding a large body
// until its record is written costs no memory. The file has no name: it
// goes when the buffer does, whatever ends the process.
class SpillBuffer {
 public:
  explicit SpillBuffer(std::size_t memoryBytes = 1 << 20) : memoryBytes_(memoryBytes) {}

  // False once a write to the temporary file failed (a full disk): the
  // bytes are then incomplete.
  bool Append(std::string_view bytes);
  // The same as Append on an empty buffer, without copying `bytes` when
  // they may stay in memory.
  bool Take(std::string bytes);
  // Room for this many bytes in memory, up to the memory bound.
  void Reserve(std::size_t bytes) { memory_.reserve(std::min(bytes, memoryBytes_)); }
  std::uint64_t size() const { return size_; }
  bool failed() const { return failed_; }
  // Hands the bytes to `visit` in order, in pieces; false when the file
  // could not be read back.
  bool ForEach(const std::function<void(std::string_view)>& visit) const;
  // All the bytes, when they are still in memory.
  std::optional<std::string_view> InMemory() const {
    if (file_) return std::nullopt;
    return std::string_view(memory_);
  }
  // The first `count` bytes (fewer when there are fewer).
  std::string Head(std::size_t count) const;

 private:
  bool Spill();

  std::size_t memoryBytes_;
  std::string memory_;
  UniqueFd file_;
  std::uint64_t size_ = 0;
  bool failed_ = false;
};

}  // namespace kestrine
