#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrine {

// Reading the few literal forms generators' scripts write their file names
// in: quoted strings and flat objects of string values. Every read is
// bounded, so a hostile script costs time linear in its length.
class ScriptLiteral {
 public:
  // Names and hashes are short; a literal longer than this is no name, and
  // the search for its end stops there.
  static constexpr std::size_t kMaxLiteral = 4096;
  // A file's name with its query.
  static constexpr std::size_t kMaxName = 512;

  static bool IsSpace(char16_t c) { return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r'; }
  static bool IsNameCharacter(char16_t c);
  static void SkipSpaces(std::u16string_view text, std::size_t& at);

  // A quoted string at `at` ('"', '\'' or '`' without "${"), its value
  // unescaped as far as names need, at most `maxLength` long; `at` moves
  // past it.
  static std::optional<std::u16string> StringAt(std::u16string_view text, std::size_t& at,
                                                std::size_t maxLength = kMaxLiteral);
  // A quoted string without escapes at `at`, viewed where it stands, at
  // most `maxLength` long; `at` moves past it. Names and hashes need no
  // escapes.
  static std::optional<std::u16string_view> PlainStringAt(std::u16string_view text, std::size_t& at,
                                                          std::size_t maxLength = kMaxLiteral);

  using Entries = std::vector<std::pair<std::u16string_view, std::u16string_view>>;
  // An object literal of keys (names, numbers or strings) and string values
  // at `at`: {1:"a",b:"c"}, keeping at most `maxEntries`, each viewing the
  // text; `at` moves past it.
  static std::optional<Entries> ObjectAt(std::u16string_view text, std::size_t& at,
                                         std::size_t maxEntries);
  // The string value of `"key": "value"` where `at` points at the key's
  // opening quote (or just after the key when `at` is past it); nothing
  // when another value follows.
  static std::optional<std::u16string> ValueAfterKey(std::u16string_view text, std::size_t at);
};

}  // namespace kestrine
