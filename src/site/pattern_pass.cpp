#include "site/pattern_pass.h"

namespace kestrine {

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
  std::size_t g = text.find(startPattern);
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
    g = text.find(startPattern, e + endDelimiter.size());
  }
  if (!changed) return;  // nothing taken: the text stands as it was
  output.append(text, cut, std::u16string::npos);
  text.swap(output);
}

}  // namespace kestrine
