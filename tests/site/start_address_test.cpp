#include "site/address/start_address.h"

#include <gtest/gtest.h>

namespace kestrine {
namespace {

TEST(StartAddress, ABareHostGetsHttpsAndWebAddressesStayAsTyped) {
  const std::pair<std::u16string, std::u16string> accepted[] = {
      {u"example.com/docs", u"https://example.com/docs"},
      {u"example.com", u"https://example.com"},
      {u"localhost:8080/x", u"https://localhost:8080/x"},
      {u"[::1]:8443/", u"https://[::1]:8443/"},
      {u"bücher.example/", u"https://bücher.example/"},
      {u"http://127.0.0.1:8080/", u"http://127.0.0.1:8080/"},
      {u"HTTPS://Example.com/A?b#c", u"HTTPS://Example.com/A?b#c"},
      {u"http://user@example.com:81/", u"http://user@example.com:81/"},
  };
  for (const auto& [typed, address] : accepted) {
    const StartAddress start = StartAddress::Check(typed);
    EXPECT_TRUE(start.ok()) << start.refusal();
    EXPECT_EQ(start.address(), address);
  }
}

TEST(StartAddress, WhatNamesNoWebHostIsRefusedWithTheReason) {
  const std::pair<std::u16string, std::string> refused[] = {
      {u"s", "s: not a web address"},
      {u"htp:/x", "htp:/x: only http:// and https:// addresses can be downloaded"},
      {u"ftp://example.com/",
       "ftp://example.com/: only http:// and https:// addresses can be "
       "downloaded"},
      {u"mailto:a@example.com",
       "mailto:a@example.com: only http:// and https:// addresses can "
       "be downloaded"},
      {u"http://", "http://: not a web address"},
      {u"http:///path", "http:///path: not a web address"},
      {u"https://exa mple.com/", "https://exa mple.com/: not a web address"},
      {u"https://.example.com/", "https://.example.com/: not a web address"},
      {u"https://[::1/", "https://[::1/: not a web address"},
      {u"", "no address given"},
  };
  for (const auto& [typed, reason] : refused) {
    const StartAddress start = StartAddress::Check(typed);
    EXPECT_FALSE(start.ok());
    EXPECT_EQ(start.refusal(), reason);
  }
  // What the user typed is shown without its control characters.
  EXPECT_EQ(StartAddress::Check(u"\x1b[2Jx").refusal(), "\\x1b[2Jx: not a web address");
}

}  // namespace
}  // namespace kestrine
