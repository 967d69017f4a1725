#include "site/rewrite/pattern_pass.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kestrine {

namespace {

// The character of a pattern a search checks besides its first and last:
// one that is rare in ordinary text ("=", "(", "@") where there is one.
std::size_t MiddleOf(std::u16string_view pattern) {
  const std::size_t rare = pattern.find_first_of(u"=(@");
  return rare == std::u16string_view::npos ? pattern.size() / 2 : rare;
}

bool MatchesAt(std::u16string_view text, std::size_t at, std::u16string_view pattern) {
  return text.compare(at, pattern.size(), pattern) == 0;
}

// text.find(pattern, from), several times faster on pages: eight places
// are tried at once by comparing the pattern's first, last and one middle
// character there, and only where all three agree is the rest compared.
// Thirteen passes over every page made this the scan's largest cost.
std::size_t FindPattern(std::u16string_view text, std::u16string_view pattern, std::size_t from) {
  const std::size_t size = pattern.size();
  if (size < 2 || size > text.size()) return text.find(pattern, from);
  std::size_t at = from;
#ifdef __SSE2__
  const std::size_t middle = MiddleOf(pattern);
  const __m128i first = _mm_set1_epi16(static_cast<short>(pattern[0]));
  const __m128i centre = _mm_set1_epi16(static_cast<short>(pattern[middle]));
  const __m128i last = _mm_set1_epi16(static_cast<short>(pattern[size - 1]));
  const char16_t* data = text.data();
  for (; at + size - 1 + 8 <= text.size(); at += 8) {
    const auto load = [&](std::size_t offset) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + offset));
    };
    const __m128i agree = _mm_and_si128(
        _mm_and_si128(_mm_cmpeq_epi16(load(0), first), _mm_cmpeq_epi16(load(middle), centre)),
        _mm_cmpeq_epi16(load(size - 1), last));
    // Two mask bits per character; the lower one of each pair is kept.
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(agree)) & 0x5555u;
    while (mask != 0) {
      const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
      if (MatchesAt(text, candidate, pattern)) return candidate;
      mask &= mask - 1;
    }
  }
#endif
  for (; at + size <= text.size(); ++at) {
    if (text[at] == pattern[0] && MatchesAt(text, at, pattern)) return at;
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
                    IReferenceRewriter& rewriter, AtTextStart atStart, std::u16string* scratch) {
  std::u16string own;
  std::u16string& output = scratch != nullptr ? *scratch : own;
  output.clear();
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
