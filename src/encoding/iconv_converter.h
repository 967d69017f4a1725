#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrine {

// The one place that speaks to iconv. Conversions between UTF-16 and a named
// charset; a converter the platform lacks gives no result.
class IconvConverter {
 public:
  // Characters the charset cannot hold become its "?"; the output grows as
  // needed, so any text encodes fully.
  static std::optional<std::string> FromUtf16(std::string_view charset, std::u16string_view text);
  // Byte sequences invalid in the charset become U+FFFD.
  static std::optional<std::u16string> ToUtf16(std::string_view charset, std::string_view bytes);
  // Like ToUtf16, but fails on the first invalid sequence instead.
  static std::optional<std::u16string> ToUtf16Strict(std::string_view charset,
                                                     std::string_view bytes);
};

}  // namespace kestrine
