#include "engine/queue/local_name_registry.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace kestrine {
namespace {

// Claims paths the way the address queue does: choose, keep, register.
struct Claims {
  std::deque<std::u16string> stored;
  LocalNameRegistry registry{[this](std::int32_t number) -> std::u16string_view {
    return stored[static_cast<std::size_t>(number) - 1];
  }};
  std::u16string Claim(std::u16string folder, const std::u16string& name) {
    const std::u16string& path = stored.emplace_back(registry.Choose(folder, name));
    registry.Register(path, static_cast<std::int32_t>(stored.size()));
    return path;
  }
};

TEST(LocalNameRegistry, TakenNamesGetNumberedAlternativesBeforeTheExtension) {
  Claims c;
  c.registry.Reserve(u"site\\download.log");
  EXPECT_EQ(c.Claim(u"site", u"index.html"), u"site\\index.html");
  EXPECT_EQ(c.Claim(u"site", u"index.html"), u"site\\index-1.html");
  EXPECT_EQ(c.Claim(u"site", u"index.html"), u"site\\index-2.html");
  EXPECT_EQ(c.Claim(u"site", u"download.log"), u"site\\download-1.log");
  EXPECT_EQ(c.Claim(u"site", u".htaccess"), u"site\\.htaccess");
  EXPECT_EQ(c.Claim(u"site", u".htaccess"), u"site\\.htaccess-1");
  EXPECT_FALSE(c.registry.Holder(u"site\\download.log"));
  EXPECT_EQ(c.registry.Holder(u"site\\index-1.html"), 2);
  // "index-3.html" taken by an address of its own is passed over.
  EXPECT_EQ(c.Claim(u"site", u"index-3.html"), u"site\\index-3.html");
  EXPECT_EQ(c.Claim(u"site", u"index.html"), u"site\\index-4.html");

  // Each search for an alternative goes on where the last one for that
  // name ended: 100,000 addresses of one name (a page's links whose "*",
  // "|" and "-" all become "-") were a minute and more, one "-k" at a time
  // from the start.
  Claims many;
  for (int i = 0; i < 100'000; ++i) many.Claim(u"site", u"q-.html");
  EXPECT_EQ(many.stored.back(), u"site\\q--99999.html");
}

TEST(LocalNameRegistry, AFileNeverTakesAFolderAndAFolderNeverAFile) {
  Claims c;
  // A folder first: a file of the same name moves aside.
  EXPECT_EQ(c.Claim(u"site\\v1.2", u"x.html"), u"site\\v1.2\\x.html");
  EXPECT_EQ(c.Claim(u"site", u"v1.2"), u"site\\v1-1.2");
  // A file first: the folder moves aside, and so does every later file in it.
  EXPECT_EQ(c.Claim(u"site", u"docs"), u"site\\docs");
  EXPECT_EQ(c.Claim(u"site\\docs\\a", u"x.html"), u"site\\docs-1\\a\\x.html");
  EXPECT_EQ(c.Claim(u"site\\docs", u"y.html"), u"site\\docs-1\\y.html");
  EXPECT_EQ(c.Claim(u"site\\docs-1", u"z.html"), u"site\\docs-1\\z.html");
}

TEST(LocalNameRegistry, AlternativesStayWithinOneNamesLengthAndTouchOnlyTheLastPart) {
  Claims c;
  const std::u16string longName = std::u16string(251, u'a') + u".png";  // 255 bytes
  EXPECT_EQ(c.Claim(u"site", longName), u"site\\" + longName);
  const std::u16string second = c.Claim(u"site", longName);
  EXPECT_NE(second, u"site\\" + longName);
  EXPECT_LE(second.size() - 5, 255u);
  EXPECT_EQ(second.substr(second.size() - 4), u".png");
  // A folder beside a file of its name moves aside by its own name only.
  EXPECT_EQ(c.Claim(u"a.b", u"docs"), u"a.b\\docs");
  EXPECT_EQ(c.Claim(u"a.b\\docs", u"x.html"), u"a.b\\docs-1\\x.html");
}

}  // namespace
}  // namespace kestrine
