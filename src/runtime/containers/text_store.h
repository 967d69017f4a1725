#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace kestrine {

// Texts that live as long as a project: every address and local file of
// its entries. They are packed into large blocks, so a million of them cost
// their characters and no allocation each, and freeing the short-lived
// strings of a run around them leaves no holes that keep memory in use.
// A kept text never moves until Clear, so views of it may be read without
// a lock while more is kept. Keep itself needs one caller at a time.
class TextStore {
 public:
  std::u16string_view Keep(std::u16string_view text);
  void Clear();
  // Characters held, blocks included.
  std::size_t capacity() const { return capacity_; }

 private:
  static constexpr std::size_t kBlockCharacters = 32 * 1024;
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  char16_t* free_ = nullptr;
  std::size_t left_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace kestrine
