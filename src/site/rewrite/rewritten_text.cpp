#include "site/rewrite/rewritten_text.h"

#include "runtime/string_utility.h"

namespace kestrine {

void RewrittenText::Replace(std::size_t begin, std::size_t end, std::u16string_view written) {
  Append(std::u16string_view(text_).substr(cut_, begin - cut_));
  Append(written);
  changed_ = true;
  cut_ = end;
}

void RewrittenText::Finish() {
  if (utf8_ == nullptr && !changed_) return;
  Append(std::u16string_view(text_).substr(cut_));
  cut_ = text_.size();
  if (utf8_ == nullptr) text_.swap(output_);
}

void RewrittenText::Append(std::u16string_view part) {
  if (!reserved_) {
    // Most of a page is ASCII, and rewritten paths are a little longer.
    const std::size_t expected = text_.size() + text_.size() / 8;
    if (utf8_ != nullptr) {
      utf8_->reserve(expected);
    } else {
      output_.reserve(expected);
    }
    reserved_ = true;
  }
  if (utf8_ != nullptr) {
    StringUtility::AppendAsUtf8(*utf8_, part);
  } else {
    output_ += part;
  }
}

}  // namespace kestrine
