#include "encoding/charset_sniffer.h"

#include <gtest/gtest.h>

#include "encoding/charset_transfer_util.h"
#include "runtime/string_utility.h"

namespace kestrine {
namespace {

TEST(CharsetSniffer, DeclarationsAndTheirOrder) {
  EXPECT_EQ(CharsetSniffer::CharsetParameter("text/html; charset=\"GBK\""), "GBK");
  EXPECT_EQ(CharsetSniffer::CharsetParameter("text/html"), "");
  EXPECT_EQ(CharsetSniffer::MetaCharset("<META CHARSET='euc-jp'>"), "euc-jp");
  EXPECT_EQ(CharsetSniffer::CssCharset("@charset \"koi8-r\";"), "koi8-r");
  EXPECT_EQ(CharsetSniffer::CssCharset("a{} @charset \"koi8-r\";"), "");
  // The header wins over the page.
  EXPECT_EQ(
      CharsetSniffer::Decode("<meta charset=koi8-r>", "text/html; charset=utf-8", BodyKind::Page)
          .charset,
      "utf-8");
}

TEST(CharsetSniffer, UnfitDeclarationsArePassedOverAndBytesKept) {
  const auto& util = CharsetTransferUtil::GetInstance();
  const std::string cases[] = {
      "<meta charset=\"no-such-charset\">caf\xE9",
      "<meta charset=\"utf-8\">caf\xE9",
      "<meta charset=\"UTF-16\">plain ascii",
      std::string("<p>\x00\x01\xFF\xFE</p>", 11),
  };
  for (const std::string& body : cases) {
    const DecodedBody decoded = CharsetSniffer::Decode(body, "text/html", BodyKind::Page);
    EXPECT_EQ(util.WideToCharset(StringUtility::FromAscii(decoded.charset), decoded.text), body)
        << decoded.charset;
  }
}

TEST(CharsetSniffer, AUtf8MarkBeforeBytesThatAreNotUtf8KeepsTheBytes) {
  // Found by the charset-sniffer fuzzer.
  const std::string body = "\xEF\xBB\xBF<p>\xBF</p>";
  const DecodedBody decoded = CharsetSniffer::Decode(body, "text/html", BodyKind::Page);
  EXPECT_EQ(CharsetTransferUtil::GetInstance().WideToCharset(
                StringUtility::FromAscii(decoded.charset), decoded.text),
            body);
}

TEST(CharsetSniffer, ADeclarationWhoseTextWouldNotEncodeBackIsPassedOver) {
  // "+AGE-" is "a" in UTF-7, which encodes "a" as "a": a page stored again
  // under that name would lose its bytes. Found by the charset fuzzer.
  const std::string body = "<meta charset=\"utf-7\">+AGE-";
  const DecodedBody decoded = CharsetSniffer::Decode(body, "text/html", BodyKind::Page);
  EXPECT_EQ(decoded.charset, "utf-8");
  EXPECT_EQ(CharsetTransferUtil::GetInstance().WideToCharset(
                StringUtility::FromAscii(decoded.charset), decoded.text),
            body);
}

}  // namespace
}  // namespace kestrine
