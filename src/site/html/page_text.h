#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrine {

// What a reader sees of a page: its title and its visible text, white
// space folded, for an archive's page list that replay tools search.
struct PageText {
  std::u16string title;
  std::u16string text;

  // At most `maxText` characters of text; scripts, styles and comments
  // are no text.
  static PageText Of(std::u16string_view html, std::size_t maxText = 16 * 1024);
};

}  // namespace kestrine
