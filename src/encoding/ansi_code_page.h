#pragma once

#include <string>

namespace kestrine {

// The system's narrow character set for settings, log lines and header
// values: the locale's character set, UTF-8 under the C or POSIX locale.
// Characters it cannot hold become "?".
class AnsiCodePage {
 public:
  static std::string FromWide(const std::u16string& text);
  static std::u16string ToWide(const std::string& text);
  // The iconv name of the character set in use.
  static std::string CharsetName();
  // The locale in force for character handling (LC_ALL, LC_CTYPE, LANG),
  // "C" when none is set.
  static std::string LocaleName();
};

}  // namespace kestrine
