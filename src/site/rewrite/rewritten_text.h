#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrine {

// A document as a reader rewrites it: the original text with ranges
// replaced in order, built by appending so the pass is linear in the text.
// The result takes the original's place, or, when bytes are asked for, goes
// straight into UTF-8 bytes (the original then stays as it was): a large
// UTF-8 page is so held once as text and once as bytes, never twice as
// text.
class RewrittenText {
 public:
  explicit RewrittenText(std::u16string& text, std::string* utf8 = nullptr)
      : text_(text), utf8_(utf8) {}

  const std::u16string& original() const { return text_; }
  // Replaces [begin, end) of the original; ranges come in order.
  void Replace(std::size_t begin, std::size_t end, std::u16string_view written);
  // Adds what follows the last replacement: the text, or the bytes, now
  // hold the whole result.
  void Finish();

 private:
  void Append(std::u16string_view part);

  std::u16string& text_;
  std::string* utf8_;
  std::u16string output_;
  std::size_t cut_ = 0;
  bool changed_ = false;
  bool reserved_ = false;
};

}  // namespace kestrine
