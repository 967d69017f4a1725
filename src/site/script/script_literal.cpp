#include "site/script/script_literal.h"

#include <algorithm>

namespace kestrine {

bool ScriptLiteral::IsNameCharacter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'$';
}

void ScriptLiteral::SkipSpaces(std::u16string_view text, std::size_t& at) {
  while (at < text.size() && IsSpace(text[at])) ++at;
}

std::optional<std::u16string> ScriptLiteral::StringAt(std::u16string_view text, std::size_t& at,
                                                      std::size_t maxLength) {
  if (at >= text.size()) return std::nullopt;
  const char16_t quote = text[at];
  if (quote != u'"' && quote != u'\'' && quote != u'`') return std::nullopt;
  std::u16string value;
  std::size_t i = at + 1;
  const std::size_t end = std::min(text.size(), at + 1 + maxLength);
  while (i < end && text[i] != quote) {
    if (text[i] == u'\\' && i + 1 < text.size()) ++i;
    if (quote == u'`' && text[i] == u'$' && i + 1 < text.size() && text[i + 1] == u'{') {
      return std::nullopt;
    }
    value += text[i++];
  }
  if (i >= end || text[i] != quote) return std::nullopt;
  at = i + 1;
  return value;
}

std::optional<std::u16string_view> ScriptLiteral::PlainStringAt(std::u16string_view text,
                                                                std::size_t& at,
                                                                std::size_t maxLength) {
  if (at >= text.size()) return std::nullopt;
  const char16_t quote = text[at];
  if (quote != u'"' && quote != u'\'') return std::nullopt;
  const std::u16string_view rest = text.substr(at + 1, maxLength + 1);
  const std::size_t close = rest.find(quote);
  if (close == std::u16string_view::npos || close > maxLength) return std::nullopt;
  const std::u16string_view value = rest.substr(0, close);
  if (value.find(u'\\') != std::u16string_view::npos) return std::nullopt;
  at += close + 2;
  return value;
}

std::optional<ScriptLiteral::Entries> ScriptLiteral::ObjectAt(std::u16string_view text,
                                                              std::size_t& at,
                                                              std::size_t maxEntries) {
  constexpr std::size_t kMaxKey = 256;
  if (at >= text.size() || text[at] != u'{') return std::nullopt;
  Entries object;
  std::size_t i = at + 1;
  while (true) {
    SkipSpaces(text, i);
    if (i < text.size() && text[i] == u'}') break;
    std::u16string_view key;
    if (auto quoted = PlainStringAt(text, i, kMaxKey)) {
      key = *quoted;
    } else {
      // An unquoted key is a name or a number; anything else is no object,
      // however far it would read.
      const std::size_t start = i;
      while (i < text.size() && IsNameCharacter(text[i]) && i - start < kMaxKey) ++i;
      if (i == start) return std::nullopt;
      key = text.substr(start, i - start);
    }
    SkipSpaces(text, i);
    if (i >= text.size() || text[i] != u':') return std::nullopt;
    ++i;
    SkipSpaces(text, i);
    const auto value = PlainStringAt(text, i);
    if (!value) return std::nullopt;
    // Entries beyond the bound are read past, not kept.
    if (object.size() < maxEntries) object.emplace_back(key, *value);
    SkipSpaces(text, i);
    if (i < text.size() && text[i] == u',') ++i;
  }
  at = i + 1;
  return object;
}

std::optional<std::u16string> ScriptLiteral::ValueAfterKey(std::u16string_view text,
                                                           std::size_t at) {
  if (at < text.size() && text[at] == u'"') {
    const std::size_t close = text.find(u'"', at + 1);
    if (close == std::u16string_view::npos) return std::nullopt;
    at = close + 1;
  }
  SkipSpaces(text, at);
  if (at >= text.size() || text[at] != u':') return std::nullopt;
  ++at;
  SkipSpaces(text, at);
  return StringAt(text, at);
}

}  // namespace kestrine
