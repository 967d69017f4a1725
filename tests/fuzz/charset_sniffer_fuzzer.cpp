// The HTTP client's charset discovery: a Content-Type header and a body of
// any bytes. No crash, and the text it decodes encodes back, under the name it
// reports, to the very bytes received, so a page rewritten and stored again
// keeps what it did not rewrite.
#include <cstdint>
#include <string>

#include "encoding/charset_transfer_util.h"
#include "fuzz_input.h"
#include "encoding/charset_sniffer.h"
#include "runtime/string_utility.h"

using namespace kestrine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [header, bodyView] = fuzz::Halves(data, size);
  const std::string contentType(header);
  const std::string body(bodyView);
  (void)CharsetSniffer::CharsetParameter(contentType);
  (void)CharsetSniffer::MetaCharset(body);
  (void)CharsetSniffer::CssCharset(body);
  for (BodyKind kind : {BodyKind::Page, BodyKind::StyleSheet}) {
    const DecodedBody decoded = CharsetSniffer::Decode(body, contentType, kind);
    const std::string again = CharsetTransferUtil::GetInstance().WideToCharset(
        StringUtility::FromAscii(decoded.charset), decoded.text);
    const bool wide = decoded.charset == "UTF-16" || decoded.charset == "unicodeFFFE";
    KESTRINE_FUZZ_CHECK(wide || again == body);
  }
  return 0;
}
