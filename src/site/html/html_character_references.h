#pragma once

#include <string>
#include <string_view>

namespace kestrine {

// Attribute values as browsers read them: character references decoded
// (named ones from the standard's table, "&#102;", "&#x66;"), a carriage
// return or CR LF read as a line feed, NUL as U+FFFD; and written back so
// they read the same again.
class HtmlCharacterReferences {
 public:
  // The value of an attribute as written between its quotes (or unquoted).
  static std::u16string DecodeAttribute(std::u16string_view raw);
  // A value to write between `quote` ('"', '\'', or 0 for none): "&" and the
  // quote as references. An unquoted value that needs quotes (blanks,
  // quotes, "=", "<", ">", "`", or nothing at all) gets double quotes.
  static std::u16string EncodeAttribute(std::u16string_view value, char16_t quote);
};

}  // namespace kestrine
