#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrine {

// Small text helpers over UTF-16 strings, shared by the address rules, the
// scanners and the engine.
class StringUtility {
 public:
  // Splits text at every separator. A trailing separator yields no empty last
  // part, so a folder written with a closing "\" has the same components as
  // the one written without it; empty parts elsewhere are kept.
  static std::vector<std::u16string> Split(const std::u16string& text, char16_t separator);
  // The same parts, viewed in place instead of copied.
  static std::vector<std::u16string_view> SplitViews(std::u16string_view text, char16_t separator);

  // text.find(pattern, from) for the short patterns of the address rules,
  // without the calls per candidate that the library's search makes.
  static std::size_t Find(std::u16string_view text, std::u16string_view pattern,
                          std::size_t from = 0);
  // One left-to-right pass over non-overlapping occurrences.
  static std::u16string ReplaceAll(std::u16string text, std::u16string_view from,
                                   std::u16string_view to);
  static bool StartsWith(std::u16string_view text, std::u16string_view prefix);
  // ASCII case folding and white-space trimming for protocol text (header
  // names and values, charset names).
  static std::string ToLowerAscii(std::string text);
  static std::u16string ToLowerAscii(std::u16string text);
  static std::string TrimAscii(const std::string& text);
  static bool EqualsIgnoreCaseAscii(std::u16string_view a, std::u16string_view b);
  // Trims blanks, tabs, carriage returns, line feeds, vertical tabs and form
  // feeds at both ends.
  static std::u16string TrimWhiteSpace(const std::u16string& text);

  // Plain ASCII widening and narrowing for literals and protocol text.
  static std::u16string FromAscii(std::string_view text);
  // 1204 as "1,204", for people.
  static std::string WithThousands(long long count);
  // "%XX" sequences turned back into their bytes; anything else as it is.
  static std::string PercentDecoded(std::string_view text);
  // `c` as "%XX" (upper-case hex) after `out`; for ASCII and controls.
  static void AppendPercentEncoded(std::u16string& out, char16_t c);

  // UTF-8 text as it may be shown on a terminal: control characters (C0,
  // DEL, C1) and the marks that reorder text (bidi overrides, isolates)
  // written as "\x1b" or "\u202e", so a site's text can neither steer the
  // terminal nor disguise what a line says.
  static std::string Printable(std::string_view text);

  // UTF-8 and UTF-16 conversions; lone surrogates and invalid bytes become
  // U+FFFD.
  static std::string ToUtf8(std::u16string_view text);
  static std::u16string FromUtf8(std::string_view text);
  // `text` in UTF-8 after `out`, a lone surrogate as "?" (as a document's
  // bytes are written).
  static void AppendAsUtf8(std::string& out, std::u16string_view text);
};

}  // namespace kestrine
