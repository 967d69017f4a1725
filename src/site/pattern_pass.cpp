#include "site/pattern_pass.h"

#include <cstring>

namespace kestrine {

namespace {

// The character a search looks for first: one that is rare in ordinary text
// ("=", "(", "@"), so most of the text is passed over by memchr, which works
// on bytes many at a time, instead of stopping at every blank.
std::size_t AnchorOf(std::u16string_view pattern) {
  const std::size_t anchor = pattern.find_first_of(u"=(@");
  return anchor == std::u16string_view::npos ? 0 : anchor;
}

// text.find(pattern, from), faster for long texts.
std::size_t FindPattern(std::u16string_view text, std::u16string_view pattern, std::size_t from) {
  const std::size_t anchor = AnchorOf(pattern);
  const char16_t wanted = pattern[anchor];
  if (wanted > 0xFF) return text.find(pattern, from);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t byteCount = text.size() * 2;
  std::size_t at = (from + anchor) * 2;
  while (at < byteCount) {
    const void* hit = std::memchr(bytes + at, wanted, byteCount - at);
    if (hit == nullptr) return std::u16string_view::npos;
    const std::size_t offset =
        static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - bytes);
    at = offset + 1;
    // Only the low byte of a whole character counts (little-endian UTF-16).
    if (offset % 2 != 0 || text[offset / 2] != wanted) continue;
    const std::size_t start = offset / 2 - anchor;
    if (offset / 2 < anchor || start < from) continue;
    if (text.substr(start, pattern.size()) == pattern) return start;
  }
  return std::u16string_view::npos;
}

}  // namespace

std::u16string WithoutQuotes(std::u16string_view raw) {
  std::u16string r;
  r.reserve(raw.size());
  for (char16_t c : raw) {
    if (c != u'"' && c != u'\'') r += c;
  }
  return r;
}

void RunPatternPass(std::u16string& text, std::u16string_view startPattern,
                    std::u16string_view endDelimiter, ValueHandler handler,
                    IReferenceRewriter& rewriter, AtTextStart atStart) {
  std::u16string output;
  bool changed = false;
  std::size_t cut = 0;  // the text before `cut` has been moved to the output
  std::size_t g = FindPattern(text, startPattern, 0);
  // For the classic patterns a start pattern at the very first character
  // ends the pass.
  if (g == 0 && atStart == AtTextStart::EndsThePass) return;
  while (g != std::u16string::npos) {
    if (rewriter.IsStopRequested()) break;
    g += startPattern.size();
    const std::size_t e = text.find(endDelimiter, g);
    if (e == std::u16string::npos) break;
    std::optional<std::u16string> written =
        handler(std::u16string_view(text).substr(g, e - g), rewriter);
    if (written) {
      if (!changed) output.reserve(text.size() + text.size() / 8);
      changed = true;
      output.append(text, cut, g - cut);
      cut = e;
      output += *written;
    }
    g = FindPattern(text, startPattern, e + endDelimiter.size());
  }
  if (!changed) return;  // nothing taken: the text stands as it was
  output.append(text, cut, std::u16string::npos);
  text.swap(output);
}

}  // namespace kestrine
