#include "runtime/containers/text_store.h"

#include <algorithm>
#include <cstring>

namespace kestrine {

std::u16string_view TextStore::Keep(std::u16string_view text) {
  if (text.empty()) return {};
  if (text.size() > left_) {
    // A text longer than a block gets a block of its own size.
    const std::size_t size = std::max(kBlockCharacters, text.size());
    blocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(size));
    free_ = blocks_.back().get();
    left_ = size;
    capacity_ += size;
  }
  char16_t* kept = free_;
  std::memcpy(kept, text.data(), text.size() * sizeof(char16_t));
  free_ += text.size();
  left_ -= text.size();
  return {kept, text.size()};
}

void TextStore::Clear() {
  blocks_.clear();
  free_ = nullptr;
  left_ = 0;
  capacity_ = 0;
}

}  // namespace kestrine
