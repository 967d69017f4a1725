#include "site/address/local_name_safety.h"

#include <gtest/gtest.h>

#include "runtime/string_utility.h"
#include "site/address/address.h"

namespace kestrine {
namespace {

TEST(WithoutDotComponents, DropsDotPartsAndKeepsTrailingSeparator) {
  EXPECT_EQ(WithoutDotComponents(u"example.com\\..\\..\\x"), u"example.com\\x");
  EXPECT_EQ(WithoutDotComponents(u"example.com\\.\\a\\"), u"example.com\\a\\");
  EXPECT_EQ(WithoutDotComponents(u"..\\x"), u"x");
  EXPECT_EQ(WithoutDotComponents(u"a.b\\...\\c"), u"a.b\\...\\c");
}

TEST(SafeFileName, NeutralisesSeparatorsControlsAndDotNames) {
  EXPECT_EQ(SafeFileName(u"a\\b/c\u0001d"), u"a-b-c-d");
  EXPECT_EQ(SafeFileName(u".."), u"-..");
  EXPECT_EQ(SafeFileName(u"."), u"-.");
  EXPECT_EQ(SafeFileName(u"plain.html"), u"plain.html");
}

TEST(SafeFileName, LongNamesAreShortenedDistinctlyAndKeepTheirExtension) {
  const std::u16string a = std::u16string(300, u'a') + u"1.html";
  const std::u16string b = std::u16string(300, u'a') + u"2.html";
  const std::u16string shortA = SafeFileName(a);
  const std::u16string shortB = SafeFileName(b);
  EXPECT_LE(StringUtility::ToUtf8(shortA).size(), kMaxFileNameBytes);
  EXPECT_NE(shortA, shortB);
  EXPECT_EQ(shortA.substr(shortA.size() - 5), u".html");
  // Multi-byte characters are cut whole.
  const std::u16string wide = std::u16string(200, u'\u4e2d') + u".gif";
  const std::string utf8 = StringUtility::ToUtf8(SafeFileName(wide));
  EXPECT_LE(utf8.size(), kMaxFileNameBytes);
  EXPECT_EQ(StringUtility::ToUtf8(StringUtility::FromUtf8(utf8)), utf8);
}

}  // namespace
}  // namespace kestrine
