#include "config/recent_copies.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_folder.h"

namespace kestrine {
namespace {

using Copy = RecentCopies::Copy;

Copy Numbered(int n) {
  const std::u16string digits(1, static_cast<char16_t>(u'0' + n));
  return {u"/copies/site" + digits, u"https://site" + digits + u".example/"};
}

TEST(RecentCopies, NewestFirstOnceEachAndNoMoreThanEight) {
  testing::TempFolder folder;
  RecentCopies recent(folder.Wide());
  EXPECT_TRUE(recent.Load().empty());
  for (int n = 0; n < 10; ++n) ASSERT_TRUE(recent.Add(Numbered(n)));
  // A copy opened again moves to the front, with the address it has now.
  Copy again = Numbered(5);
  again.startAddress = u"https://site5.example/docs/";
  ASSERT_TRUE(recent.Add(again));

  const std::vector<Copy> copies = RecentCopies(folder.Wide()).Load();
  ASSERT_EQ(copies.size(), RecentCopies::kMaximum);
  EXPECT_EQ(copies[0], again);
  EXPECT_EQ(copies[1], Numbered(9));
  EXPECT_EQ(copies[7], Numbered(2));  // 0 and 1 fell off the end
  for (std::size_t i = 1; i < copies.size(); ++i) EXPECT_NE(copies[i].siteFolder, again.siteFolder);
}

TEST(RecentCopies, WhatCannotBeReadOrStoredIsPassedOver) {
  testing::TempFolder folder;
  std::ofstream(folder.path() / "recent-copies")
      << "no tab here\n\t\n/ok\thttps://ok.example/\n/only-folder\t\n"
      << "/ok\thttps://ok.example/\n\xc3\xa9t\xc3\xa9\thttps://\xc3\xa9.example/";
  RecentCopies recent(folder.Wide());
  const std::vector<Copy> copies = recent.Load();
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(copies[0], (Copy{u"/ok", u"https://ok.example/"}));
  EXPECT_EQ(copies[1], (Copy{u"\u00e9t\u00e9", u"https://\u00e9.example/"}));
  // A tab or a line break would split the line: such a copy is not kept.
  EXPECT_FALSE(recent.Add({u"/a\tb", u"https://x.example/"}));
  EXPECT_FALSE(recent.Add({u"/a", u"https://x.example/\nevil"}));
  EXPECT_EQ(recent.Load().size(), 2u);
}

}  // namespace
}  // namespace kestrine
