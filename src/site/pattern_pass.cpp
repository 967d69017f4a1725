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
                    std::u16string_view endDelimiter, ReferenceFilter filter,
                    ReferenceWriter& writer, IScanProject& project) {
  std::u16string output;
  std::size_t cut = 0;  // the text before `cut` has been moved to the output
  std::size_t g = text.find(startPattern);
  // A start pattern at the very first character ends the pass.
  while (g != std::u16string::npos && g > 0) {
    if (project.IsStopRequested()) break;
    g += startPattern.size();
    const std::size_t e = text.find(endDelimiter, g);
    if (e == std::u16string::npos) break;
    const std::optional<std::u16string> reference =
        filter(std::u16string_view(text).substr(g, e - g));
    if (reference) {
      if (output.empty()) output.reserve(text.size() + text.size() / 8);
      output.append(text, cut, g - cut);
      cut = e;
      output += writer.Rewrite(*reference);
    }
    g = text.find(startPattern, e + endDelimiter.size());
  }
  if (cut == 0) return;  // nothing taken: the text stands as it was
  output.append(text, cut, std::u16string::npos);
  text.swap(output);
}

}  // namespace kestrine
