#pragma once

#include <string>
#include <string_view>

namespace kestrine {

// A recorded page or JSON document names the site by its own absolute
// addresses ("https://site/guide/", a search index's result links); served
// by the viewer, those addresses lead to the viewer instead, so following
// them stays in the copy.
class OwnOriginLinks {
 public:
  // Whether a body of this type is text whose links are worth turning:
  // HTML and JSON. Scripts and style sheets stay byte for byte, for their
  // integrity digests.
  static bool AppliesTo(std::string_view contentType);
  // `text` with every "http://HOST" and "https://HOST" (also as JSON
  // escapes them, "http:\/\/HOST") that ends the host there, turned into
  // `viewerOrigin` ("http://127.0.0.1:8123").
  static std::string Rewritten(std::string_view text, std::string_view host,
                               std::string_view viewerOrigin);
};

}  // namespace kestrine
