#pragma once

#include <string>

namespace kestrine {

enum class BodyKind { Page, StyleSheet };

struct DecodedBody {
  std::string charset;  // a name the charset table knows
  std::u16string text;
};

// Finds the charset of a page or style sheet and decodes it, so that
// encoding the text again under the reported name gives back the bytes.
//
// Order: byte-order mark; the Content-Type header's charset; for pages a
// <meta> declaration near the top, for style sheets an @charset rule. A
// declaration that is unknown, has no converter, or does not fit the bytes
// is passed over. Undeclared text is "utf-8" when it is valid UTF-8, and
// otherwise decoded byte for byte as "iso-8859-1".
class CharsetSniffer {
 public:
  static DecodedBody Decode(const std::string& body, const std::string& contentType, BodyKind kind);

  // The charset parameter of a header or content attribute value, unquoted;
  // empty when there is none.
  static std::string CharsetParameter(const std::string& value);
  static std::string MetaCharset(const std::string& body);
  static std::string CssCharset(const std::string& body);
};

}  // namespace kestrine
